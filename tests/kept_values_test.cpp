// A fill that keeps only the records its template addresses, and a CSV output written while
// the documents are read, held against the same from every record: random documents with texts after children, random items that hit, miss,
// differ only in their path or come after a faulty item, with the tables handed on after a
// record or a few, in both kinds of fill; the output, the log's warnings and the result.
#include "convert/kept_values.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "common/run_record.h"
#include "common/work_areas.h"
#include "convert/marquill_run.h"
#include "convert/output_run.h"
#include "markup/input_loading.h"
#include "markup/parse_tables.h"
#include "tests/test_support.h"

namespace mq {
namespace {

std::string randomDocument(std::mt19937& random) {
  static const char* const tokens[] = {"<p>", "</p>", "<b>", "</b>", "<div class=c>", "</div>", "<br>", "text ",
                                       "tail", "<td>", "</td>", "<a href=\"x\">", "</a>", "\n", "<p>lead"};
  std::uniform_int_distribution<std::size_t> pick(0, std::size(tokens) - 1);
  std::string text = "<html><body>";
  for (int i = 0; i < 200; ++i) text += tokens[pick(random)];
  return text + "after</body></html>";
}

// Items for records of the documents: as they are, with another number, or with a path of
// the same length that differs, in random order.
std::string randomTemplate(std::mt19937& random, const std::vector<std::pair<std::string, int32_t>>& records) {
  std::uniform_int_distribution<std::size_t> pick(0, records.size() - 1);
  std::uniform_int_distribution<int> number(1, 6);
  std::string text;
  for (int i = 0; i < 80; ++i) {
    auto [item, seqNo] = records[pick(random)];
    const int change = number(random);
    if (change == 1) ++seqNo;
    if (change == 2) item[2] = item[2] == 'Q' ? 'R' : 'Q';
    if (change == 3) item[2] = static_cast<char>(item[2] | 0x20);  // lower case, read as upper
    char seq[8];
    std::snprintf(seq, sizeof seq, "%04d", seqNo);
    text += "[<%" + item + seq + (number(random) == 1 ? "000005" : "000000") + "%>]";
    if (number(random) == 6 && number(random) == 6 && number(random) == 6) text += "<%9<P>x%>";  // ends the fill
  }
  return text;
}

// The document number and path of every record of the documents, with its number.
std::vector<std::pair<std::string, int32_t>> recordsOf(const std::string& first, const std::string& second) {
  std::vector<std::pair<std::string, int32_t>> records;
  OutputRun& run = testRun();
  EXPECT_EQ(allocateParseTables(run, 1), 0);
  for (const std::string* text : {&first, &second}) {
    EXPECT_EQ(loadDocumentText(run, InputKind::Html, reinterpret_cast<const unsigned char*>(text->data()),
                               static_cast<int32_t>(text->size())), 0);
    for (int32_t r = 0; r < run.tables[0].recordCount; ++r) {
      const TagRecord& record = *recordAt(run.tables[0], r);
      const char file = text == &first ? '1' : '2';
      records.emplace_back(file + std::string(tagPathOf(run.tables[0], record), static_cast<std::size_t>(record.tagNameLength)),
                           record.seqNo);
    }
  }
  releaseParseTables(run);
  return records;
}

class KeptValuesFill : public test::ScratchDir {
 protected:
  // The result, output and warnings of a fill, keeping only what it addresses or everything.
  // Alone: the first document only; kept, it is read in pieces of 16 bytes.
  std::string fill(const std::string& kind, bool keep, int32_t limit, bool alone = false,
                   RecordChoice choice = RecordChoice::OnceItemsRead) {
    const auto run = startedRun(kind, alone);
    run->readsLean = keep;
    run->recordChoice = choice;
    if (alone) run->pieces = keep ? PieceSizes{true, 0, 16, 16} : PieceSizes{false};
    run->flow.recordLimit = limit;
    run->flow.contentLimit = limit * 8;
    const int result = processRun(*run);
    tableSearches_ = run->tableSearches;
    itemsRead_ = run->itemsRead;
    stretchesSearched_ = run->stretchesSearched;
    endRun(*run);
    // The log's lines without their time.
    std::istringstream log(test::fileExists(path("run.log")) ? test::readFile(path("run.log")) : "");
    std::string warnings;
    for (std::string line; std::getline(log, line);) warnings += line.size() > 20 ? line.substr(20) + "\n" : line + "\n";
    return std::to_string(result) + "\n" + test::readFile(path("out.txt")) + "\n" + warnings;
  }

