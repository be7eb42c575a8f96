#include "common/code_conversion.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace mq {
namespace {

const CodeKind kTargets[] = {CodeKind::Jis, CodeKind::Euc, CodeKind::Sjis};

using test::hex;

const unsigned char* bytesOf(const std::string& text) { return reinterpret_cast<const unsigned char*>(text.data()); }

// Every destination is exactly as large as conversionCapacity says, so that the sanitizer
// catches a conversion that writes past the room it promises.
std::string convert(const std::string& source, CodeKind target) {
  const int32_t length = static_cast<int32_t>(source.size());
  std::vector<unsigned char> out(static_cast<std::size_t>(conversionCapacity(length, target)));
  const int32_t written = ConvertCode(out.data(), bytesOf(source), length, target);
  EXPECT_LE(written, static_cast<int32_t>(out.size()));
  return std::string(out.begin(), out.begin() + written);
}

std::string convertInPieces(const std::string& source, CodeKind target, std::vector<std::size_t> cuts) {
  cuts.push_back(source.size());
  ConversionState state;
  startConversion(&state, target);
  std::string result;
  std::size_t from = 0;
  for (const std::size_t cut : cuts) {
    const int32_t length = static_cast<int32_t>(cut - from);
    std::vector<unsigned char> out(static_cast<std::size_t>(conversionCapacity(length, target)));
    const int32_t written = convertPiece(&state, out.data(), bytesOf(source) + from, length);
    result.append(out.begin(), out.begin() + written);
    from = cut;
  }
  std::vector<unsigned char> out(static_cast<std::size_t>(conversionCapacity(0, target)));
  result.append(out.begin(), out.begin() + finishConversion(&state, out.data()));
  return result;
}

// Random text, two bytes in three taken from those the conversion reacts to.
std::string mixedText(std::mt19937& random, std::size_t size) {
  const std::string interesting =
      hex("1B 24 28 40 42 48 4A 4B 0A 0D 20 46 7F 80 81 9F A0 A1 B1 DF E0 EF F0 FC FD FF 8E");
  std::string text;
  while (text.size() < size)
    text.push_back(random() % 3 == 0 ? static_cast<char>(random()) : interesting[random() % 27]);
  return text;
}

TEST(CodeConversion, ConvertsTheDocumentedByteExamples) {
  const struct {
    const char* source;
    CodeKind target;
    const char* expected;
  } cases[] = {
      {"93 FA 96 7B", CodeKind::Jis, "1B 24 42 46 7C 4B 5C 1B 28 42"},
      {"93 FA 96 7B", CodeKind::Euc, "C6 FC CB DC"},
      {"C6 FC CB DC", CodeKind::Sjis, "93 FA 96 7B"},
      {"1B 24 42 46 7C 1B 28 42", CodeKind::Sjis, "93 FA"},
      {"1B 24 40 46 7C 1B 28 48 41", CodeKind::Euc, "C6 FC 41"},
      // Line ends inside a two-byte run.
      {"8A BF 0A 8E 9A", CodeKind::Jis, "1B 24 42 34 41 1B 28 42 0A 1B 24 42 3B 7A 1B 28 42"},
      {"8A BF 0D 0A 8E 9A", CodeKind::Jis, "1B 24 42 34 41 1B 28 42 0D 0A 1B 24 42 3B 7A 1B 28 42"},
      {"8A BF 0A", CodeKind::Jis, "1B 24 42 34 41 1B 28 42 0A 1B 24 42 1B 28 42"},
      {"1B 24 42 46 7C 0A 46 7C", CodeKind::Sjis, "93 FA 0A 46 7C"},
      {"1B 24 42 46 7C 0A 46 7C", CodeKind::Jis, "1B 24 42 46 7C 1B 28 42 0A 1B 24 42 46 7C 1B 28 42"},
      // Designations and other escapes.
      {"1B 24 42 1B 24 42 46 7C 1B 28 4A 41", CodeKind::Jis, "1B 24 42 1B 24 42 46 7C 1B 28 42 41"},
      {"1B 4B 41", CodeKind::Sjis, "1B 4B 41"},
      {"93 FA 1B 4B 41", CodeKind::Jis, "1B 24 42 46 7C 1B 28 42 1B 4B 41"},
      {"1B 24 42 46 7C 1B 4B 46 7C", CodeKind::Jis, "1B 24 42 46 7C 1B 4B 46 7C 1B 28 42"},
      {"1B 24 41 41 42 43 44", CodeKind::Jis, "41 41 1B 24 42 43 44 1B 28 42"},
      {"1B 28 41 0D 4A 41", CodeKind::Sjis, "41 0D 41"},
      {"1B 1B 4B", CodeKind::Sjis, "1B 4B"},
      // Broken and unfinished characters.
      {"93 20", CodeKind::Sjis, "20"},
      {"41 C6", CodeKind::Jis, "41"},
      {"93 1B 4B", CodeKind::Sjis, "1B 4B"},
      {"1B 24 42 46", CodeKind::Jis, "1B 24 42 1B 28 42"},
      // Which code a first byte 0xE0-0xFC belongs to.
      {"E0 40", CodeKind::Sjis, "40"},
      {"88 9F E0 40", CodeKind::Sjis, "88 9F E0 40"},
      {"B0 A1 E0 A1", CodeKind::Sjis, "88 9F E0 9F"},
      {"88 9F E0 A1", CodeKind::Sjis, "88 9F E0 A1"},
      {"1B 24 42 30 21 1B 28 42 E0 40", CodeKind::Sjis, "88 9F 40"},
      // Half-width katakana have no class of their own.
      {"B1 B2", CodeKind::Sjis, "89 51"},
      {"B1 41", CodeKind::Sjis, "41"},
      {"8E B1", CodeKind::Euc, "BC B3"},
      // Shift-JIS first bytes 0xF0-0xFC: kept for Shift-JIS, rows past 0x7E elsewhere.
      {"88 9F F0 40", CodeKind::Sjis, "88 9F F0 40"},
      {"88 9F F0 40", CodeKind::Jis, "1B 24 42 30 21 7F 21 1B 28 42"},
      {"88 9F F0 40", CodeKind::Euc, "B0 A1 FF A1"},
      // Bytes outside every class pass through and end a two-byte run.
      {"00 93 FA 7F 80 A0 FF", CodeKind::Jis, "00 1B 24 42 46 7C 1B 28 42 7F 80 A0 FF"},
      {"", CodeKind::Jis, ""},
      {"1B 24 42", CodeKind::Jis, "1B 24 42 1B 28 42"},
      {"93 FA 41", static_cast<CodeKind>(7), "41"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(convert(hex(c.source), c.target), hex(c.expected)) << c.source << " to " << static_cast<int>(c.target);
  }
  unsigned char untouched[4] = {0x55, 0x55, 0x55, 0x55};
  EXPECT_EQ(ConvertCode(untouched, bytesOf("AB"), -1, CodeKind::Jis), 0);
  EXPECT_EQ(untouched[0], 0x55);
}

// Every row and cell, a row per line, in the form the conversion writes JIS.
std::string everyJisRowAndCell() {
  std::string text;
  for (int row = 0x21; row <= 0x7E; ++row) {
    text += row == 0x21 ? "\x1B$B" : "\x1B(B\n\x1B$B";
    for (int cell = 0x21; cell <= 0x7E; ++cell) {
      text.push_back(static_cast<char>(row));
      text.push_back(static_cast<char>(cell));
    }
  }
  return text + "\x1B(B";
}

TEST(CodeConversion, EveryRowAndCellRoundTripsBetweenTheThreeCodes) {
  const std::string jis = everyJisRowAndCell();
  std::string euc;
  for (std::size_t i = 3; i + 3 <= jis.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(jis[i]);
    if (byte == 0x1B)
      i += 2;  // the designations around each line end
    else
      euc.push_back(static_cast<char>(byte == '\n' ? byte : byte | 0x80));
  }
  const std::string sjis = convert(jis, CodeKind::Sjis);
  ASSERT_EQ(sjis.size(), euc.size());
  EXPECT_EQ(convert(jis, CodeKind::Euc), euc);
  EXPECT_EQ(convert(sjis, CodeKind::Euc), euc);
  EXPECT_EQ(convert(euc, CodeKind::Sjis), sjis);
  EXPECT_EQ(convert(euc, CodeKind::Jis), jis);
  EXPECT_EQ(convert(sjis, CodeKind::Jis), jis);
  EXPECT_EQ(convert(sjis, CodeKind::Sjis), sjis);
  EXPECT_EQ(convert(euc, CodeKind::Euc), euc);
  EXPECT_EQ(convert(jis, CodeKind::Jis), jis);
}

TEST(CodeConversion, AgreesWithIconvOnKanaAndKanji) {
  // EUC text of the kana and every assigned kanji row (first bytes 88-9F and E0-EA in
  // Shift-JIS), each row after an ASCII word.
  std::string euc = "<p>";
  for (int row = 0x24; row <= 0x74; ++row) {
    const int lastCell = row == 0x24 ? 0x73 : row == 0x25 ? 0x76 : row == 0x4F ? 0x53 : row == 0x74 ? 0x26 : 0x7E;
    if (row > 0x25 && row < 0x30) continue;
    euc += " r" + std::to_string(row) + " ";
    for (int cell = 0x21; cell <= lastCell; ++cell) {
      euc.push_back(static_cast<char>(row | 0x80));
      euc.push_back(static_cast<char>(cell | 0x80));
    }
  }
  euc += "</p>";

  const std::string sjis = test::convert(euc, "EUC-JP", "CP932");
  const std::string jis = test::convert(euc, "EUC-JP", "ISO-2022-JP");
  ASSERT_GT(sjis.size(), 13000u) << sjis;
  ASSERT_GT(jis.size(), 13000u) << jis;
  EXPECT_EQ(convert(euc, CodeKind::Sjis), sjis);
  EXPECT_EQ(convert(euc, CodeKind::Jis), jis);
  EXPECT_EQ(convert(sjis, CodeKind::Euc), euc);
  EXPECT_EQ(convert(sjis, CodeKind::Jis), jis);
  EXPECT_EQ(convert(jis, CodeKind::Sjis), sjis);
  EXPECT_EQ(convert(jis, CodeKind::Euc), euc);
}

TEST(CodeConversion, PiecesWithOneStateGiveTheWholeResult) {
  // Cuts fall inside Shift-JIS, EUC and JIS characters, inside ESC $ B, ESC ( J, ESC K and an
  // open designation, before a line feed in a two-byte run and before unfinished bytes.
  const std::string text =
      hex("41 93 FA 96 7B 20 C6 FC CB DC 1B 24 42 46 7C 0A 4B 5C 1B 28 4A 88 9F E0 A1 1B 4B 41 "
          "1B 24 41 41 42 43 44 0D B1 B2 8E B1 88 9F F0 40 1B 24 40 46 1B 28 42 93");
  for (const CodeKind target : kTargets) {
    const std::string whole = convert(text, target);
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
      ASSERT_EQ(convertInPieces(text, target, {cut}), whole) << "cut " << cut;
    }
    std::vector<std::size_t> everyByte;
    for (std::size_t cut = 1; cut < text.size(); ++cut) everyByte.push_back(cut);
    EXPECT_EQ(convertInPieces(text, target, everyByte), whole);
  }

  std::mt19937 random(20240611);
  for (int round = 0; round < 300; ++round) {
    const std::string mixed = mixedText(random, 1 + random() % 200);
    std::vector<std::size_t> cuts;
    for (std::size_t at = random() % 8; at < mixed.size(); at += 1 + random() % 9) cuts.push_back(at);
    const CodeKind target = kTargets[round % 3];
    const std::string whole = convert(mixed, target);
    ASSERT_EQ(convertInPieces(mixed, target, cuts), whole) << "round " << round;
    // A Shift-JIS or EUC result converted whole never outgrows its source.
    if (target != CodeKind::Jis) {
      ASSERT_LE(whole.size(), mixed.size()) << "round " << round;
    }
  }
}

TEST(CodeConversion, CapacityCoversTheLargestPiece) {
  // Line feeds inside an open two-byte run, and a second byte whose first came before.
  const std::string feeds(100, '\n');
  for (const CodeKind target : kTargets) {
    ConversionState state;
    startConversion(&state, target);
    std::vector<unsigned char> out(static_cast<std::size_t>(conversionCapacity(100, target)));
    ASSERT_EQ(convertPiece(&state, out.data(), bytesOf(hex("93 FA 93")), 3), target == CodeKind::Jis ? 5 : 2);
    int32_t written = convertPiece(&state, out.data(), bytesOf(hex("FA")), 1);
    EXPECT_EQ(written, 2);
    EXPECT_LE(written, conversionCapacity(1, target));
    written = convertPiece(&state, out.data(), bytesOf(feeds), 100);
    written += finishConversion(&state, out.data() + written);
    if (target == CodeKind::Jis) {
      EXPECT_EQ(written, conversionCapacity(100, target));
    } else {
      EXPECT_EQ(written, 100);
    }
  }
}

TEST(CodeConversion, FinishingLeavesAFreshState) {
  ConversionState state;
  startConversion(&state, CodeKind::Jis);
  unsigned char out[64] = {};
  int32_t written = convertPiece(&state, out, bytesOf(hex("88 9F 93")), 3);
  written += finishConversion(&state, out + written);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), static_cast<std::size_t>(written)),
            hex("1B 24 42 30 21 1B 28 42"));
  // The held 93 is dropped, the run is closed and EUC is preferred again, so neither 93 40
  // nor E0 40 makes a character.
  written = convertPiece(&state, out, bytesOf(hex("40 E0 40")), 3);
  written += finishConversion(&state, out + written);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), static_cast<std::size_t>(written)), hex("40 40"));
}

}  // namespace
}  // namespace mq

