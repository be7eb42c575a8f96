#include "marquill/marquill.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "bench/html_generator.h"
#include "common/work_areas.h"
#include "tests/test_support.h"

namespace mq {
namespace {

using test::sjis;

std::string generatedPage(long size) {
  std::string page;
  bench::generateHtml(
      size,
      [](void* context, const char* bytes, long length) {
        static_cast<std::string*>(context)->append(bytes, static_cast<std::size_t>(length));
        return 0;
      },
      &page);
  return page;
}

std::string sample(const std::string& name) { return test::readFile(std::string(MQ_SAMPLES_DIR) + "/" + name); }

// The listing written from the records, as the tools write a record whose value needs no escape.
std::string listingOf(const marquill::Records& read) {
  std::string text;
  for (const marquill::Record& r : read.records) {
    text += std::to_string(r.file) + "\t" + std::to_string(r.object) + "\t" + std::to_string(r.sequence) + "\t" +
            r.path + "\t" + r.value + "\r\n";
  }
  return text;
}

class Library : public test::ScratchDir {};

// Every document, both parsers, both working codes: the library's listing is the listing
// tool's file byte for byte, and its records are the listing's lines.
TEST_F(Library, ListsEveryDocumentAsTheListingToolsDo) {
  struct Document {
    std::string name;
    std::string bytes;
    marquill::Kind kind;
  };
  const std::vector<Document> documents = {
      {"news.html", sample("news.html"), marquill::Kind::Html},
      {"shop.html", sample("shop.html"), marquill::Kind::Html},
      {"atom.xml", sample("atom.xml"), marquill::Kind::Xml},
      {"catalog.xml", sample("catalog.xml"), marquill::Kind::Xml},
      {"page.html", generatedPage(30000), marquill::Kind::Html},
      {"broken.html", "<P>a > b</P>", marquill::Kind::Html},
  };
  int compared = 0;
  for (const Document& d : documents) {
    test::writeFile(path(d.name), d.bytes);
    for (const marquill::Parser parser : {marquill::Parser::Classic, marquill::Parser::Standard}) {
      if (parser == marquill::Parser::Standard && !marquill::hasStandardParser()) continue;
      for (const marquill::Working working : {marquill::Working::Sjis, marquill::Working::Utf8}) {
        if (working == marquill::Working::Utf8 && !test::systemConvertsCodes()) continue;
        const std::string out = path("out" + std::to_string(compared++) + ".tsv");
        std::vector<std::string> arguments;
        if (parser == marquill::Parser::Standard) arguments.push_back("/s");
        if (working == marquill::Working::Utf8) arguments.push_back("/u");
        arguments.push_back(path(d.name));
        arguments.push_back(out);
        const test::ProgramResult tool =
            test::runProgram(d.kind == marquill::Kind::Xml ? MQ_TOOL_X : MQ_TOOL_H, arguments, dir_);
        const marquill::ReadOptions options{d.kind, parser, marquill::Code::Detect, working};
        const marquill::Text listing = marquill::listing(d.bytes, options);
        const std::string where = d.name + (parser == marquill::Parser::Standard ? " /s" : "") +
                                  (working == marquill::Working::Utf8 ? " /u" : "");
        EXPECT_EQ(listing.ok(), tool.exitCode == 0) << where;
        EXPECT_EQ(listing.text, test::fileExists(out) ? test::readFile(out) : "") << where;
        const marquill::Records read = marquill::read(d.bytes, options);
        EXPECT_EQ(read.failure.code, listing.failure.code) << where;
        if (listing.text.find('[') == std::string::npos) {
          EXPECT_EQ(listingOf(read), listing.text) << where;
        }
        EXPECT_FALSE(listing.decidedCode.empty() && parser == marquill::Parser::Classic && listing.ok()) << where;
      }
    }
  }
  EXPECT_GE(compared, static_cast<int>(documents.size()));
}

// The golden case of two pages, a replacement table and four warnings, filled by the library.
TEST(LibraryFill, FillsAsMarquillDoesWithItsWarningsInOrder) {
  const std::string folder = std::string(MQ_CASES_DIR) + "/html_documents_normal/";
  const std::string shop = test::readFile(folder + "input/shop.html");
  const std::string branch = test::readFile(folder + "input/branch.html");
  const std::string replacements = test::readFile(folder + "input/replace.txt");
  marquill::FillOptions options;
  options.startMarker = "<%";
  options.endMarker = "%>";
  options.useReplacements = true;
  options.replacements = replacements;
  const marquill::Text filled = marquill::fill(test::readFile(folder + "input/template.txt"), {shop, branch}, options);
  ASSERT_TRUE(filled.ok()) << filled.failure.text;
  EXPECT_EQ(filled.text, test::readFile(folder + "expected/out.txt"));
  // The log's warning lines, without their stamps and the start and end lines.
  std::vector<std::string> logged = test::logEntries(test::readFile(folder + "expected/run.log"));
  logged = std::vector<std::string>(logged.begin() + 1, logged.end() - 1);
  ASSERT_EQ(filled.warnings.size(), logged.size());
  for (std::size_t i = 0; i < logged.size(); ++i) {
    const marquill::Message& w = filled.warnings[i];
    char code[8];
    std::snprintf(code, sizeof code, "%04d ", static_cast<int>(w.code));
    EXPECT_EQ(code + w.text, logged[i]);
  }
  // The same documents as one CSV listing, and back: the records of both pages.
  options.kind = marquill::FillKind::Csv;
  const marquill::Text csv = marquill::fill("", {shop, branch}, options);
  ASSERT_TRUE(csv.ok());
  const marquill::Records back = marquill::readListing(csv.text);
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(back.records.back().file, 2);
  EXPECT_EQ(listingOf(back), csv.text);
}

// A failure is a value with the programs' code and text, and the row and column of a
// structure fault apart.
TEST(LibraryFailure, CarriesCodeTextRowAndColumn) {
  struct Case {
    const char* what;
    marquill::Outcome outcome;
    int32_t code;
    long row;
    long column;
    std::string text;
  };
  marquill::FillOptions markers;
  markers.startMarker = "<%";
  markers.endMarker = "%>";
  marquill::FillOptions noMarkers;
  const std::vector<Case> cases = {
      {"a stray >", marquill::read("<P>\na > b</P>"), 1021, 2, 3, ""},
      {"a listing line", marquill::readListing("1\t1\t1\t<A>\tv\r\n1\tx\t1\t<A>\tv\r\n", marquill::Working::Sjis, "l"),
       1021, 2, 3, ""},
      {"an open item", marquill::fill("ab\n <%1<A>0001000000", {"<A>v</A>"}, markers), 1022, 2, 2, ""},
      {"no markers", marquill::fill("x", {"<A>v</A>"}, noMarkers), 1011, 0, 0,
       sjis("ＩＮＩファイルの設定ミスです SECTION=[SET] KEY=[START]")},
      {"ten documents", marquill::fill("x", std::vector<std::string_view>(10, "<A/>"), markers), 1011, 0, 0,
       sjis("ＩＮＩファイルの設定ミスです SECTION=[INFILE] KEY=[COUNT]")},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(c.outcome.ok()) << c.what;
    EXPECT_EQ(c.outcome.failure.code, c.code) << c.what;
    EXPECT_EQ(c.outcome.failure.row, c.row) << c.what;
    EXPECT_EQ(c.outcome.failure.column, c.column) << c.what;
    if (!c.text.empty()) {
      EXPECT_EQ(c.outcome.failure.text, c.text) << c.what;
    }
    const std::string rows = "ROWS = [" + std::to_string(c.row) + "] COLS = [" + std::to_string(c.column) + "]";
    if (c.row != 0) {
      EXPECT_NE(c.outcome.failure.text.find(rows), std::string::npos) << c.what;
    }
  }
}

// Text converted as ToolRecast converts the same file, the decided code and the count of
// replaced characters included.
TEST_F(Library, RecodesAsToolRecastDoes) {
  if (!test::systemConvertsCodes()) GTEST_SKIP() << "the system converts no codes";
  struct Case {
    std::string text;
    marquill::Target target;
    const char* option;
  };
  const std::string japanese = sjis("港町ベーカリー　今週のパン①\r\n");
  const std::vector<Case> cases = {
      {japanese, marquill::Target::Euc, "/cEUC"},
      {japanese, marquill::Target::Jis, "/cJIS"},
      {japanese, marquill::Target::Utf8, "/cUTF8"},
      {test::convert(sjis("港町ベーカリー　今週のパン\r\n"), "CP932", "EUC-JP"), marquill::Target::Sjis, "/cSJIS"},
      {"\xEF\xBB\xBF\xE6\xB8\xAF\xF0\x9F\x8D\x9E\n", marquill::Target::Sjis, "/cSJIS"},
      {generatedPage(20000), marquill::Target::Utf8, "/cUTF8"},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string in = path("in" + std::to_string(n)), out = path("out" + std::to_string(n++));
    test::writeFile(in, c.text);
    const test::ProgramResult tool = test::runProgram(MQ_TOOL_RECAST, {c.option, in, out}, dir_);
    const marquill::Recoded recoded = marquill::recode(c.text, c.target);
    ASSERT_EQ(tool.exitCode, 0) << c.option;
    ASSERT_TRUE(recoded.ok()) << recoded.failure.text;
    EXPECT_EQ(recoded.text, test::readFile(out)) << c.option;
    EXPECT_EQ(recoded.replaced > 0, tool.boxes.find("COUNT") != std::string::npos ||
                                        tool.out.find("COUNT") != std::string::npos)
        << c.option;
    EXPECT_NE((tool.out + tool.boxes).find("CODE = [" + recoded.decidedCode + "]"), std::string::npos) << c.option;
  }
}

// Whichever allocation fails, the call gives a memory failure as its result and keeps nothing.
TEST(LibraryMemory, AFailedAllocationIsAResult) {
  const std::string page = generatedPage(8000);
  for (const marquill::Parser parser : {marquill::Parser::Classic, marquill::Parser::Standard}) {
    if (parser == marquill::Parser::Standard && !marquill::hasStandardParser()) continue;
    const marquill::ReadOptions options{marquill::Kind::Html, parser, marquill::Code::Detect, marquill::Working::Sjis};
    const std::string whole = marquill::listing(page, options).text;
    long failing = 0;
    marquill::Text listing;
    do {
      setAllocationSeam({.failAt = ++failing});
      listing = marquill::listing(page, options);
      resetAllocationSeam();
      if (!listing.ok()) {
        EXPECT_TRUE(listing.failure.code == 1011 || listing.failure.code == 1014) << failing << " " << listing.failure.code;
        EXPECT_TRUE(listing.text.empty());
      }
      EXPECT_EQ(mappedAreaCount(), 0) << failing;
    } while (!listing.ok() && failing < 200);
    EXPECT_GE(failing, 8);
    EXPECT_EQ(listing.text, whole);
  }
}

// Runs at once on eight threads, over different documents and both parsers, give what each
// gives alone.
TEST(LibraryThreads, EightThreadsGetWhatEachGetsAlone) {
  struct Job {
    std::string page;
    marquill::ReadOptions options;
    std::string alone;
  };
  std::vector<Job> jobs;
  for (int k = 0; k < 8; ++k) {
    Job job;
    job.page = generatedPage(6000 + 3000L * k);
    const bool standard = k % 2 == 1 && marquill::hasStandardParser();
    job.options = {marquill::Kind::Html, standard ? marquill::Parser::Standard : marquill::Parser::Classic,
                   marquill::Code::Detect, k % 4 < 2 ? marquill::Working::Sjis : marquill::Working::Utf8};
    job.alone = marquill::listing(job.page, job.options).text;
    jobs.push_back(job);
  }
  std::vector<int> differing(jobs.size(), 0);
  std::vector<std::thread> threads;
  for (std::size_t k = 0; k < jobs.size(); ++k) {
    threads.emplace_back([&jobs, &differing, k] {
      for (int round = 0; round < 20; ++round) {
        if (marquill::listing(jobs[k].page, jobs[k].options).text != jobs[k].alone) ++differing[k];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (std::size_t k = 0; k < jobs.size(); ++k) {
    EXPECT_FALSE(jobs[k].alone.empty()) << k;
    EXPECT_EQ(differing[k], 0) << k;
  }
}

}  // namespace
}  // namespace mq
