#include "common/known_code_conversion.h"
#include "common/sjis_blocks.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/platform.h"
#include "tests/test_support.h"

namespace mq {
namespace {

const CodeKind kCodes[] = {CodeKind::Jis, CodeKind::Euc, CodeKind::Sjis};

using test::hex;

std::string showHex(const std::string& bytes) {
  std::string shown;
  char part[4];
  for (const char byte : bytes) {
    std::snprintf(part, sizeof part, "%02X ", static_cast<unsigned char>(byte));
    shown += part;
  }
  if (!shown.empty()) shown.pop_back();
  return shown;
}

const unsigned char* bytesOf(const std::string& text) { return reinterpret_cast<const unsigned char*>(text.data()); }

struct Converted {
  std::string bytes;
  int64_t replaced = 0;
  bool operator==(const Converted&) const = default;
};

// Each destination is exactly as large as knownConversionCapacity says, so that the
// sanitizer catches a conversion that writes past the room it promises. Cuts: where the
// pieces end.
Converted convert(const std::string& source, CodeKind from, CodeKind to, std::vector<std::size_t> cuts = {},
                  KnownPath path = KnownPath::Bulk) {
  cuts.push_back(source.size());
  KnownConversionState state;
  startKnownConversion(&state, from, to);
  Converted result;
  std::size_t start = 0;
  for (std::size_t cut : cuts) {
    const int32_t length = static_cast<int32_t>(cut - start);
    std::vector<unsigned char> out(static_cast<std::size_t>(knownConversionCapacity(length, to)));
    const int32_t written = convertKnownPiece(&state, out.data(), bytesOf(source) + start, length, path);
    EXPECT_LE(written, static_cast<int32_t>(out.size()));
    result.bytes.append(out.begin(), out.begin() + written);
    start = cut;
  }
  std::vector<unsigned char> out(static_cast<std::size_t>(knownConversionCapacity(0, to)));
  result.bytes.append(out.begin(), out.begin() + finishKnownConversion(&state, out.data()));
  result.replaced = state.replaced;
  return result;
}

// A JIS text with a run that holds nothing: a designation followed at once by another one or,
// unless it is the one back to ASCII, by the end of the text.
bool hasEmptyRun(const std::string& jis) {
  auto designationAt = [&](std::size_t at) {
    return at + 2 < jis.size() && jis[at] == '\x1B' &&
           ((jis[at + 1] == '$' && (jis[at + 2] == 'B' || jis[at + 2] == '@')) ||
            (jis[at + 1] == '(' && (jis[at + 2] == 'B' || jis[at + 2] == 'J' || jis[at + 2] == 'I')));
  };
  for (std::size_t at = 0; at < jis.size(); ++at) {
    if (!designationAt(at)) continue;
    if (at == 0 && jis[1] == '(' && jis[2] != 'I') return true;  // ASCII is where a text starts
    if (designationAt(at + 3)) return true;
    if (at + 3 == jis.size() && !(jis[at + 1] == '(' && jis[at + 2] != 'I')) return true;
  }
  return false;
}

// The system's converter between two codes, for holding the conversions against it.
class SystemConverter {
 public:
  SystemConverter(const char* to, const char* from) : handle_(openCodeConverter(to, from)) {}
  ~SystemConverter() { closeCodeConverter(handle_); }
  SystemConverter(const SystemConverter&) = delete;
  SystemConverter& operator=(const SystemConverter&) = delete;
  bool available() const { return handle_ != nullptr; }

