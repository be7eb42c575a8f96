#include "bench/text_generator.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/test_support.h"

namespace mq::bench {
namespace {

int appendTo(void* context, const char* bytes, long length) {
  static_cast<std::string*>(context)->append(bytes, static_cast<size_t>(length));
  return 0;
}

std::string text(long size) {
  std::string bytes;
  EXPECT_EQ(generateText(size, appendTo, &bytes), 0);
  return bytes;
}

TEST(BenchText, HasExactlyTheAskedSizeAndTheSameBytesEveryTime) {
  const std::string large = text(3000000);
  EXPECT_EQ(large.size(), 3000000u);
  EXPECT_EQ(text(3000000), large);
  for (const long size : {0L, 1L, 2L, 3L, 1000L, 1048577L, 2000001L}) {
    const std::string small = text(size);
    ASSERT_EQ(small.size(), static_cast<size_t>(size));
    // Only the last byte may differ: it is a blank where the cut would split a character.
    if (size > 1) {
      EXPECT_EQ(small.compare(0, static_cast<size_t>(size - 1), large, 0, static_cast<size_t>(size - 1)), 0) << size;
    }
  }
  int calls = 0;
  const auto refuse = [](void* context, const char*, long) { return ++*static_cast<int*>(context) > 1 ? -1 : 0; };
  EXPECT_EQ(generateText(5000000, refuse, &calls), -1);
  EXPECT_EQ(generateText(-1, appendTo, &calls), -1);
}

// Every byte read independently of the generator: what the benchmark promises to convert.
TEST(BenchText, HoldsAssignedCharactersAsciiAndBothLineEndsOnly) {
  const std::string bytes = text(2000000);
  long level1 = 0, level2High = 0, hiragana = 0, katakana = 0, ascii = 0, crlf = 0, lf = 0;
  int firstRow = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b == '\n') {
      ++(i > 0 && bytes[i - 1] == '\r' ? crlf : lf);
      continue;
    }
    if (b == '\r') {
      ASSERT_TRUE(i + 1 < bytes.size() && bytes[i + 1] == '\n') << i;
      continue;
    }
    if (b < 0x80) {
      ASSERT_TRUE(b >= 0x20 && b != 0x5C && b != 0x7E && b != 0x7F) << i;
      ++ascii;
      continue;
    }
    ASSERT_TRUE(((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEA)) && i + 1 < bytes.size()) << i;
    const auto t = static_cast<unsigned char>(bytes[++i]);
    ASSERT_TRUE(t >= 0x40 && t <= 0xFC && t != 0x7F) << i;
    int row = 2 * (b - (b <= 0x9F ? 0x71 : 0xB1)) + 1;
    const int s = t >= 0x80 ? t - 1 : t;
    const int cell = s >= 0x9E ? s - 0x7D : s - 0x1F;
    row += s >= 0x9E ? 1 : 0;
    if (firstRow == 0) firstRow = row;
    if (row == 0x24) {
      ASSERT_LE(cell, 0x73);
      ++hiragana;
    } else if (row == 0x25) {
      ASSERT_LE(cell, 0x76);
      ++katakana;
    } else if (row >= 0x30 && row <= 0x4F) {
      ASSERT_TRUE(row < 0x4F || cell <= 0x53);
      ++level1;
    } else if (row >= 0x50 && row <= 0x73) {
      level2High += b >= 0xE0 ? 1 : 0;
    } else {
      ASSERT_TRUE(row == 0x21 || (row == 0x23 && cell >= 0x30 && cell <= 0x39)) << row << " " << cell;
    }
  }
  EXPECT_EQ(firstRow, 0x24);
  EXPECT_GT(level1, 200000);
  EXPECT_GT(hiragana, 100000);
  EXPECT_GT(katakana, 10000);
  EXPECT_GT(level2High, 1000);
  EXPECT_GT(ascii, 200000);
  EXPECT_GT(crlf, 3 * lf);
  EXPECT_GT(lf, 1000);
  // iconv reads it as Shift-JIS without complaint.
  EXPECT_NO_THROW(test::convert(bytes, "SHIFT_JIS", "EUC-JP"));
}

}  // namespace
}  // namespace mq::bench