namespace mq {
namespace {

// Input loading converts a document where it stands: for Shift-JIS and EUC targets that
// must give the bytes of converting into a separate buffer.
TEST(CodeConversion, ConvertingInPlaceGivesTheSameBytes) {
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    std::string text = mixedText(random, 1 + random() % 300);
    if (round % 2 == 0) text.insert(0, "\x88\x9f");  // Shift-JIS preferred from the start
    if (round % 3 == 0) text.insert(text.size() / 2, "plain ASCII words, long enough for whole words");
    for (CodeKind target : {CodeKind::Sjis, CodeKind::Euc}) {
      std::string inPlace = text;
      const int32_t length = static_cast<int32_t>(text.size());
      auto* bytes = reinterpret_cast<unsigned char*>(inPlace.data());
      inPlace.resize(static_cast<std::size_t>(ConvertCode(bytes, bytes, length, target)));
      ASSERT_EQ(inPlace, convert(text, target)) << round;
    }
  }
}

}  // namespace
}  // namespace mq

namespace mq {
namespace {

// Text made of the stretches the runs take in bulk and of the bytes that stop them: ASCII
// words, Shift-JIS pairs (first bytes 0xE0 and above included), EUC pairs, JIS runs with and
// without their closing designation, line ends and single bytes of every class.
std::string stretchedText(std::mt19937& random, std::size_t size) {
  static const std::string stoppers = hex("1B 24 28 42 0A 0D 20 7F 80 A0 FF 81 9F E0 FC FD A1 8E");
  std::string text;
  while (text.size() < size) {
    switch (random() % 7) {
      case 0:
        for (std::size_t n = 1 + random() % 24; n > 0; --n) text.push_back(static_cast<char>(0x20 + random() % 0x5F));
        break;
      case 1:
      case 2:
        for (std::size_t n = 1 + random() % 16; n > 0; --n) {
          const auto first = static_cast<unsigned>(random() % 4 == 0 ? 0xE0 + random() % 0x1D : 0x81 + random() % 0x1F);
          auto second = static_cast<unsigned>(0x40 + random() % 0xBD);
          if (second == 0x7F) second = 0x80;
          text.push_back(static_cast<char>(first));
          text.push_back(static_cast<char>(second));
        }
        break;
      case 3:
        for (std::size_t n = 1 + random() % 8; n > 0; --n) {
          text.push_back(static_cast<char>(0xA1 + random() % 0x5E));
          text.push_back(static_cast<char>(0xA1 + random() % 0x5E));
        }
        break;
      case 4:
        text += "\x1B$B";
        for (std::size_t n = 1 + random() % 12; n > 0; --n) text.push_back(static_cast<char>(0x21 + random() % 0x5E));
        if (random() % 2 == 0) text += random() % 2 == 0 ? "\x1B(B" : "\x1B(J";
        break;
      case 5:
        text += random() % 2 == 0 ? "\r\n" : "\n";
        break;
      default:
        text.push_back(stoppers[random() % stoppers.size()]);
    }
  }
  return text;
}

// Converts the pieces with one state, each into a destination of exactly its capacity, and
// records the state after every piece.
struct PieceResult {
  std::string bytes;
  std::vector<ConversionState> states;
};
using PieceConverter = int32_t (*)(ConversionState*, unsigned char*, const unsigned char*, int32_t);

PieceResult convertWith(PieceConverter converter, const std::string& source, CodeKind target,
                        const std::vector<std::size_t>& cuts) {
  PieceResult result;
  ConversionState state;
  startConversion(&state, target);
  std::size_t from = 0;
  for (std::size_t i = 0; i <= cuts.size(); ++i) {
    const std::size_t to = i < cuts.size() ? cuts[i] : source.size();
    const auto length = static_cast<int32_t>(to - from);
    std::vector<unsigned char> out(static_cast<std::size_t>(conversionCapacity(length, target)));
    const int32_t written = converter(&state, out.data(), bytesOf(source) + from, length);
    result.bytes.append(out.begin(), out.begin() + written);
    result.states.push_back(state);
    from = to;
  }
  unsigned char last[3];
  result.bytes.append(last, last + finishConversion(&state, last));
  return result;
}

// The held byte counts only while a first byte is held.
bool sameState(const ConversionState& a, const ConversionState& b) {
  const bool holding = a.pending == PendingState::JisFirstHeld || a.pending == PendingState::SjisLeadHeld ||
                       a.pending == PendingState::EucLeadHeld;
  return a.target == b.target && a.pending == b.pending && a.inputKanji == b.inputKanji &&
         a.outputKanji == b.outputKanji && a.preferredDouble == b.preferredDouble &&
         (!holding || a.heldByte == b.heldByte);
}

// The runs that take plain bytes and Shift-JIS pairs in bulk must leave exactly the bytes and
// the state of the byte-wise state machine, whole and in pieces that cut through them.
TEST(CodeConversion, TheRunsGiveTheBytesAndStateOfTheByteWiseMachine) {
  std::mt19937 random(31337);
  for (int round = 0; round < 3000; ++round) {
    const std::string text =
        round % 4 == 0 ? mixedText(random, 1 + random() % 300) : stretchedText(random, 1 + random() % 600);
    const CodeKind target = round % 50 == 49 ? static_cast<CodeKind>(0) : kTargets[round % 3];
    std::vector<std::size_t> cuts;
    if (round % 3 != 0) {
      for (std::size_t at = random() % 40; at < text.size(); at += 1 + random() % 40) cuts.push_back(at);
    }
    const PieceResult fast = convertWith(convertPiece, text, target, cuts);
    const PieceResult plain = convertWith(convertPieceByteWise, text, target, cuts);
    ASSERT_EQ(fast.bytes, plain.bytes) << "round " << round;
    for (std::size_t i = 0; i < fast.states.size(); ++i) {
      ASSERT_TRUE(sameState(fast.states[i], plain.states[i])) << "round " << round << " piece " << i;
    }
  }
}

}  // namespace
}  // namespace mq
