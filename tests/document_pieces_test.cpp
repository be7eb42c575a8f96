// Documents read in pieces held against the same documents read whole: the code each is
// found in, its records in either working code, the characters replaced and the row and
// column of a fault, with pieces and windows down to one byte; files as well as texts.
#include "markup/input_loading.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/run_record.h"
#include "convert/listing_stream.h"
#include "convert/listing_writer.h"
#include "markup/parse_tables.h"
#include "tests/test_support.h"

namespace mq {
namespace {

using test::convert;
using test::sjis;

// Markup in Shift-JIS with every kind of text the scanner treats apart.
std::string markup(unsigned seed) {
  static const char* const tokens[] = {
      "<p>", "</p>", "<a href=\"q r\">", "</a>", "<br>", "日本語の文", "ｶﾅ", "text ", "\n", "\r\n", "<!-- 注 -->",
      "<img  alt='x'  src=y>", "<td   w = 1>", "</td>", "<div>", "</div>", "①Ⅱ", "&amp;", "\t", "    ", "<b>"};
  std::mt19937 random(seed);
  std::uniform_int_distribution<std::size_t> pick(0, std::size(tokens) - 1);
  std::string text = "<html><body>";
  for (int i = 0; i < 150; ++i) text += tokens[pick(random)];
  return sjis(text + "</body></html>");
}

class DocumentPieces : public test::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    setupRunRecord(testRun(), "", "test");
    ASSERT_EQ(allocateParseTables(testRun(), 1), 0);
    ASSERT_EQ(takeValueArea(testRun()), 0);
  }
  void TearDown() override {
    testRun().pieces = PieceSizes{};
    releaseParseTables(testRun());
    releaseValueArea(testRun());
    ScratchDir::TearDown();
  }
  // What loading the document gives: the code it was found in, the message, the listing.
  std::string load(const std::string& bytes, InputKind kind, TextCode working, DocumentCode code, bool fromFile) {
    const std::string file = path("doc");
    std::snprintf(names_[0], kInputNameSize, "%s", file.c_str());
    test::writeFile(file, bytes);
    std::string found;
    const std::string_view text = bytes;
    InputSet inputs{kind, 1, names_, ParserKind::Classic, code, nullptr,
                    [&](const char* name) { found = name; }, working, fromFile ? nullptr : &text};
    testRun().tables[0].recordCount = 0;
    const int loaded = loadInputs(testRun(), inputs);
    std::string listing;
    if (loaded == 0) writeTagListingText(testRun(), &listing, 1, {'\t', false, false});
    return found + "|" + std::to_string(loaded) + "|" + std::to_string(testRun().messageCode) + "|" +
           testRun().messageText + "|" + listing;
  }
  // The listing of the document read from its file: whole, or in pieces while it is written,
  // with the table handed on after every `limit` records.
  std::string listing(const std::string& bytes, int32_t piece, int32_t limit) {
    const std::string file = path("doc");
    std::snprintf(names_[0], kInputNameSize, "%s", file.c_str());
    test::writeFile(file, bytes);
    const std::string out = path("out.tsv");
    std::remove(out.c_str());
    testRun().pieces = piece > 0 ? PieceSizes{true, 0, piece, piece} : PieceSizes{false};
    ListingStream stream(testRun(), out.c_str(), {'\t', false, false});
    if (piece > 0) {
      EXPECT_TRUE(stream.open());
      testRun().flow.sink = &stream;
      testRun().flow.recordLimit = limit;
    }
    testRun().tables[0].recordCount = 0;
    const int loaded = loadInputs(testRun(), InputSet{InputKind::Xml, 1, names_});
    testRun().flow = RecordFlow{};
    if (loaded != 0) return "fault " + std::to_string(testRun().messageCode) + " " + testRun().messageText;
    std::string whole;
    if (piece == 0) writeTagListingText(testRun(), &whole, 1, {'\t', false, false});
    EXPECT_EQ(piece > 0 ? stream.finish() : 0, 0);
    return piece > 0 ? test::readFile(out) : whole;
  }
  char names_[kMaxInputs][kInputNameSize] = {};
};