  std::unique_ptr<OutputRun> startedRun(const std::string& kind, bool alone) {
    test::writeFile(path("settings.ini"), "[LOG]\r\nFILENAME=" + path("run.log") + "\r\nWARLOGOUT=YES\r\n[OUTFILE]\r\nKIND=" +
                                              kind + "\r\nOUTFILE=" + path("out.txt") + "\r\n[SET]\r\nSTART=<%\r\nEND=%>\r\n"
                                              "[INFILE]\r\nCOUNT=" + (alone ? "1" : "2") + "\r\nKIND=HTML\r\nINFILE1=" + path("1.html") +
                                              "\r\nINFILE2=" + path("2.html") + "\r\n[OUTDEF]\r\nOUTDEF=" +
                                              path("template.txt") + "\r\n");
    std::remove(path("run.log").c_str());
    std::remove(path("out.txt").c_str());
    auto run = std::make_unique<OutputRun>();
    EXPECT_EQ(setupRunRecord(*run, path("settings.ini").c_str(), "Marquill"), 0);
    EXPECT_EQ(startRun(*run), 0);
    return run;
  }
  long tableSearches_ = 0;
  long itemsRead_ = 0;
  long stretchesSearched_ = 0;
};

TEST_F(KeptValuesFill, FillsAsTheWholeTablesDo) {
  std::mt19937 random(7);
  int warned = 0;
  int late = 0;
  long searched = 0;
  long read = 0;
  long stretches = 0;
  for (int round = 0; round < 40; ++round) {
    // A document without records ends no output: the second is still written.
    const std::string first = round % 5 == 2 ? std::string("<!-- none -->") : randomDocument(random);
    const std::string second = randomDocument(random);
    test::writeFile(path("1.html"), first);
    test::writeFile(path("2.html"), second);
    test::writeFile(path("template.txt"), randomTemplate(random, recordsOf(first, second)));
    const char* const kinds[] = {"NORMAL", "NOCRLF", "CSV"};
    const std::string kind = kinds[round % 3];
    const std::string whole = fill(kind, false, 1 << 16);
    searched += tableSearches_;
    read += itemsRead_;
    stretches += stretchesSearched_;
    warned += whole.find("5021") != std::string::npos ? 1 : 0;
    late += whole.find("tail") != std::string::npos ? 1 : 0;
    // The records handed on as they come, chosen by their pairs from the first, or every one.
    for (const RecordChoice choice : {RecordChoice::OnceItemsRead, RecordChoice::FromTheStart, RecordChoice::Never}) {
      for (const int32_t limit : {1, 3, 1 << 16}) {
        const std::string at = "round " + std::to_string(round) + " limit " + std::to_string(limit) + " choice " +
                               std::to_string(static_cast<int>(choice));
        ASSERT_EQ(fill(kind, true, limit, false, choice), whole) << at;
        // Every item was answered from what was kept, and read once: only a faulty one, which
        // ends the fill, is read again, and only its stretch or the template's last text is
        // searched for markers again.
        ASSERT_EQ(tableSearches_, 0) << at;
        ASSERT_LE(itemsRead_, 1) << at;
        ASSERT_LE(stretchesSearched_, 1) << at;
      }
    }
    // Alone and in pieces, the document is scanned while its code is decided beside the scan;
    // a Shift-JIS text after its ASCII start has the whole decide otherwise, and the document
    // read again.
    if (round % 4 == 0) {
      test::writeFile(path("1.html"), first + "<p>\x93\xfa\x96\x7b</p>");
      const std::string alone = fill(kind, false, 1 << 16, true);
      ASSERT_EQ(fill(kind, true, 3, true), alone) << "round " << round << " alone";
      ASSERT_EQ(fill(kind, true, 3, true, RecordChoice::FromTheStart), alone) << "round " << round << " alone, chosen";
      ASSERT_EQ(tableSearches_, 0) << "round " << round << " alone";
      ASSERT_LE(itemsRead_, 1) << "round " << round << " alone";
    }
  }
  EXPECT_GT(warned, 10);
  EXPECT_GT(late, 20);
  EXPECT_GT(searched, 1000);
  EXPECT_GT(read, 1000);
  EXPECT_GT(stretches, 1000);
}

// The template's area, asked for on the items' thread.
std::atomic<std::size_t> gTemplateArea{0};
std::atomic<int> gTemplateAsked{0};

// A template that opens but is then lost to the items' reading (its area refused once) leaves
// the documents whole: every record is kept, and the output phase reads the template again
// and fills as from the whole tables, with the same warnings.
TEST_F(KeptValuesFill, KeepsEverythingWhenTheTemplateIsLostAfterOpening) {
  std::mt19937 random(11);
  for (int round = 0; round < 6; ++round) {
    const std::string first = randomDocument(random);
    const std::string second = randomDocument(random);
    test::writeFile(path("1.html"), first);
    test::writeFile(path("2.html"), second);
    std::string text = randomTemplate(random, recordsOf(first, second));
    if (text.size() % 2 == 0) text += ".";  // an odd size, which no area of the documents has
    test::writeFile(path("template.txt"), text);
    const std::string kind = round % 2 == 0 ? "NORMAL" : "NOCRLF";
    const std::string whole = fill(kind, false, 1 << 16);
    for (const int32_t limit : {1, 3}) {
      gTemplateAsked = 0;
      gTemplateArea = text.size() + 16;
      setAllocationSeam({.hook = [](std::size_t bytes) { return bytes == gTemplateArea && gTemplateAsked++ == 0; }});
      const std::string kept = fill(kind, true, limit);
      resetAllocationSeam();
      ASSERT_EQ(gTemplateAsked.load(), 2) << round;  // the items' reading, refused, and the output phase's
      ASSERT_EQ(kept, whole) << round << " limit " << limit;
      ASSERT_GT(tableSearches_, 0) << round;
    }
  }
}

// No record is handed on: the output phase still takes the items only once they are read.
TEST_F(KeptValuesFill, AnswersNothingFromDocumentsWithoutRecords) {
  test::writeFile(path("1.html"), "<!-- none -->");
  test::writeFile(path("2.html"), "<!-- none -->");
  test::writeFile(path("template.txt"), "[<%1<HTML>0001000000%>][<%2<P>0001000000%>]");
  const std::string whole = fill("NORMAL", false, 1 << 16);
  EXPECT_EQ(fill("NORMAL", true, 1 << 16), whole);
  EXPECT_NE(whole.find("5021"), std::string::npos);
}

// A template edited while the documents are read does not reach the fill: it is written from
// the area its items were read from, handed over once. A template given as text is used as it is.
TEST_F(KeptValuesFill, WritesFromTheTemplateAsItWasRead) {
  const std::string first = "[<%1<HTML><BODY><P>0001000000%>]";
  const std::string given = "<%1<HTML>0001000000%>";
  test::writeFile(path("template.txt"), first);
  const auto run = startedRun("NORMAL", true);
  for (const std::string* text : {static_cast<const std::string*>(nullptr), &given}) {
    run->templateText = text;
    KeptValues kept;
    ASSERT_TRUE(kept.readTemplate(*run));
    kept.awaitItems();
    test::writeFile(path("template.txt"), "edited");
    unsigned char* area = nullptr;
    int32_t size = 0;
    int32_t textLength = 0;
    ASSERT_TRUE(kept.takeTemplate(&area, &size, &textLength));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(area), static_cast<std::size_t>(size)), text ? given : first);
    EXPECT_EQ(textLength, size);
    EXPECT_FALSE(kept.takeTemplate(&area, &size, &textLength));
    releaseArea(&area);
    test::writeFile(path("template.txt"), first);
  }
  run->templateText = nullptr;
  endRun(*run);
}

}  // namespace
}  // namespace mq