  // The whole text converted, with the shift back at its end; nothing where it refuses any.
  std::optional<std::string> operator()(const std::string& text) const {
    resetCodeConverter(handle_);
    std::string out(text.size() * 8 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* to = out.data();
    std::size_t outLeft = out.size();
    if (convertCodes(handle_, &in, &inLeft, &to, &outLeft) != ConvertStop::Done) return std::nullopt;
    char* flush = nullptr;
    std::size_t none = 0;
    if (convertCodes(handle_, &flush, &none, &to, &outLeft) != ConvertStop::Done) return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
  }

 private:
  void* handle_;
};

#define REQUIRE_CONVERTERS(...)                                                                       \
  for (const SystemConverter* converter : {__VA_ARGS__})                                              \
    if (!converter->available()) GTEST_SKIP() << "the system has no converter for these codes here";

// Every character of the code page as the system reads it (single bytes included), each with
// the code it comes back as from UTF-8: itself, or the preferred code of one held twice.
struct CodePageCharacter {
  std::string code;
  std::string preferred;
};

std::vector<CodePageCharacter> codePageCharacters(const SystemConverter& toUtf8, const SystemConverter& fromUtf8) {
  std::vector<std::string> candidates;
  for (int first = 0; first < 0x100; ++first) {
    candidates.emplace_back(1, static_cast<char>(first));
    if ((first < 0x81 || first > 0x9F) && (first < 0xE0 || first > 0xFC)) continue;
    for (int second = 0x40; second <= 0xFC; ++second) {
      if (second != 0x7F) candidates.push_back(std::string{static_cast<char>(first), static_cast<char>(second)});
    }
  }
  std::vector<CodePageCharacter> characters;
  for (const std::string& candidate : candidates) {
    const std::optional<std::string> utf8 = toUtf8(candidate);
    if (!utf8) continue;
    const std::optional<std::string> back = fromUtf8(*utf8);
    if (back) characters.push_back({candidate, *back});
  }
  return characters;
}

bool inUserArea(const std::string& code) {
  return code.size() == 2 && static_cast<unsigned char>(code[0]) >= 0xF0 && static_cast<unsigned char>(code[0]) <= 0xF9;
}

// Long texts compared: where they first differ, rather than both whole.
std::string firstDifference(const std::string& actual, const std::optional<std::string>& expected) {
  if (!expected) return "the system refused the text";
  std::size_t at = 0;
  while (at < actual.size() && at < expected->size() && actual[at] == (*expected)[at]) ++at;
  if (at == actual.size() && at == expected->size()) return "";
  const std::size_t from = at < 8 ? 0 : at - 8;
  return "at byte " + std::to_string(at) + ": " + showHex(actual.substr(from, 24)) + " instead of " +
         showHex(expected->substr(from, 24));
}

// Mismatches are gathered and the first few shown, so that a wrong table row reads as one.
class Mismatches {
 public:
  void add(const std::string& what) {
    if (++count_ <= 12) shown_ += what + "\n";
  }
  ~Mismatches() { EXPECT_EQ(count_, 0) << shown_; }

