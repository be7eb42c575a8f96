// Listings written while their documents are read, held against the listing written after a
// whole load: random markup with texts after children, options, comments and elements left
// open, read both ways and in both dialects, with the table handed on after every record or
// after a few; a listing's old file kept when the load fails.
#include "convert/listing_stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "common/run_record.h"
#include "markup/input_loading.h"
#include "markup/parse_tables.h"
#include "markup/standard_parser.h"
#include "tests/test_support.h"

namespace mq {
namespace {

// Markup of tokens that give texts after children, empty elements, options and comments.
std::string randomMarkup(unsigned seed) {
  static const char* const tokens[] = {
      "<body>", "</body>", "<p>", "</p>", "<b>", "</b>", "<div class=\"x y\">", "</div>", "<br>", "<li>",
      "<a href=q>", "</a>", "text ", "tail", "\n", " ", "<!-- note -->", "<img src='i'>", "<td\tw=1>", "</td>",
      "<x:y z=\"\">", "</x:y>", "\t\r\n", "<p>lead", "<?pi?>", "<br/>", "\x93\xfa\x96\x7b"};
  std::mt19937 random(seed);
  std::uniform_int_distribution<std::size_t> pick(0, std::size(tokens) - 1);
  std::string text = seed % 3 == 0 ? "<html>" : "<root>";
  for (int i = 0; i < 120; ++i) text += tokens[pick(random)];
  return text;
}

class StreamedListing : public test::ScratchDir {
 protected:
  void SetUp() override {
    test::ScratchDir::SetUp();
    setupRunRecord(testRun(), "", "test");
    ASSERT_EQ(allocateParseTables(testRun(), 1), 0);
    ASSERT_EQ(takeValueArea(testRun()), 0);
  }
  void TearDown() override {
    testRun().flow = RecordFlow{};
    releaseParseTables(testRun());
    releaseValueArea(testRun());
    test::ScratchDir::TearDown();
  }
  // The listing of the document, written after the load (limit 0) or while loading with the
  // table handed on whenever it holds `limit` records; "fault N" when the load fails.
  std::string listing(const std::string& text, InputKind kind, ParserKind parser, const ListingFormat& format,
                      int32_t limit) {
    const std::string file = path("out.tsv");
    std::remove(file.c_str());
    ListingStream stream(testRun(), file.c_str(), format);
    if (limit > 0) {
      EXPECT_TRUE(stream.open());
      testRun().flow.sink = &stream;
      testRun().flow.recordLimit = limit;
      testRun().flow.contentLimit = limit * 8;
    }
    const int loaded = loadDocumentText(testRun(), kind, reinterpret_cast<const unsigned char*>(text.data()),
                                        static_cast<int32_t>(text.size()), parser);
    testRun().flow = RecordFlow{};
    if (loaded != 0) {
      if (limit > 0) stream.abandon();
      return "fault " + std::to_string(testRun().messageCode) + " " + testRun().messageText;
    }
    EXPECT_EQ(limit > 0 ? stream.finish() : writeTagListing(testRun(), file.c_str(), 1, format), 0);
    return test::readFile(file);
  }
};

TEST_F(StreamedListing, WritesWhatTheListingAfterAWholeLoadHolds) {
  const ListingFormat formats[] = {{'\t', false, false}, {',', true, true}};
  std::vector<ParserKind> parsers{ParserKind::Classic};
  if (standardParserAvailable()) parsers.push_back(ParserKind::Standard);
  int compared = 0;
  int late = 0;
  for (unsigned seed = 1; seed <= 60; ++seed) {
    const std::string text = randomMarkup(seed);
    for (const InputKind kind : {InputKind::Html, InputKind::Xml}) {
      for (const ParserKind parser : parsers) {
        const ListingFormat& format = formats[seed % 2];
        const std::string whole = listing(text, kind, parser, format, 0);
        for (const int32_t limit : {1, 2, 3, 16}) {
          ASSERT_EQ(listing(text, kind, parser, format, limit), whole)
              << "seed " << seed << " limit " << limit << " parser " << static_cast<int>(parser) << "\n" << text;
          ++compared;
        }
        late += whole.find("tail") != std::string::npos ? 1 : 0;
      }
    }
  }
  EXPECT_GT(compared, 400);
  EXPECT_GT(late, 50);
}

// Values whose escaping could grow the value area are made on the reading thread, the others on
// the writing thread: values of lengths on both sides of where the area would grow, with and
// without escapes, and a long late one, give the lines of a whole load either way.
TEST_F(StreamedListing, MakesEveryValueAsTheWholeLoadDoesOnEitherThread) {
  std::string text = "<doc>";
  for (const int length : {1, 9, 1019, 1020, 1021, 4079, 4080, 4081, 9000}) {
    for (const char* middle : {"", "\t", "\r\n"}) {
      const std::string half(static_cast<std::size_t>(length / 2), 'a');
      text += "<v n=\"" + half + middle + "\">" + half + middle + half + "</v>";
    }
  }
  text += "<e></e>" + std::string(3000, 'z') + "\tlate\n" + std::string(3000, 'y') + "</doc>";
  for (const ListingFormat& format : {ListingFormat{'\t', false, false}, ListingFormat{',', true, true}}) {
    std::string whole;
    for (const int32_t limit : {0, 1, 3, 16}) {
      // The area as first taken, so that the same values grow it in every listing.
      releaseValueArea(testRun());
      ASSERT_EQ(takeValueArea(testRun()), 0);
      const std::string made = listing(text, InputKind::Xml, ParserKind::Classic, format, limit);
      if (limit == 0) {
        ASSERT_NE(made.find("[09]late[0A]"), std::string::npos);
        ASSERT_NE(made.find("[0D][0A]"), std::string::npos);
      }
      if (limit == 0) whole = made;
      EXPECT_EQ(made, whole) << "limit " << limit << " separator " << format.separator;
    }
  }
}

// A value whose escaping grows the value area is made on the reading thread: when the area
// cannot grow, the load stops with 1014 there, as the listing after a whole load does.
TEST_F(StreamedListing, AValueThatMustGrowTheAreaFailsTheLoadWithItsMessage) {
  const std::string text = "<doc><v>a" + std::string(1100, '\t') + "a</v><w>b</w></doc>";
  // The area grows from 4096 bytes to 8192.
  setAllocationSeam({.hook = [](std::size_t size) { return size >= 8192 && size <= 8192 + 16; }});
  const std::string streamed = listing(text, InputKind::Xml, ParserKind::Classic, {'\t', false, false}, 1);
  resetAllocationSeam();
  EXPECT_EQ(streamed.substr(0, 11), "fault 1014 ") << streamed.substr(0, 200);
}

// The texts that come back to an element after its children, long after it was written.
TEST_F(StreamedListing, PutsLateTextsInThePlaceOfTheirElements) {
  std::string text = "<doc><list>";
  for (int i = 0; i < 50; ++i) text += "<item n=" + std::to_string(i) + ">v</item>";
  text += "late for list</list>late for doc<list><item>w</item>tail</list>after</doc>";
  for (const int32_t limit : {1, 4, 7}) {
    const std::string whole = listing(text, InputKind::Xml, ParserKind::Classic, {'\t', false, true}, 0);
    ASSERT_NE(whole.find("<DOC>\tlate for doc"), std::string::npos);
    EXPECT_EQ(listing(text, InputKind::Xml, ParserKind::Classic, {'\t', false, true}, limit), whole) << limit;
  }
}

TEST_F(StreamedListing, AFailedLoadLeavesTheOldListingAndNoOtherFile) {
  test::writeFile(path("out.tsv"), "old");
  std::string broken = "<doc>";
  for (int i = 0; i < 40; ++i) broken += "<p>a</p>";
  broken += "<p>b</p>></doc>";
  ListingStream stream(testRun(), path("out.tsv").c_str(), {'\t', false, false});
  ASSERT_TRUE(stream.open());
  testRun().flow.sink = &stream;
  testRun().flow.recordLimit = 1;
  EXPECT_NE(loadDocumentText(testRun(), InputKind::Xml, reinterpret_cast<const unsigned char*>(broken.data()),
                             static_cast<int32_t>(broken.size()), ParserKind::Classic), 0);
  stream.abandon();
  EXPECT_EQ(test::readFile(path("out.tsv")), "old");
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"out.tsv"});
}

