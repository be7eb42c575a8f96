// Finding a document's code for the standard parser: the declared code first, then what the
// document shows, then UTF-8 or Shift-JIS by its bytes.
#include "markup/document_code.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_support.h"

namespace mq {
namespace {

DocumentSource find(const std::string& text, InputKind kind = InputKind::Html,
                    DocumentCode declared = DocumentCode::Detect) {
  return findDocumentCode(reinterpret_cast<const unsigned char*>(text.data()), static_cast<int32_t>(text.size()), kind,
                          declared);
}

TEST(DocumentCode, TheDocumentShowsItsCodeOrItsBytesTellIt) {
  struct Case {
    std::string text;
    InputKind kind;
    SourceCode code;
    int32_t skip;
  };
  const std::string sjisText = test::sjis("<P>日本</P>");
  const std::vector<Case> cases = {
      {"\xEF\xBB\xBF<p>", InputKind::Html, SourceCode::Utf8, 3},
      {std::string("\xFF\xFE<\0p\0", 6), InputKind::Html, SourceCode::Utf16Le, 2},
      {std::string("\xFE\xFF\0<\0p", 6), InputKind::Xml, SourceCode::Utf16Be, 2},
      {std::string("<\0?\0x\0", 6), InputKind::Xml, SourceCode::Utf16Le, 0},
      {std::string("\0<\0?\0x", 6), InputKind::Xml, SourceCode::Utf16Be, 0},
      {"<?xml version='1.0' encoding='EUC-JP'?><r/>", InputKind::Xml, SourceCode::EucJp, 0},
      {"<?xml version=\"1.0\" encoding = \"x-sjis\"?>", InputKind::Html, SourceCode::Cp932, 0},
      {"<html><head><meta charset=\"ISO-2022-JP\"></head>", InputKind::Html, SourceCode::Jis, 0},
      {"<HTML><HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=Shift_JIS\">", InputKind::Html,
       SourceCode::Cp932, 0},
      {"<META CONTENT='text/html;charset=euc-jp'>", InputKind::Html, SourceCode::EucJp, 0},
      // A meta charset is HTML's; in XML the bytes decide.
      {"<meta charset=\"euc-jp\">" + sjisText, InputKind::Xml, SourceCode::Cp932, 0},
      // A label that names no code here, or UTF-16 on a page of single bytes, is passed over.
      {"<meta charset=\"no-such-code\">\xE6\x97\xA5", InputKind::Html, SourceCode::Utf8, 0},
      {"<meta charset=\"utf-16\">" + sjisText, InputKind::Html, SourceCode::Cp932, 0},
      {"<meta charset=\"utf-16le\">" + sjisText, InputKind::Html, SourceCode::Cp932, 0},
      {"<meta charset=\"UTF-16BE\">" + sjisText, InputKind::Html, SourceCode::Cp932, 0},
      {"<meta charset=\"utf-16be\"><p>\xE6\x97\xA5</p>", InputKind::Html, SourceCode::Utf8, 0},
      {"<?xml version=\"1.0\" encoding=\"utf-16be\"?><r>\xE6\x97\xA5</r>", InputKind::Xml, SourceCode::Utf8, 0},
      // A UTF-8 mark is all three bytes; the first two alone are text.
      {std::string("\xEF\xBB\x00<p>", 6), InputKind::Html, SourceCode::Cp932, 0},
      {std::string("\xEF\x00\xBF<p>", 6), InputKind::Html, SourceCode::Cp932, 0},
      {std::string("\x00\xBB\xBF<p>", 6), InputKind::Html, SourceCode::Cp932, 0},
      {"\xEF\xBB<p>", InputKind::Html, SourceCode::Cp932, 0},
      {"<p>plain</p>", InputKind::Html, SourceCode::Utf8, 0},
      {"<p>\xE6\x97\xA5\xE6\x9C\xAC</p>", InputKind::Html, SourceCode::Utf8, 0},
      {sjisText, InputKind::Html, SourceCode::Cp932, 0},
  };
  for (const Case& c : cases) {
    const DocumentSource source = find(c.text, c.kind);
    EXPECT_EQ(source.code, c.code) << testing::PrintToString(c.text);
    EXPECT_EQ(source.skip, c.skip) << testing::PrintToString(c.text);
  }
  // A label outside the codes named here is kept only where the system can read it.
  if (!test::systemConvertsCodes()) return;
  const DocumentSource latin = find("<meta charset=\"ISO-8859-1\">caf\xE9");
  EXPECT_EQ(latin.code, SourceCode::Labelled);
  EXPECT_STREQ(latin.label, "iso-8859-1");
}

// A <meta> is read only when the whole tag lies within the first 4 KB.
TEST(DocumentCode, AMetaCharsetCountsWithinTheFirst4KbOnly) {
  const std::string meta = "<meta charset=\"euc-jp\">";
  const std::string utf8Text = "<p>\xE6\x97\xA5</p>";
  const auto page = [&](std::size_t metaAt, const std::string& tag) {
    return std::string(metaAt, ' ') + tag + utf8Text + std::string(8192, 'x');
  };
  EXPECT_EQ(find(page(4096 - meta.size(), meta)).code, SourceCode::EucJp);
  EXPECT_EQ(find(page(4096 - meta.size() + 1, meta)).code, SourceCode::Utf8);
  EXPECT_EQ(find(page(5000, meta)).code, SourceCode::Utf8);
  // A tag that begins within the first 4 KB and ends after it.
  const std::string longMeta = "<meta charset=\"euc-jp\" content=\"" + std::string(200, 'c') + "\">";
  EXPECT_EQ(find(page(3900, longMeta)).code, SourceCode::Utf8);
  EXPECT_EQ(find(page(3800, longMeta)).code, SourceCode::EucJp);
}

// Every label of the code table once, in any case.
TEST(DocumentCode, EveryLabelNamesItsCode) {
  const std::vector<std::pair<std::string, SourceCode>> labels = {
      {"utf-8", SourceCode::Utf8},         {"UTF8", SourceCode::Utf8},
      {"unicode-1-1-utf-8", SourceCode::Utf8},
      {"utf-16le", SourceCode::Utf16Le},   {"UTF-16BE", SourceCode::Utf16Be},
      {"Shift_JIS", SourceCode::Cp932},    {"shift-jis", SourceCode::Cp932},
      {"sjis", SourceCode::Cp932},         {"x-sjis", SourceCode::Cp932},
      {"MS_Kanji", SourceCode::Cp932},     {"csShiftJIS", SourceCode::Cp932},
      {"Windows-31J", SourceCode::Cp932},  {"csWindows31J", SourceCode::Cp932},
      {"cp932", SourceCode::Cp932},        {"MS932", SourceCode::Cp932},
      {"x-ms-cp932", SourceCode::Cp932},   {"EUC-JP", SourceCode::EucJp},
      {"eucjp", SourceCode::EucJp},        {"x-euc-jp", SourceCode::EucJp},
      {"ujis", SourceCode::EucJp},         {"csEUCPkdFmtJapanese", SourceCode::EucJp},
      {"euc-jp-ms", SourceCode::EucJp},    {"eucJP-ms", SourceCode::EucJp},
      {"eucJP-win", SourceCode::EucJp},    {"ISO-2022-JP", SourceCode::Jis},
      {"csISO2022JP", SourceCode::Jis},    {"iso2022jp", SourceCode::Jis},
      {"JIS", SourceCode::Jis},            {"utf-16", SourceCode::Utf16Le},
      {"UCS-2", SourceCode::Utf16Le},      {"iso-10646-ucs-2", SourceCode::Utf16Le},
      {"unicode", SourceCode::Utf16Le},
  };
  for (const auto& [label, code] : labels) {
    DocumentSource source{SourceCode::Labelled, {}, 0};
    ASSERT_TRUE(codeFromLabel(label.data(), static_cast<int32_t>(label.size()), &source)) << label;
    EXPECT_EQ(source.code, code) << label;
  }
  DocumentSource none{SourceCode::Cp932, {}, 0};
  EXPECT_FALSE(codeFromLabel("no-such-code", 12, &none));
  EXPECT_FALSE(codeFromLabel("", 0, &none));
}

TEST(DocumentCode, ADeclaredCodeOutranksWhatTheDocumentShows) {
  const std::string labelled = "<meta charset=\"utf-8\"><p>";
  EXPECT_EQ(find(labelled, InputKind::Html, DocumentCode::Sjis).code, SourceCode::Cp932);
  EXPECT_EQ(find(labelled, InputKind::Html, DocumentCode::Euc).code, SourceCode::EucJp);
  EXPECT_EQ(find(labelled, InputKind::Html, DocumentCode::Jis).code, SourceCode::Jis);
  const DocumentSource utf8 = find("\xEF\xBB\xBF<p>", InputKind::Html, DocumentCode::Utf8);
  EXPECT_EQ(utf8.code, SourceCode::Utf8);
  EXPECT_EQ(utf8.skip, 3);
  EXPECT_EQ(find(std::string("\xEF\xBB\x00<p>", 6), InputKind::Html, DocumentCode::Utf8).skip, 0);
  EXPECT_EQ(find(std::string("\xEF\x00\xBF<p>", 6), InputKind::Html, DocumentCode::Utf8).skip, 0);
  // UTF-16: the mark gives the order, else the zero bytes, else little-endian.
  EXPECT_EQ(find(std::string("\xFE\xFF\0<", 4), InputKind::Xml, DocumentCode::Utf16).code, SourceCode::Utf16Be);
  EXPECT_EQ(find(std::string("\xFE\xFF\0<", 4), InputKind::Xml, DocumentCode::Utf16).skip, 2);
  EXPECT_EQ(find(std::string("\0<\0p", 4), InputKind::Xml, DocumentCode::Utf16).code, SourceCode::Utf16Be);
  EXPECT_EQ(find("abcd", InputKind::Xml, DocumentCode::Utf16).code, SourceCode::Utf16Le);
}

}  // namespace
}  // namespace mq
