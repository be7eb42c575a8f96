// Reading documents of a declared code as UTF-8 and writing UTF-8 as CP932: every code's
// characters, bad bytes replaced or refused, pieces joined, and the fast paths held against
// the plain ones.
#include "common/unicode_conversion.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "common/platform.h"
#include "tests/test_support.h"

namespace mq {
namespace {

using test::convert;
using test::sjis;

const unsigned char* bytesOf(const std::string& text) { return reinterpret_cast<const unsigned char*>(text.data()); }

// The whole text decoded in pieces of `piece` bytes; "!" plus the bad offset when refused.
std::string decode(const std::string& text, SourceCode code, const char* label = "", bool strict = false,
                   std::size_t piece = 1 << 20) {
  Utf8Decoder decoder{};
  EXPECT_EQ(openDecoder(&decoder, code, label, strict), 0);
  std::string out;
  std::size_t at = 0;
  std::size_t want = piece;
  std::vector<unsigned char> buffer(3 * text.size() + 64);
  while (at < text.size()) {
    const std::size_t end = std::min(text.size(), at + want);
    int32_t used = 0;
    const int32_t written = decodePiece(&decoder, bytesOf(text) + at, static_cast<int32_t>(end - at),
                                        end == text.size(), buffer.data(), static_cast<int32_t>(buffer.size()), &used);
    if (written < 0) {
      closeDecoder(&decoder);
      return std::string("!").append(std::to_string(decoder.badOffset));
    }
    out.append(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(written));
    at += static_cast<std::size_t>(used);
    // A character cut by the end of the piece waits for a longer one.
    want = used == 0 && written == 0 ? want + piece : piece;
    if (used == 0 && written == 0 && end == text.size()) break;
  }
  closeDecoder(&decoder);
  return out;
}

struct Encoded {
  std::string bytes;
  int64_t replaced;
  bool operator==(const Encoded&) const = default;
};

Encoded encode(const std::string& utf8, UnicodePath path = UnicodePath::Bulk) {
  Cp932Encoder encoder{};
  EXPECT_EQ(openEncoder(&encoder), 0);
  std::string out(utf8.size() + 1, '\0');
  const int32_t written = encodeCp932(&encoder, bytesOf(utf8), static_cast<int32_t>(utf8.size()),
                                      reinterpret_cast<unsigned char*>(out.data()), path);
  EXPECT_LE(static_cast<std::size_t>(written), utf8.size());
  out.resize(static_cast<std::size_t>(written));
  closeEncoder(&encoder);
  return Encoded{out, encoder.replaced};
}

const std::string kJapanese = "① 髙橋 ～ 〓テスト ｶﾀｶﾅ 本日は晴天なり";

TEST(UnicodeConversion, EveryCodeReadsTheSameJapaneseText) {
  if (!test::systemConvertsCodes()) GTEST_SKIP() << "the system has no converter between named codes here";
  const std::string shiftJis = sjis(kJapanese);
  EXPECT_EQ(decode(kJapanese, SourceCode::Utf8), kJapanese);
  EXPECT_EQ(decode(convert(kJapanese, "UTF-8", "UTF-16LE"), SourceCode::Utf16Le), kJapanese);
  EXPECT_EQ(decode(convert(kJapanese, "UTF-8", "UTF-16BE"), SourceCode::Utf16Be), kJapanese);
  EXPECT_EQ(decode(shiftJis, SourceCode::Cp932), kJapanese);
  EXPECT_EQ(decode(convert(kJapanese, "UTF-8", "EUC-JP-MS"), SourceCode::EucJp), kJapanese);
  EXPECT_EQ(decode(convert("caf\xC3\xA9", "UTF-8", "ISO-8859-1"), SourceCode::Labelled, "iso-8859-1"), "caf\xC3\xA9");
  // Cut anywhere, the pieces join to the same text.
  for (std::size_t piece : {1u, 2u, 3u, 5u}) {
    EXPECT_EQ(decode(kJapanese, SourceCode::Utf8, "", false, piece), kJapanese) << piece;
    EXPECT_EQ(decode(shiftJis, SourceCode::Cp932, "", false, piece), kJapanese) << piece;
    EXPECT_EQ(decode(convert(kJapanese, "UTF-8", "UTF-16LE"), SourceCode::Utf16Le, "", false, piece), kJapanese);
  }
  Utf8Decoder unknown{};
  EXPECT_EQ(openDecoder(&unknown, SourceCode::Labelled, "no-such-code", false), -1);
}

// The pieces one after the other (appended, which GCC 12's overlap warning leaves alone).
std::string join(std::initializer_list<std::string> pieces) {
  std::string joined;
  for (const std::string& piece : pieces) joined.append(piece);
  return joined;
}

TEST(UnicodeConversion, BadBytesBecomeReplacementsOrStopAStrictReading) {
  if (!test::systemConvertsCodes()) GTEST_SKIP() << "the system has no converter between named codes here";
  const std::string r = "\xEF\xBF\xBD";
  // UTF-8: a stray continuation byte, an overlong form, a surrogate and a cut sequence at the end.
  EXPECT_EQ(decode("a\x80" "b", SourceCode::Utf8), join({"a", r, "b"}));
  EXPECT_EQ(decode("\xC0\xAF", SourceCode::Utf8), join({r, r}));
  EXPECT_EQ(decode("\xED\xA0\x80", SourceCode::Utf8), join({r, r, r}));
  EXPECT_EQ(decode("x\xE3\x81", SourceCode::Utf8), join({"x", r, r}));
  // Shift-JIS: a byte no character begins with, and a first byte without its second.
  EXPECT_EQ(decode("a\xA0" "b", SourceCode::Cp932), join({"a", r, "b"}));
  EXPECT_EQ(decode("a\x82", SourceCode::Cp932), join({"a", r}));
  // UTF-16: an odd byte at the end.
  EXPECT_EQ(decode(std::string("a\0b", 3), SourceCode::Utf16Le), join({"a", r}));
  // Strict: the offset of the first bad byte over all pieces.
  EXPECT_EQ(decode("abc\x80", SourceCode::Utf8, "", true, 2), "!3");
  EXPECT_EQ(decode(join({"ab", sjis("本"), "\xFF"}), SourceCode::Cp932, "", true, 3), "!4");
  EXPECT_EQ(decode("ab\xE3\x81", SourceCode::Utf8, "", true), "!2");
}

TEST(UnicodeConversion, JisTwoByteRunsTakeTheCodePagesRowsAndKatakana) {
  struct Case {
    std::string jis;
    std::string shiftJis;
  };
  const std::vector<Case> cases = {
      {"\x1B$B" "F|K\\" "\x1B(B", "\x93\xFA\x96\x7B"},          // 日本
      {"\x1B$@" "-!" "\x1B(J" "a", "\x87\x40" "a"},            // ① of row 13, then JIS Roman
      {"\x1B$B" "|q" "\x1B(B", "\xEE\xEF"},                    // a character of row 92
      {"\x1B(I" "1" "\x1B(B" "1", "\xB1" "1"},                  // half-width katakana
      {"\x0E" "1\x0F" "1", "\xB1" "1"},                         // the same by shift out and in
      {"\x1B$(D" "0!" "\x1B(B" "x", "\xFFx"},                  // JIS X 0212 has no such form
      {"\x1B$B" "F" "\x1B(B", "\xFF"},                           // a first byte alone
      {"\x1B" "K" "A", "\x1B" "KA"},                            // not a designation
  };
  for (const Case& c : cases) {
    std::string text = c.jis;
    const int32_t length = jisToShiftJis(reinterpret_cast<unsigned char*>(text.data()), static_cast<int32_t>(text.size()));
    EXPECT_EQ(text.substr(0, static_cast<std::size_t>(length)), c.shiftJis) << testing::PrintToString(c.jis);
  }
}

TEST(UnicodeConversion, CharactersTheCodePageLacksBecomeGetaAndAreCounted) {
  if (!test::systemConvertsCodes()) GTEST_SKIP() << "the system has no converter between named codes here";
  const std::string geta = "\x81\xAC";
  EXPECT_EQ(encode(kJapanese), (Encoded{sjis(kJapanese), 0}));
  EXPECT_EQ(encode("caf\xC3\xA9"), (Encoded{join({"caf", geta}), 1}));        // é
  EXPECT_EQ(encode("\xF0\xA0\xAE\xB7!"), (Encoded{join({geta, "!"}), 1}));    // a character beyond the plane
  EXPECT_EQ(encode("a\xC2\xA0" "b"), (Encoded{"a b", 0}));                      // a no-break space
  EXPECT_EQ(encode("\xE3\x81" "x\x80"), (Encoded{"??x?", 3}));                  // bytes that are no UTF-8
  EXPECT_EQ(encode("\xE2\x80\x94\xEF\xBD\x9E"), (Encoded{"\x81\x5C\x81\x60", 0}));  // dash and wave dash
}

TEST(UnicodeConversion, TheLearntFormsWriteEveryCharacterAsTheConverterDoes) {
  if (!test::systemConvertsCodes()) GTEST_SKIP() << "the system has no converter between named codes here";
  std::string all;
  for (uint32_t point = 1; point <= 0xFFFF; ++point) {
    if (point >= 0xD800 && point <= 0xDFFF) continue;
    if (point < 0x80) {
      all += static_cast<char>(point);
    } else if (point < 0x800) {
      all += static_cast<char>(0xC0 | (point >> 6));
      all += static_cast<char>(0x80 | (point & 0x3F));
    } else {
      all += static_cast<char>(0xE0 | (point >> 12));
      all += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
      all += static_cast<char>(0x80 | (point & 0x3F));
    }
  }
  const Encoded bulk = encode(all, UnicodePath::Bulk);
  EXPECT_TRUE(bulk == encode(all, UnicodePath::ByCharacter));
  EXPECT_GT(bulk.replaced, 40000);  // the code page has some 7,900 characters of the plane
  std::mt19937 random(11);
  for (int round = 0; round < 200; ++round) {
    std::string noise(1 + random() % 64, '\0');
    for (char& byte : noise) byte = static_cast<char>(random() % 4 == 0 ? 0x20 + random() % 0x60 : 0x80 + random() % 0x80);
    EXPECT_TRUE(encode(noise, UnicodePath::Bulk) == encode(noise, UnicodePath::ByCharacter))
        << testing::PrintToString(noise);
    EXPECT_EQ(isValidUtf8(bytesOf(noise), static_cast<int64_t>(noise.size()), UnicodePath::Bulk),
              isValidUtf8(bytesOf(noise), static_cast<int64_t>(noise.size()), UnicodePath::ByCharacter));
  }
  EXPECT_TRUE(isValidUtf8(bytesOf(all), static_cast<int64_t>(all.size())));
  EXPECT_FALSE(isValidUtf8(bytesOf(sjis(kJapanese)), static_cast<int64_t>(sjis(kJapanese).size())));
}

// The code page read by our own table, held against the system's converter read the same
// way (a byte that begins no character is U+FFFD, then reading goes on after it): every single
// byte, every first byte with every second byte, and random bytes in random pieces, by runs
// and byte by byte.
TEST(UnicodeConversion, TheCodePagesTableReadsAsTheSystemsConverter) {
  void* const system = openCodeConverter("UTF-8", "CP932");
  if (system == nullptr) GTEST_SKIP() << "no converter to hold the table against";
  const auto bySystem = [system](const std::string& text) {
    std::string out;
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    while (inLeft > 0) {
      char buffer[64];
      char* to = buffer;
      std::size_t toLeft = sizeof buffer;
      const ConvertStop stop = convertCodes(system, &in, &inLeft, &to, &toLeft);
      out.append(buffer, static_cast<std::size_t>(to - buffer));
      if (stop == ConvertStop::Done || stop == ConvertStop::NoRoom) continue;
      out += "\xEF\xBF\xBD";
      ++in;
      --inLeft;
      resetCodeConverter(system);
    }
    return out;
  };
  const auto byTable = [](const std::string& text, std::size_t piece, UnicodePath path) {
    Utf8Decoder decoder{};
    EXPECT_EQ(openDecoder(&decoder, SourceCode::Cp932, "", false), 0);
    std::string out;
    std::string carried;
    for (std::size_t at = 0; at < text.size() || !carried.empty();) {
      const std::string chunk = carried + text.substr(at, piece);
      at += piece;
      const bool last = at >= text.size();
      std::vector<unsigned char> buffer(3 * chunk.size() + 16);
      int32_t used = 0;
      const int32_t written = decodeCp932(&decoder, reinterpret_cast<const unsigned char*>(chunk.data()),
                                          static_cast<int32_t>(chunk.size()), last, buffer.data(),
                                          static_cast<int32_t>(buffer.size()), &used, path);
      out.append(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(written));
      carried = chunk.substr(static_cast<std::size_t>(used));
      if (last) break;
    }
    closeDecoder(&decoder);
    return out;
  };
  std::vector<std::string> texts;
  for (int first = 0; first < 256; ++first) {
    std::string row(1, static_cast<char>(first));
    for (int second = 0; second < 256; ++second) {
      texts.push_back(row + static_cast<char>(second) + "a");
    }
  }
  std::mt19937 random(932);
  for (int n = 0; n < 300; ++n) {
    std::string text;
    for (int i = 0; i < 200; ++i) text += static_cast<char>(random() % 3 == 0 ? 'a' + random() % 26 : random() % 256);
    texts.push_back(text);
  }
  for (const std::string& text : texts) {
    const std::string want = bySystem(text);
    ASSERT_EQ(byTable(text, text.size(), UnicodePath::Bulk), want) << test::hexOf(text);
    ASSERT_EQ(byTable(text, text.size(), UnicodePath::ByCharacter), want) << test::hexOf(text);
    if (text.size() > 3) {
      ASSERT_EQ(byTable(text, 1 + random() % 7, UnicodePath::Bulk), want) << test::hexOf(text);
    }
  }
  closeCodeConverter(system);
}

}  // namespace
}  // namespace mq