// A listing named by a link, a device or a folder is no file to replace: the stream declines
// it, and the listing is written in place after the load, through the link as before.
TEST_F(StreamedListing, DeclinesNamesThatAreNoPlainFile) {
  test::writeFile(path("target.tsv"), "old");
  std::error_code linked;
  std::filesystem::create_symlink(path("target.tsv"), path("link.tsv"), linked);
  std::vector<std::string> names{dir_, path("none/out.tsv")};
  if (!linked) names.push_back(path("link.tsv"));
  for (const std::string& name : names) {
    ListingStream stream(testRun(), name.c_str(), {'\t', false, false});
    EXPECT_FALSE(stream.open()) << name;
  }
  ListingStream plain(testRun(), path("target.tsv").c_str(), {'\t', false, false});
  EXPECT_TRUE(plain.open());
  plain.abandon();
  EXPECT_EQ(test::readFile(path("target.tsv")), "old");
}

#ifndef _WIN32
// A listing that replaces an old one keeps the old one's permissions, as writing in place did.
TEST_F(StreamedListing, KeepsThePermissionsOfTheListingItReplaces) {
  namespace fs = std::filesystem;
  test::writeFile(path("out.tsv"), "old");
  fs::permissions(path("out.tsv"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const std::string text = "<doc><p>a</p></doc>";
  ListingStream stream(testRun(), path("out.tsv").c_str(), {'\t', false, false});
  ASSERT_TRUE(stream.open());
  testRun().flow.sink = &stream;
  ASSERT_EQ(loadDocumentText(testRun(), InputKind::Xml, reinterpret_cast<const unsigned char*>(text.data()),
                             static_cast<int32_t>(text.size())), 0);
  testRun().flow.sink = nullptr;
  ASSERT_EQ(stream.finish(), 0);
  EXPECT_EQ(test::readFile(path("out.tsv")), "1\t1\t1\t<DOC>\t\r\n1\t2\t1\t<DOC><P>\ta\r\n");
  EXPECT_EQ(fs::status(path("out.tsv")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}
#endif

}  // namespace
}  // namespace mq