 private:
  int count_ = 0;
  std::string shown_;
};

TEST(KnownCodeConversion, EveryCodePageCharacterComesBackFromEucAsIconvMapsIt) {
  const SystemConverter toUtf8("UTF-8", "CP932"), fromUtf8("CP932", "UTF-8"), toEuc("EUC-JP-MS", "CP932"),
      fromEuc("CP932", "EUC-JP-MS");
  REQUIRE_CONVERTERS(&toUtf8, &fromUtf8, &toEuc, &fromEuc);
  const std::vector<CodePageCharacter> characters = codePageCharacters(toUtf8, fromUtf8);
  Mismatches mismatches;
  int duplicates = 0;
  std::string whole;
  for (const CodePageCharacter& character : characters) {
    whole += character.code;
    const Converted euc = convert(character.code, CodeKind::Sjis, CodeKind::Euc);
    const Converted back = convert(euc.bytes, CodeKind::Euc, CodeKind::Sjis);
    if (character.preferred != character.code) ++duplicates;
    if (euc.bytes != toEuc(character.code) || back.bytes != character.preferred || back.bytes != fromEuc(euc.bytes) ||
        euc.replaced != 0 || back.replaced != 0) {
      mismatches.add(showHex(character.code) + " -> " + showHex(euc.bytes) + " -> " + showHex(back.bytes));
    }
  }
  EXPECT_EQ(duplicates, 398);
  // The same as one text, where the runs of ASCII are copied in bulk.
  EXPECT_EQ(firstDifference(convert(whole, CodeKind::Sjis, CodeKind::Euc).bytes, toEuc(whole)), "");
}

TEST(KnownCodeConversion, EveryEucCodeReadsAsIconvReadsItOrAsACountedGeta) {
  const SystemConverter fromEuc("CP932", "EUC-JP-MS");
  REQUIRE_CONVERTERS(&fromEuc);
  std::vector<std::string> codes;
  for (int first = 0xA1; first <= 0xFE; ++first) {
    codes.push_back(std::string{'\x8E', static_cast<char>(first)});
    for (int second = 0xA1; second <= 0xFE; ++second) {
      codes.push_back(std::string{static_cast<char>(first), static_cast<char>(second)});
      codes.push_back(std::string{'\x8F', static_cast<char>(first), static_cast<char>(second)});
    }
  }
  Mismatches mismatches;
  for (const std::string& code : codes) {
    const std::optional<std::string> expected = fromEuc(code);
    const Converted sjis = convert(code, CodeKind::Euc, CodeKind::Sjis);
    std::string getas;
    for (int64_t count = 0; count < sjis.replaced; ++count) getas += hex("81 AC");
    const bool right = expected ? sjis == Converted{*expected, 0} : sjis.replaced > 0 && sjis.bytes == getas;
    if (!right) mismatches.add(showHex(code) + " -> " + showHex(sjis.bytes));
  }
}

TEST(KnownCodeConversion, EveryCodePageCharacterButTheUserAreaComesBackFromJis) {
  const SystemConverter toUtf8("UTF-8", "CP932"), fromUtf8("CP932", "UTF-8"), toJis("ISO-2022-JP", "CP932");
  REQUIRE_CONVERTERS(&toUtf8, &fromUtf8, &toJis);
  Mismatches mismatches;
  int heldByIconv = 0;
  for (const CodePageCharacter& character : codePageCharacters(toUtf8, fromUtf8)) {
    const Converted jis = convert(character.code, CodeKind::Sjis, CodeKind::Jis);
    if (inUserArea(character.code)) {
      if (jis != Converted{hex("1B 24 42 22 2E 1B 28 42"), 1}) mismatches.add("user area " + showHex(character.code));
      continue;
    }
    const Converted back = convert(jis.bytes, CodeKind::Jis, CodeKind::Sjis);
    // JIS and EUC agree both ways.
    const Converted euc = convert(character.code, CodeKind::Sjis, CodeKind::Euc);
    const std::optional<std::string> expected = toJis(character.code);
    heldByIconv += expected ? 1 : 0;
    if (back != Converted{character.preferred, 0} || jis.replaced != 0 || (expected && jis.bytes != *expected) ||
        convert(jis.bytes, CodeKind::Jis, CodeKind::Euc) != euc || convert(euc.bytes, CodeKind::Euc, CodeKind::Jis) != jis) {
      mismatches.add(showHex(character.code) + " -> " + showHex(jis.bytes) + " -> " + showHex(back.bytes));
    }
  }
  EXPECT_GT(heldByIconv, 6800);  // JIS X 0208 and ASCII were compared
}

TEST(KnownCodeConversion, JisX0208AndAsciiTextIsWhatIconvWritesAndReads) {
  const SystemConverter toUtf8("UTF-8", "CP932"), fromUtf8("CP932", "UTF-8"), toJis("ISO-2022-JP", "CP932"),
      fromJis("CP932", "ISO-2022-JP");
  REQUIRE_CONVERTERS(&toUtf8, &fromUtf8, &toJis, &fromJis);
  // Runs of characters that ISO-2022-JP holds, broken by ASCII, line ends and controls.
  const char* const breaks[] = {"a", "\n", "\r\n", " ", "xyz\n", "\t"};
  std::string text;
  int index = 0;
  for (const CodePageCharacter& character : codePageCharacters(toUtf8, fromUtf8)) {
    if (character.code.size() != 2 || character.preferred != character.code || !toJis(character.code)) continue;
    text += character.code;
    if (++index % 7 == 0) text += breaks[index / 7 % 6];
  }
  text += "\n";
  const Converted jis = convert(text, CodeKind::Sjis, CodeKind::Jis);
  EXPECT_EQ(firstDifference(jis.bytes, toJis(text)), "");
  EXPECT_EQ(jis.replaced, 0);
  EXPECT_EQ(firstDifference(text, fromJis(jis.bytes)), "");
  EXPECT_EQ(firstDifference(convert(jis.bytes, CodeKind::Jis, CodeKind::Sjis).bytes, text), "");
}

TEST(KnownCodeConversion, HandPickedTextsConvertAsTheCodesSay) {
  const struct {
    const char* source;
    CodeKind from;
    CodeKind to;
    const char* expected;
    int64_t replaced;
  } cases[] = {
      // A JIS run is opened by what is written in it and closed once; no escape pair is empty.
      {"41 0A", CodeKind::Sjis, CodeKind::Jis, "41 0A", 0},
      {"88 9F 0A", CodeKind::Sjis, CodeKind::Jis, "1B 24 42 30 21 1B 28 42 0A", 0},
      {"88 9F 0A 88 9F", CodeKind::Sjis, CodeKind::Jis, "1B 24 42 30 21 1B 28 42 0A 1B 24 42 30 21 1B 28 42", 0},
      {"B1 88 9F 41", CodeKind::Sjis, CodeKind::Jis, "1B 28 49 31 1B 24 42 30 21 1B 28 42 41", 0},
      {"8E B1 8E DF", CodeKind::Euc, CodeKind::Jis, "1B 28 49 31 5F 1B 28 42", 0},
      {"88 9F 1B", CodeKind::Sjis, CodeKind::Jis, "1B 24 42 30 21 1B 28 42 1B", 0},
      // The code page's own JIS form, and the user-defined area that JIS cannot hold.
      {"FA 5C ED 40 FA 4A 87 54 EE F9", CodeKind::Sjis, CodeKind::Jis, "1B 24 42 79 21 79 21 2D 35 2D 35 22 4C 1B 28 42",
       0},
      {"1B 24 42 79 21 7C 7B 2D 35 1B 28 42", CodeKind::Jis, CodeKind::Sjis, "FA 5C 81 CA 87 54", 0},
      {"F0 40 41", CodeKind::Sjis, CodeKind::Jis, "1B 24 42 22 2E 1B 28 42 41", 1},
      {"1B 24 42 75 21 7E 7E 1B 28 42", CodeKind::Jis, CodeKind::Sjis, "81 AC 81 AC", 2},
      // The user-defined area and the supplementary EUC codes.
      {"F0 40 F4 FC F5 40 F9 FC", CodeKind::Sjis, CodeKind::Euc, "F5 A1 FE FE 8F F5 A1 8F FE FE", 0},
      {"F5 A1 8F FE FE", CodeKind::Euc, CodeKind::Sjis, "F0 40 F9 FC", 0},
      {"8F A2 B7 8F F3 FD 8F A1 A1", CodeKind::Euc, CodeKind::Sjis, "81 60 87 54 81 AC", 1},
      {"8F F3 F3", CodeKind::Euc, CodeKind::Jis, "1B 24 42 7C 71 1B 28 42", 0},
      // Bytes that are not a character of the source code: one 〓 each, a cut sequence too.
      {"81 20 85 40 80", CodeKind::Sjis, CodeKind::Euc, "A2 AE 20 A2 AE A2 AE", 3},
      {"8F A1 41 8E E0 41 A1", CodeKind::Euc, CodeKind::Sjis, "81 AC 41 81 AC 81 AC 41 81 AC", 4},
      {"41 88", CodeKind::Sjis, CodeKind::Euc, "41 A2 AE", 1},
      {"8F A2", CodeKind::Euc, CodeKind::Jis, "1B 24 42 22 2E 1B 28 42", 1},
      {"1B 24 42 30", CodeKind::Jis, CodeKind::Sjis, "81 AC", 1},
      {"1B 28 49 31 60 80", CodeKind::Jis, CodeKind::Sjis, "B1 81 AC 81 AC", 2},
      // JIS read as ISO-2022-JP reads it: a run goes on after a line end, ESC $ @ and ESC ( J.
      {"1B 24 42 30 21 0A 30 21 1B 28 42", CodeKind::Jis, CodeKind::Sjis, "88 9F 0A 88 9F", 0},
      {"1B 24 40 30 21 1B 28 4A 5C 7E", CodeKind::Jis, CodeKind::Euc, "B0 A1 5C 7E", 0},
      // An ESC that designates nothing is the control, at the end of the text too.
      {"1B 41 1B 24 41 1B", CodeKind::Jis, CodeKind::Sjis, "1B 41 1B 24 41 1B", 0},
      {"1B 24 42 30 21 1B 24", CodeKind::Jis, CodeKind::Euc, "B0 A1 1B A2 AE", 1},
      // The same code on both sides: the bytes as they are.
      {"85 40 FF 1B 24", CodeKind::Sjis, CodeKind::Sjis, "85 40 FF 1B 24", 0},
      {"1B 24 42", CodeKind::Jis, CodeKind::Jis, "1B 24 42", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    const Converted result = convert(hex(c.source), c.from, c.to);
    EXPECT_EQ(showHex(result.bytes), showHex(hex(c.expected)));
    EXPECT_EQ(result.replaced, c.replaced);
    if (c.to == CodeKind::Jis && c.from != CodeKind::Jis) {
      EXPECT_FALSE(hasEmptyRun(result.bytes));
    }
  }
}

// Random text: valid characters of all three codes, designations, line ends and any bytes.
std::string randomText(std::mt19937& random, std::size_t size) {
  static const std::vector<std::string> pieces = {
      "Plain ASCII text. ", "\n", "\r\n", "\x1B$B", "\x1B(B", "\x1B(I", "\x1B(J", "\x1B$@", "\x1B", "\x1B$", "\x1B(",
      "\x88\x9F", "\x87\x90", "\xED\x40", "\xFA\x5C", "\xFA\x4A", "\xF0\x40", "\xF9\xFC", "\xB1", "\x85\x40",
      "\xB0\xA1", "\xAD\xB5", "\x8E\xB1", "\x8F\xF3\xF3", "\x8F\xA2\xB7", "\xF5\xA1", "\x8F\xFE\xFE", "\x30\x21",
      "\x79\x21", "\x2D\x35", "\x75\x21", "\x81", "\x8F", "\x8E", "\xA1", "\xFF", "\x80"};
  std::string text;
  while (text.size() < size) {
    if (random() % 4 == 0) {
      text.push_back(static_cast<char>(random()));
    } else {
      text += pieces[random() % pieces.size()];
    }
  }
  return text;
}

TEST(KnownCodeConversion, PiecesOfAnySizesGiveTheBytesOfTheWholeText) {
  std::mt19937 random(20240611);
  for (const CodeKind from : kCodes) {
    for (const CodeKind to : kCodes) {
      for (int round = 0; round < 60; ++round) {
        const std::string text = randomText(random, 1 + random() % 400);
        const Converted whole = convert(text, from, to);
        std::vector<std::size_t> cuts;
        const std::size_t longest = 1 + random() % 64;
        for (std::size_t at = 1 + random() % longest; at < text.size(); at += 1 + random() % longest) cuts.push_back(at);
        SCOPED_TRACE(showHex(text));
        EXPECT_EQ(convert(text, from, to, cuts), whole);
        EXPECT_EQ(convert(text, from, to, {}, KnownPath::ByCharacter), whole);
        if (to == CodeKind::Jis && from != CodeKind::Jis) {
          // An ESC of the source is written as it is and may look like a designation.
          std::string withoutEsc = text;
          std::erase(withoutEsc, '\x1B');
          EXPECT_FALSE(hasEmptyRun(convert(withoutEsc, from, to).bytes));
        }
        if (from == to) {
          EXPECT_EQ(whole, (Converted{text, 0}));
        }
      }
    }
  }
}

TEST(KnownCodeConversion, OneByteAtATimeStaysWithinTheCapacity) {
  // The costliest bytes: each becomes a designation and a 〓, or a designation and itself.
  const std::string text = hex("80 41 80 41 A1 41 88 9F 0A 88");
  for (const CodeKind from : kCodes) {
    for (const CodeKind to : kCodes) {
      std::vector<std::size_t> everyByte;
      for (std::size_t at = 1; at < text.size(); ++at) everyByte.push_back(at);
      EXPECT_EQ(convert(text, from, to, everyByte), convert(text, from, to));
    }
  }
}

TEST(KnownCodeConversion, TheValidityChecksTakeTheCodesStructure) {
  const struct {
    const char* text;
    bool euc;
    bool cp932;
  } cases[] = {
      {"", true, true},
      {"41 42 0A 7F 00", true, true},
      {"B0 A1 8E B1 8F A2 B7 F5 A1 FE FE", true, false},
      {"88 9F 81 40 FC FC B1 DF A1", false, true},
      {"8E E0", false, true},  // EUC half-width katakana end at DF
      {"8F A1", false, true},   // cut
      {"A1", false, true},
      {"88", false, false},
      {"81 7F", false, false},
      {"80", false, false},
      {"A0", false, false},
      {"FD A1", true, false},
      {"FF", false, false},
      {"41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 88 9F", false, true},
      {"41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 B0", false, true},
      {"41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 FF 41 41 41 41 41 41 41 41", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string text = hex(c.text);
    for (const KnownPath path : {KnownPath::Bulk, KnownPath::ByCharacter}) {
      EXPECT_EQ(isValidEucJp(bytesOf(text), static_cast<int64_t>(text.size()), path), c.euc);
      EXPECT_EQ(isValidCp932(bytesOf(text), static_cast<int64_t>(text.size()), path), c.cp932);
    }
  }
  // The word-at-a-time skip of ASCII against the byte-by-byte reading, over random texts
  // mostly of ASCII with a few bytes of either code at any place.
  std::mt19937 random(7);
  const std::string rare = hex("8E 8F A1 B0 DF E0 F5 FE FF 80 A0 88 9F 40 7F FC");
  int valid[2] = {0, 0};
  for (int round = 0; round < 20000; ++round) {
    std::string text(random() % 40, 'a');
    for (int rareBytes = static_cast<int>(random() % 4); rareBytes > 0 && !text.empty(); --rareBytes)
      text[random() % text.size()] = rare[random() % rare.size()];
    const int64_t length = static_cast<int64_t>(text.size());
    const bool euc = isValidEucJp(bytesOf(text), length, KnownPath::ByCharacter);
    const bool cp932 = isValidCp932(bytesOf(text), length, KnownPath::ByCharacter);
    ASSERT_EQ(isValidEucJp(bytesOf(text), length), euc) << showHex(text);
    ASSERT_EQ(isValidCp932(bytesOf(text), length), cp932) << showHex(text);
    valid[0] += euc ? 1 : 0;
    valid[1] += cp932 ? 1 : 0;
  }
  EXPECT_GT(valid[0], 1000);
  EXPECT_GT(valid[1], 1000);
}

// The 64-byte blocks against the byte-by-byte reading: the classes of every byte value at every
// place of a block, and long texts of Shift-JIS characters, ASCII runs and katakana with a
// bad byte now and then, cut at any length, so that first bytes fall on every place of a
// block and at its end.
TEST(KnownValidity, Cp932InBlocksReadsAsByteByByte) {
  unsigned char block[64];
  for (int start = 0; start < 256; start += 64) {
    for (int shift = 0; shift < 64; ++shift) {
      for (int i = 0; i < 64; ++i) block[i] = static_cast<unsigned char>(start + (i + shift) % 64);
      const ByteClasses fast = byteClassesOf(block);
      const ByteClasses plain = byteClassesByByte(block);
      ASSERT_EQ(fast.single, plain.single) << start << " " << shift;
      ASSERT_EQ(fast.lead, plain.lead) << start << " " << shift;
      ASSERT_EQ(fast.trail, plain.trail) << start << " " << shift;
    }
  }
  std::mt19937 random(11);
  const std::string pieces[] = {hex("88 9F"), hex("81 40"), hex("E0 FC"), hex("9F 7E"), hex("FC 80"),      hex("B1"),
                                "<p>",        "text",       "a",          hex("81 81"), hex("E0 E0 E0 E0")};
  const std::string bad = hex("80 A0 FD FF 7F 00 20");
  int valid = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const std::size_t size = random() % 300;
    while (text.size() < size) text += pieces[random() % std::size(pieces)];
    if (random() % 3 == 0 && !text.empty()) text[random() % text.size()] = bad[random() % bad.size()];
    text.resize(random() % (text.size() + 1));
    const int64_t length = static_cast<int64_t>(text.size());
    const bool plain = isValidCp932(bytesOf(text), length, KnownPath::ByCharacter);
    // A first byte just past the end would spoil a block read too far.
    const std::string poisoned = text + hex("81");
    ASSERT_EQ(isValidCp932InBlocks(bytesOf(poisoned), length), plain) << showHex(text);
    valid += plain ? 1 : 0;
  }
  EXPECT_GT(valid, 5000);
  EXPECT_LT(valid, 15000);
}

}  // namespace
}  // namespace mq
