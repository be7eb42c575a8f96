#include "common/text_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "tests/test_support.h"

namespace mq {
namespace {

std::string trimmed(const std::string& source) {
  char out[64] = {};
  const int n = copyTrimmed(out, source.data(), static_cast<int>(source.size()));
  return std::string(out, static_cast<std::size_t>(n));
}

TEST(TextHelpers, CopyTrimmedDropsOnlyOuterBlanks) {
  EXPECT_EQ(trimmed("\tx y\r"), "x y");
  EXPECT_EQ(trimmed("   "), "");
  EXPECT_EQ(trimmed(""), "");
  EXPECT_EQ(trimmed("\v x \f"), "\v x \f");  // VT and FF are no blanks
  EXPECT_EQ(trimmed("\n\r a\tb \n"), "a\tb");
  char untouched[4] = {'q', 'q', 'q', 'q'};
  EXPECT_EQ(copyTrimmed(untouched, "   ", 3), 0);
  EXPECT_EQ(std::string(untouched, 4), "qqqq");
  EXPECT_EQ(copyTrimmed(untouched, "abc", -1), 0);
}

TEST(TextHelpers, CopyWithoutBlanksAndUpperCase) {
  char out[16] = {};
  EXPECT_EQ(copyWithoutBlanks(out, "a b\tc\r\n", 7), 3);
  EXPECT_EQ(std::string(out), "abc");

  std::string text = "abc-xyz 019+\x82\x61\x80\xFF";
  toUpperAscii(text.data(), text.data(), static_cast<int>(text.size()));
  // The trail byte 0x61 of a two-byte character is changed too: bytes, not characters.
  EXPECT_EQ(text, "ABC-XYZ 019+\x82\x41\x80\xFF");
}

// The word-at-a-time twins of a byte loop: short copies and capitals in a name's room.
TEST(TextHelpers, ShortCopiesAndCapitalsInRoomAgreeWithByteLoops) {
  std::mt19937 random(11);
  for (int round = 0; round < 2000; ++round) {
    const auto length = static_cast<std::size_t>(round % 17);
    std::string source(length, 'x');
    for (char& byte : source) byte = static_cast<char>(random());
    std::string copied(24, '#');
    copyShort(copied.data(), source.data(), length);
    ASSERT_EQ(copied, source + std::string(24 - length, '#')) << "length " << length;

    // A name of any bytes, zero bytes after it as in the name buffer.
    std::string name(static_cast<std::size_t>(random() % 40), 'x');
    for (char& byte : name) byte = static_cast<char>(random() % 2 == 0 ? 'Z' + random() % 40 : random());
    std::string expected = name;
    toUpperAscii(expected.data(), expected.data(), static_cast<int>(expected.size()));
    std::string inRoom = name + std::string(8, '\0');
    toUpperAsciiInRoom(reinterpret_cast<unsigned char*>(inRoom.data()), static_cast<int32_t>(name.size()));
    ASSERT_EQ(inRoom, expected + std::string(8, '\0')) << testing::PrintToString(name);
  }
}

TEST(TextHelpers, BlanksAreLeftOutEightBytesAtATimeAsByteByByte) {
  std::mt19937 random(9);
  const char picks[] = {'a', ' ', '\t', '\r', '\n', '!', '\x1f', '\x21', '\0', '\x81', '<', '%'};
  for (int round = 0; round < 3000; ++round) {
    std::string text(random() % 40, 'x');
    for (char& byte : text) byte = random() % 3 == 0 ? picks[random() % sizeof picks] : static_cast<char>('A' + random() % 26);
    std::string expected;
    for (const char byte : text) {
      if (!isBlank(static_cast<unsigned char>(byte))) expected += byte;
    }
    std::string out(text.size(), '?');
    const int count = copyWithoutBlanks(out.data(), text.data(), static_cast<int>(text.size()));
    ASSERT_EQ(out.substr(0, static_cast<std::size_t>(count)), expected) << "round " << round;
  }
}

TEST(TextHelpers, TextsComparedAWordAtATimeAgreeWithMemcmpWhateverTheirRoomHolds) {
  std::mt19937 random(7);
  for (int length = 0; length <= 24; ++length) {
    for (int differs = -1; differs < length; ++differs) {
      std::string a(static_cast<std::size_t>(length) + 8, 'q');
      for (char& byte : a) byte = static_cast<char>(random());
      std::string b = a;
      // Different room after the texts.
      for (int i = length; i < length + 8; ++i) b[static_cast<std::size_t>(i)] = static_cast<char>(a[static_cast<std::size_t>(i)] ^ 1);
      if (differs >= 0) b[static_cast<std::size_t>(differs)] = static_cast<char>(b[static_cast<std::size_t>(differs)] ^ 0x40);
      const auto* bytesA = reinterpret_cast<const unsigned char*>(a.data());
      const auto* bytesB = reinterpret_cast<const unsigned char*>(b.data());
      ASSERT_EQ(sameBytesInRoom(bytesA, bytesB, length), differs < 0) << "length " << length << " differs at " << differs;
    }
  }
}

TEST(TextHelpers, CountRowsColsGivesThePositionAfterTheRange) {
  const struct {
    std::string text;
    long rows, columns;
  } cases[] = {
      {"", 1, 1},
      {"\t", 1, 5},
      {"x\r\ny", 2, 2},
      {"\r\r", 3, 1},
      {"\n\r\n", 3, 1},
      {"\x93\xFA", 1, 3},
      {"0123456789\r\n0123456789\r\n", 3, 1},
  };
  for (const auto& c : cases) {
    long rows = 0, columns = 0;
    countRowsCols(&rows, &columns, c.text.data(), static_cast<long>(c.text.size()));
    EXPECT_EQ(rows, c.rows) << c.text;
    EXPECT_EQ(columns, c.columns) << c.text;
  }
}

// Counted a byte at a time, as the rule reads: the fast count and the count in pieces must
// agree with it on texts of every mix of line breaks, TABs and other bytes.
TEST(TextHelpers, RowsAndColumnsCountedFastAndInPiecesAgreeWithAPlainCount) {
  // 0x08 and 0x0C lie one below TAB and LF: a word-wide test must not count them.
  const char bytes[] = {'a', '\t', '\n', '\r', '\x93', '\xFA', ' ', '\x0D', '\x0E', '\x8D', '\0', '\x08', '\x0C'};
  std::mt19937 random(3);
  for (int round = 0; round < 400; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 90);
    // Long runs of one byte as well as mixtures.
    const bool runs = round % 2 == 0;
    const auto same = static_cast<std::size_t>(round) % sizeof bytes;
    for (int i = 0; i < length; ++i) text += bytes[runs && random() % 7 != 0 ? same : random() % sizeof bytes];
    long plainRows = 1, plainColumns = 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\t') {
        plainColumns += 4;
      } else if (text[i] == '\n' || text[i] == '\r') {
        ++plainRows;
        plainColumns = 1;
        if (i + 1 < text.size() && text[i + 1] == (text[i] == '\n' ? '\r' : '\n')) ++i;
      } else {
        ++plainColumns;
      }
    }
    long rows = 0, columns = 0;
    countRowsCols(&rows, &columns, text.data(), static_cast<long>(text.size()));
    EXPECT_EQ(rows, plainRows) << round;
    EXPECT_EQ(columns, plainColumns) << round;
    RowsCols pieces;
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t piece = std::min<std::size_t>(text.size() - at, random() % 11);
      countRowsColsOn(&pieces, text.data() + at, static_cast<long>(piece));
      at += piece;
    }
    EXPECT_EQ(pieces.rows, plainRows) << round;
    EXPECT_EQ(pieces.columns, plainColumns) << round;
  }
}

TEST(TextHelpers, CheckNumberByType) {
  const struct {
    const char* text;
    int type;
    int expected;
  } cases[] = {
      {"0123", 1, 0}, {"-1", 1, 2},  {"1.5", 1, 2}, {"", 1, 0},    {"-12", 2, 0},   {"+7", 2, 0},
      {"1.5", 2, 2},  {"-", 2, 0},   {"1.5", 3, 0}, {".5", 3, 0},  {"1.2.3", 3, 2}, {"-1", 3, 2},
      {"-1.5", 4, 0}, {"+-1", 4, 2}, {"1 ", 1, 2},  {"1.5", 9, 0}, {"-1", 9, 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(checkNumber(c.text, static_cast<int>(std::string(c.text).size()), static_cast<NumberType>(c.type)),
              c.expected)
        << c.text << " type " << c.type;
  }
}

}  // namespace
}  // namespace mq
