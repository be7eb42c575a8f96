// Documents read by the standard parser in pieces held against the same documents read whole:
// the code each is found in, its records in either working code, the characters replaced and
// the row and column of a fault, with pieces down to one byte; files as well as texts.
#include "markup/input_loading.h"

#include <gtest/gtest.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "bench/html_generator.h"
#include "common/run_record.h"
#include "common/work_areas.h"
#include "convert/listing_stream.h"
#include "convert/listing_writer.h"
#include "markup/parse_tables.h"
#include "markup/standard_parser.h"
#include "tests/test_support.h"

namespace mq {
namespace {

using test::convert;

// HTML in UTF-8 with what the parser and the records around it treat apart: quoted values
// holding '>' and the other quote, script and style text with end tags of other names,
// references without their ';', a DOCTYPE with quoted identifiers, text after the root.
std::string html(unsigned seed) {
  static const char* const tokens[] = {
      "<p>", "</p>", "<a href=\"q > r\" title='it\"s'>", "</a>", "<br>", "日本語の文", "ｶﾅ", "text ", "\n", "\r\n",
      "<!-- 注 > -->", "<img alt='x > y' src=y>", "<td w = 1>", "</td>", "<div class=\"&lt a &copy\">", "</div>",
      "①Ⅱ", "&amp;", "&lt b", "&copy2", "\t", "<script>if (a</b) x='</scripts>';</script>",
      "<style>p > a {}</STYLE >", "<b>", "</b>", "<textarea>&lt t</textarea>", "<p a=\"長い値 \">"};
  std::mt19937 random(seed);
  std::uniform_int_distribution<std::size_t> pick(0, std::size(tokens) - 1);
  std::string text = "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\" 'x.dtd'><html><body>";
  for (int i = 0; i < 160; ++i) text += tokens[pick(random)];
  return text + "</body></html><p>after</p> ";
}

// XML in UTF-8: nested elements with attributes, CDATA, comments, instructions and an entity
// of its own; `broken` ends it with a fault.
std::string xml(unsigned seed, bool broken) {
  static const char* const texts[] = {"日本語", "ｶﾅ", "a &amp; b", "&co;", "\r\n", "\t", "<![CDATA[x>y<z]]>",
                                      "<!-- 注 -->", "<?pi d?>", "①Ⅱ", "  "};
  std::mt19937 random(seed);
  std::string text = "<!DOCTYPE r [<!ENTITY co \"会社 &amp; Co\">]>\n<r>";
  std::vector<std::string> open = {"r"};
  for (int i = 0; i < 160; ++i) {
    const auto roll = random() % 10;
    if (roll < 3 && open.size() < 12) {
      const std::string name = std::string("e") + static_cast<char>('a' + random() % 4);
      text += "<" + name + " k=\"v > '" + std::to_string(i) + "'\" n='値\"'>";
      open.push_back(name);
    } else if (roll < 5 && open.size() > 1) {
      text += "</" + open.back() + ">";
      open.pop_back();
    } else {
      text += texts[random() % std::size(texts)];
    }
  }
  if (broken) text += "<q>x</r>";
  while (!open.empty()) {
    text += "</" + open.back() + ">";
    open.pop_back();
  }
  return text;
}

class StandardPieces : public test::ScratchDir {
 protected:
  void SetUp() override {
    if (!standardParserAvailable()) GTEST_SKIP() << "built without the standard parser";
    ScratchDir::SetUp();
    setupRunRecord(testRun(), "", "test");
    ASSERT_EQ(allocateParseTables(testRun(), 1), 0);
    ASSERT_EQ(takeValueArea(testRun()), 0);
  }
  void TearDown() override {
    resetAllocationSeam();
    testRun().pieces = PieceSizes{};
    releaseParseTables(testRun());
    releaseValueArea(testRun());
    EXPECT_EQ(mappedAreaCount(), 0);
    ScratchDir::TearDown();
  }
  // What loading the document gives: the code it was found in, the message, the listing.
  std::string load(const std::string& bytes, InputKind kind, TextCode working, DocumentCode code, bool fromFile) {
    const std::string file = path("doc");
    std::snprintf(names_[0], kInputNameSize, "%s", file.c_str());
    if (fromFile) test::writeFile(file, bytes);
    std::string found;
    const std::string_view text = bytes;
    InputSet inputs{kind, 1, names_, ParserKind::Standard, code, nullptr,
                    [&](const char* name) { found = name; }, working, fromFile ? nullptr : &text};
    setupRunRecord(testRun(), "", "test");
    testRun().tables[0].recordCount = 0;
    const int loaded = loadInputs(testRun(), inputs);
    std::string listing;
    if (loaded == 0) writeTagListingText(testRun(), &listing, 1, {'\t', false, false});
    return found + "|" + std::to_string(loaded) + "|" + std::to_string(testRun().messageCode) + "|" +
           testRun().messageText + "|" + listing;
  }
  char names_[kMaxInputs][kInputNameSize] = {};
};

// The text with `bad` put in after its first line break past the middle.
std::string withBad(const std::string& text, const std::string& bad, const char* code) {
  const std::size_t cut = std::min(text.find('\n', text.size() / 2), text.size());
  return convert(text.substr(0, cut), "UTF-8", code) + bad + convert(text.substr(cut), "UTF-8", code);
}

struct Form {
  const char* name;
  std::string (*make)(const std::string& utf8Text);
};

const Form kForms[] = {
    {"utf8", [](const std::string& t) { return t; }},
    {"utf8 mark", [](const std::string& t) { return "\xEF\xBB\xBF" + t; }},
    {"sjis", [](const std::string& t) { return convert(t, "UTF-8", "CP932"); }},
    {"euc", [](const std::string& t) { return convert(t, "UTF-8", "EUC-JP-MS"); }},
    {"euc named", [](const std::string& t) { return "<?xml version=\"1.0\" encoding=\"EUC-JP\"?>" + convert(t, "UTF-8", "EUC-JP-MS"); }},
    {"sjis meta", [](const std::string& t) { return "<meta charset=\"Shift_JIS\">" + convert(t, "UTF-8", "CP932"); }},
    {"utf16le mark", [](const std::string& t) { return "\xFF\xFE" + convert(t, "UTF-8", "UTF-16LE"); }},
    {"utf16be mark", [](const std::string& t) { return "\xFE\xFF" + convert(t, "UTF-8", "UTF-16BE"); }},
    // A unit of no character (half a surrogate pair) after a mark.
    {"utf16 bad", [](const std::string& t) { return "\xFF\xFE" + withBad(t, std::string("\x00\xDC", 2), "UTF-16LE"); }},
    {"utf8 mark bad", [](const std::string& t) { return "\xEF\xBB\xBF" + withBad(t, "\xFF", "UTF-8"); }},
    {"jis named", [](const std::string& t) { return "<?xml version='1.0' encoding='ISO-2022-JP'?>" + convert(t, "UTF-8", "ISO-2022-JP-3"); }},
    {"latin", [](const std::string&) { return std::string("<meta charset=iso-8859-1><p a='caf\xE9'>caf\xE9</p>\n"); }},
    // A byte of no code in the middle, and a character cut by the end.
    {"bad byte", [](const std::string& t) { return t.substr(0, t.size() / 2) + "\xFF\r\n" + t.substr(t.size() / 2) + "\xE6\x97"; }},
    {"sjis bad", [](const std::string& t) { return convert(t, "UTF-8", "CP932") + "\n\t\x81"; }},
    // An XML declaration that the first 64 KB cut within its label, to the name of another code.
    {"cut label", [](const std::string&) {
       return "<?xml version=\"1.0\"" + std::string(65497, ' ') + "encoding=\"ISO-8859-15\"?><r a='\xA4'>\xA4</r>";
     }},
    {"open declaration", [](const std::string& t) { return "<?xml version=\"1.0\"" + std::string(70000, ' ') + "encoding=\"EUC-JP\"?>" + convert(t, "UTF-8", "EUC-JP-MS"); }},
};

TEST_F(StandardPieces, GiveWhatTheWholeTextGives) {
  int compared = 0;
  for (unsigned seed = 1; seed <= 3; ++seed) {
    for (const Form& form : kForms) {
      if (!test::systemConvertsCodes() && std::string(form.name) != "utf8") continue;
      for (const InputKind kind : {InputKind::Html, InputKind::Xml}) {
        const std::string bytes = form.make(kind == InputKind::Html ? html(seed) : xml(seed, seed == 3));
        for (const TextCode working : {TextCode::Sjis, TextCode::Utf8}) {
          for (const DocumentCode code :
               {DocumentCode::Detect, DocumentCode::Sjis, DocumentCode::Utf8, DocumentCode::Euc, DocumentCode::Utf16}) {
            testRun().pieces.enabled = false;
            const std::string whole = load(bytes, kind, working, code, true);
            for (const int32_t piece : {1, 2, 5, 64, 4096}) {
              testRun().pieces = PieceSizes{true, 0, piece, 4096};
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
  EXPECT_GT(compared, 1000);
}

// Where an XML document has a byte of no character: counted after the mark, over 16-bit
// units in UTF-16 (where CR is a column), read whole and in pieces.
TEST_F(StandardPieces, TellTheRowAndColumnOfABadByte) {
  if (!test::systemConvertsCodes()) GTEST_SKIP() << "the system reads no UTF-16";
  const std::string bad16(std::string("\x00\xDC", 2));
  const struct {
    std::string bytes;
    const char* where;
  } cases[] = {
      {"\xFF\xFE" + convert("<r>\r\n\ta", "UTF-8", "UTF-16LE") + bad16 + convert("</r>", "UTF-8", "UTF-16LE"),
       "ROWS = [2] COLS = [3]"},
      {"\xFE\xFF" + convert("<r>\r\n\ta", "UTF-8", "UTF-16BE") + std::string("\xDC\x00", 2) +
           convert("</r>", "UTF-8", "UTF-16BE"),
       "ROWS = [2] COLS = [3]"},
      {"\xEF\xBB\xBF<r>\r\n\ta\xFF</r>", "ROWS = [2] COLS = [6]"},
      {"\xEF\xBB\xBF<r>\xFF</r>", "ROWS = [1] COLS = [4]"},
      {"<r>\n\r\n\x81</r>", "ROWS = [3] COLS = [1]"},
  };
  for (const auto& c : cases) {
    for (const int32_t piece : {0, 1, 3, 4096}) {
      testRun().pieces = PieceSizes{piece > 0, 0, piece, 4096};
      const std::string loaded = load(c.bytes, InputKind::Xml, TextCode::Sjis, DocumentCode::Detect, piece != 3);
      EXPECT_NE(loaded.find("|1021|"), std::string::npos) << loaded;
      EXPECT_NE(loaded.find(c.where), std::string::npos) << c.where << " piece " << piece << ": " << loaded;
    }
  }
}

// The heap in use, where the C library tells it; 0 where it does not.
std::size_t heapInUse() {
#if defined(__GLIBC__)
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
#else
  return 0;
#endif
}

// Writes the listing as it comes, and the most heap in use while it did.
class MeasuredStream : public RecordSink {
 public:
  explicit MeasuredStream(ListingStream& stream) : stream_(stream) {}
  int take(ParseRun& run, int slot, const TagRecord* records, int32_t count, const int32_t* early,
           int32_t earlyCount) override {
    const std::size_t now = heapInUse();
    most = now > most ? now : most;
    return stream_.take(run, slot, records, count, early, earlyCount);
  }
  int late(ParseRun& run, int slot, const TagRecord& record) override { return stream_.late(run, slot, record); }
  std::size_t most = 0;

 private:
  ListingStream& stream_;
};

// A long document read in pieces while its records are handed on: the listing is the whole
// text's, and neither the run nor the parser holds the document meanwhile. Each failed area
// is a failure with nothing left taken.
TEST_F(StandardPieces, HoldNoAreaOfTheDocumentsSize) {
  std::string page;
  bench::generateHtml(
      6 << 20,
      [](void* context, const char* bytes, long length) {
        static_cast<std::string*>(context)->append(bytes, static_cast<std::size_t>(length));
        return 0;
      },
      &page);
  const std::string file = path("doc");
  std::snprintf(names_[0], kInputNameSize, "%s", file.c_str());
  test::writeFile(file, page);
  const InputSet inputs{InputKind::Html, 1, names_, ParserKind::Standard};
  const ListingFormat format{'\t', false, false};
  testRun().pieces.enabled = false;
  ASSERT_EQ(loadInputs(testRun(), inputs), 0);
  ASSERT_EQ(writeTagListing(testRun(), path("whole.tsv").c_str(), 1, format), 0);

  testRun().pieces = PieceSizes{true, 0, 4096, 4096};
  static std::size_t largest;
  largest = 0;
  AllocationSeam seam;
  seam.hook = [](std::size_t size) {
    largest = size > largest ? size : largest;
    return false;
  };
  setAllocationSeam(seam);
  {
    ListingStream stream(testRun(), path("pieces.tsv").c_str(), format);
    ASSERT_TRUE(stream.open());
    MeasuredStream measured(stream);
    testRun().flow.sink = &measured;
    testRun().flow.recordLimit = 512;
    testRun().flow.contentLimit = 1 << 16;
    const std::size_t before = heapInUse();
    EXPECT_EQ(loadInputs(testRun(), inputs), 0) << testRun().messageText;
    EXPECT_EQ(stream.finish(), 0);
    testRun().flow = RecordFlow{};
    EXPECT_LT(measured.most - before, page.size() / 3);
  }
  // Told by their first difference: a diff of listings this long would not fit in memory.
  const std::string whole = test::readFile(path("whole.tsv"));
  const std::string pieces = test::readFile(path("pieces.tsv"));
  const std::size_t differ = static_cast<std::size_t>(
      std::mismatch(whole.begin(), whole.end(), pieces.begin(), pieces.end()).first - whole.begin());
  EXPECT_TRUE(pieces == whole) << "from byte " << differ << ": " << whole.substr(differ, 100) << " | "
                               << pieces.substr(std::min(differ, pieces.size()), 100);
  EXPECT_LT(largest, page.size() / 3);

  const long taken = allocationCount();
  int failures = 0;
  for (long failAt = 1; failAt <= taken; failAt += 1 + failAt / 4) {
    setAllocationSeam({.failAt = failAt});
    const int loaded = loadInputs(testRun(), inputs);
    resetAllocationSeam();
    if (loaded == 0) continue;
    ++failures;
    EXPECT_TRUE(testRun().messageCode == 1011 || testRun().messageCode == 1014) << testRun().messageText;
  }
  EXPECT_GT(failures, 3);
}

}  // namespace
}  // namespace mq
