// Deciding a document's one code: each step of the order, and documents that mix codes read
// exactly as the byte-by-byte recognition reads them.
#include "markup/code_decision.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/code_conversion.h"
#include "common/run_record.h"
#include "common/work_areas.h"
#include "markup/input_loading.h"
#include "markup/parse_tables.h"
#include "markup/parser_scratch.h"
#include "markup/scanner.h"
#include "tests/test_support.h"

namespace mq {
namespace {

using test::sjis;

// Bytes outside printable ASCII as \xHH, for a readable failure.
std::string escaped(const std::string& text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      out += c;
    } else {
      out += std::string("\\x") + hex[byte >> 4] + hex[byte & 15];
    }
  }
  return out;
}

std::string decided(const std::string& text, InputKind kind = InputKind::Html) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const auto size = static_cast<int32_t>(text.size());
  return wholeCodeName(decideWholeCode(bytes, size, kind), bytes, size);
}

TEST(CodeDecision, TheFirstStepThatFitsDecides) {
  const std::string euc = "<P>\xC6\xFC\xCB\xDC</P>";  // 日本 in EUC
  const struct {
    std::string text;
    std::string code;
  } cases[] = {
      {"", "ASCII"},
      {"<P>plain</P>", "ASCII"},
      {"<P>\x1B$BF|\x1B(B</P>", "JIS"},
      {"\xEF\xBB\xBF<P>x</P>", "UTF8"},
      {std::string("\xFF\xFE<\0P\0", 6), "UTF16"},
      {"<P>\xE6\x97\xA5</P>", "UTF8"},
      {sjis("<P>日本</P>"), "SJIS"},
      {euc, "EUC"},
      // Kana and the code page's extensions that EUC cannot read.
      {sjis("<P>ｶﾀｶﾅ ﾃｽﾄ</P><P>髙橋 ⅰ</P><P>ｱ</P>"), "SJIS"},
      // Two half-width kana are also one EUC character: valid EUC comes first.
      {"<P>\xB6\xC0</P>", "EUC"},
      // A named code wins when the bytes are valid in it, and is passed over when not.
      {"<meta charset=\"shift_jis\"><P>\xB6\xC0</P>", "SJIS"},
      {"<meta charset=\"euc-jp\">" + sjis("<P>日本</P>"), "SJIS"},
      {"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><r>\xB6\xC0</r>", "SJIS"},
      // A UTF-16 label on a page of single bytes is one the page outgrew, in either order.
      {"<meta charset=\"utf-16be\">" + sjis("<P>日本</P>"), "SJIS"},
      {"<meta charset=\"utf-16le\">" + sjis("<P>日本</P>"), "SJIS"},
      {"<meta charset=\"utf-16\">" + euc, "EUC"},
      // Neither code reads it: Shift-JIS 日, then EUC 日 followed by "<".
      {"<P>\x93\xFA\xC6\xFC</P>", "MIXED"},
      {"<P>\x93\xFA\x1B$BF|\x1B(B</P>", "SJIS"},  // escapes are ASCII bytes to Shift-JIS
      {"<P>\xFF</P>", "MIXED"},
  };
  for (const auto& c : cases) EXPECT_EQ(decided(c.text), c.code) << escaped(c.text);
  // One byte above 0x7F anywhere, inside or after the eight-byte words, makes text not 7-bit.
  for (std::size_t at = 0; at < 20; ++at) {
    std::string text(20, 'a');
    text[at] = '\xFF';
    EXPECT_EQ(decided(text), "MIXED") << at;
  }
  // The <meta> charset counts for HTML only; the XML declaration for both.
  EXPECT_EQ(decided("<meta charset=\"shift_jis\"><P>\xB6\xC0</P>", InputKind::Xml), "EUC");
  if (test::systemConvertsCodes()) {
    EXPECT_EQ(decided("<meta charset=\"iso-8859-1\"><P>caf\xE9</P>"), "iso-8859-1");
  }
}

// The text converted byte by byte and scanned into slot 0, as every document once was.
int scanByteWise(const std::string& text) {
  EXPECT_EQ(allocateParserScratch(testRun()), 0);
  ParserScratch& s = testRun().scratch;
  EXPECT_EQ(allocZeroed(&s.inputText, static_cast<long>(text.size()) + 16), 0);
  std::memcpy(s.inputText, text.data(), text.size());
  s.inputSize = ConvertCode(s.inputText, s.inputText, static_cast<int32_t>(text.size()), CodeKind::Sjis);
  std::memset(s.inputText + s.inputSize, 0, text.size() - static_cast<std::size_t>(s.inputSize));
  testRun().cursor = TableCursor{};
  openTableCursor(testRun(), 0);
  const int result = scanMarkup(testRun(), InputKind::Html);
  storeTableCursor(testRun(), 0);
  releaseParserScratch(testRun());
  return result;
}

// Documents assembled from pieces of every code: whatever is decided as a mixture must load
// exactly as the byte-by-byte recognition reads it, and a document valid in one code loads
// as that code does.
TEST(CodeDecision, MixturesLoadAsTheByteByByteRecognitionReadsThem) {
  setupRunRecord(testRun(), "", "test");
  const std::string pieces[] = {"<P>", "</P>", "x", " ", "\x93\xFA", "\x96\x7B", "\xC6\xFC", "\xCB\xDC", "\xB1",
                                "\x8E\xB1", "\x1B$B", "F|", "\x1B(B", "\xFA\x40", "\x8F\xF3\xF3", "\xFF", "\x80"};
  std::mt19937 random(1501);
  int mixtures = 0;
  for (int n = 0; n < 3000; ++n) {
    std::string text = "<P>";
    const std::size_t count = 1 + random() % 12;
    for (std::size_t i = 0; i < count; ++i) text += pieces[random() % std::size(pieces)];
    text += "</P>";
    if (decided(text) != "MIXED") continue;
    ++mixtures;
    ASSERT_EQ(allocateParseTables(testRun(), 1), 0);
    const int wantResult = scanByteWise(text);
    const std::vector<std::string> want = test::listingLines(0);
    releaseParseTables(testRun());
    ASSERT_EQ(allocateParseTables(testRun(), 1), 0);
    EXPECT_EQ(loadDocumentText(testRun(), InputKind::Html, reinterpret_cast<const unsigned char*>(text.data()),
                               static_cast<int32_t>(text.size())),
              wantResult)
        << escaped(text);
    EXPECT_EQ(test::listingLines(0), want) << escaped(text);
    releaseParseTables(testRun());
    if (HasFailure()) return;
  }
  EXPECT_GT(mixtures, 500);
}

}  // namespace
}  // namespace mq