// A document read in pieces is scanned in the code its first piece decides while the whole is
// decided beside the scan; when the whole decides otherwise, the lines written are given up
// and the document read again, here or whole. The first piece of each case but the last
// decides otherwise than its whole.
TEST_F(DocumentPieces, ADocumentWhoseWholeDecidesAnotherCodeIsListedAgain) {
  const std::string kanji = "\x93\xfa\x96\x7b";
  std::string plain;
  for (int i = 0; i < 40; ++i) plain += "<p>a" + std::to_string(i) + "</p>\n";
  const std::string cases[] = {
      "<doc><p>" + kanji + "</p>" + plain + "<p>\x80</p></doc>",             // a byte of no code: read whole
      "<doc>" + plain + "<p>\xef\xbd\xb1</p></doc>",                          // ASCII, then UTF-8
      "<doc><p>\xa4\xa2</p>" + plain + "<p>" + kanji + "</p></doc>",          // EUC, then Shift-JIS only
      "<doc><b>" + kanji + "</b>" + plain + "<p>" + kanji + "</p>tail</doc>",  // the same throughout
  };
  for (const std::string& text : cases) {
    // A load that fails is compared by its message: under Wine one of these fails with 1031.
    const std::string whole = listing(text, 0, 0);
    for (const int32_t piece : {16, 64}) {
      for (const int32_t limit : {1, 3}) {
        EXPECT_EQ(listing(text, piece, limit), whole) << "piece " << piece << " limit " << limit << "\n" << text;
      }
    }
  }
}

TEST_F(DocumentPieces, GiveWhatTheWholeTextGives) {
  struct Form {
    const char* name;
    std::string (*make)(const std::string& sjisText);
  };
  const Form forms[] = {
      {"sjis", [](const std::string& t) { return t; }},
      {"euc", [](const std::string& t) { return convert(t, "CP932", "EUC-JP-MS"); }},
      {"utf8", [](const std::string& t) { return convert(t, "CP932", "UTF-8"); }},
      {"utf8 mark", [](const std::string& t) { return "\xEF\xBB\xBF" + convert(t, "CP932", "UTF-8"); }},
      {"jis", [](const std::string& t) { return convert(t, "CP932", "ISO-2022-JP-3"); }},
      {"utf16 mark", [](const std::string& t) { return convert(t, "CP932", "UTF-16"); }},
      {"mixture", [](const std::string& t) { return t + convert(t, "CP932", "EUC-JP-MS"); }},
      {"ascii", [](const std::string&) { return std::string(3000, ' ') + "<p>a</p>\n<p b=c>d</p>"; }},
      {"fault", [](const std::string& t) { return t + "\r\n\n<p>x</p>]]>"; }},
      {"named", [](const std::string& t) { return "<?xml version=\"1.0\" encoding=\"EUC-JP\"?>" + convert(t, "CP932", "EUC-JP-MS"); }},
      {"latin", [](const std::string&) { return std::string("<meta charset=iso-8859-1><p>caf\xE9</p>"); }},
      // The one bad byte is the first of the second half when a piece is checked in two.
      {"bad byte at the half", [](const std::string&) { return std::string(40, 'a') + "<\x80" + std::string(40, 'a'); }},
  };
  int compared = 0;
  for (unsigned seed = 1; seed <= 6; ++seed) {
    for (const Form& form : forms) {
      if (!test::systemConvertsCodes() && std::string(form.name) != "sjis") continue;
      const std::string bytes = form.make(markup(seed));
      for (const InputKind kind : {InputKind::Html, InputKind::Xml}) {
        for (const TextCode working : {TextCode::Sjis, TextCode::Utf8}) {
          for (const DocumentCode code : {DocumentCode::Detect, DocumentCode::Sjis, DocumentCode::Utf8}) {
            testRun().pieces.enabled = false;
            const std::string whole = load(bytes, kind, working, code, true);
            for (const int32_t piece : {1, 3, 64, 4096}) {
              // Pieces of 64 bytes and more are also checked in two halves at once.
              testRun().pieces = PieceSizes{true, 0, piece, piece < 16 ? 4 : piece, piece < 64 ? 1 << 20 : 16};
              ASSERT_EQ(load(bytes, kind, working, code, piece % 2 == 1), whole)
                  << form.name << " seed " << seed << " piece " << piece << " kind " << static_cast<int>(kind)
                  << " working " << static_cast<int>(working) << " code " << static_cast<int>(code);
              ++compared;
            }
          }
        }
      }
    }
  }
  // Without the system's converters only Shift-JIS documents are compared.
  EXPECT_GT(compared, test::systemConvertsCodes() ? 1000 : 250);
}

}  // namespace
}  // namespace mq
