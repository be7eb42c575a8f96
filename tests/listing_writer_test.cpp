// The listing writer: escaping and the value area's growth, failed writes, numbers as printf
// writes them, and values written as they stand held against writing every one escaped.
#include "convert/listing_writer.h"

#include <gtest/gtest.h>

#include <climits>

#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "common/line_writer.h"
#include "common/run_record.h"
#include "common/work_areas.h"
#include "markup/parse_tables.h"
#include "tests/test_support.h"

namespace mq {
namespace {

using test::sjis;

constexpr ListingFormat kPlain{'\t', false, false};

class ListingWriter : public test::ScratchDir {
 protected:
  void SetUp() override {
    test::ScratchDir::SetUp();
    setupRunRecord(testRun(), "", "test");
    takeAreas();
  }
  void TearDown() override {
    resetAllocationSeam();
    releaseAreas();
    test::ScratchDir::TearDown();
  }
  void takeAreas() {
    ASSERT_EQ(allocateParseTables(testRun(), 1), 0);
    ASSERT_EQ(takeValueArea(testRun()), 0);
    testRun().cursor = TableCursor{0, 0, 0, 0};
  }
  static void releaseAreas() {
    releaseParseTables(testRun());
    releaseValueArea(testRun());
  }
  // A record <P> numbered `number`, with the value, or without content when hasValue is false.
  static void add(int32_t number, const std::string& value, bool hasValue = true) {
    openTableCursor(testRun(), 0);
    const int32_t path = testRun().cursor.tagNameUsed;
    const int32_t offset = hasValue ? testRun().cursor.contentUsed : -1;
    ASSERT_EQ(appendTagPath(testRun(), "<P>", 3), 0);
    if (hasValue) {
      ASSERT_EQ(appendContent(testRun(), value.data(), static_cast<int32_t>(value.size())), 0);
    }
    ASSERT_EQ(appendTagRecord(testRun(), number, number, path, 3, offset, hasValue ? static_cast<int32_t>(value.size()) : 0), 0);
    storeTableCursor(testRun(), 0);
  }
  std::string write(const ListingFormat& format = kPlain, ValuePath valuePath = ValuePath::AsItStands) {
    EXPECT_EQ(writeTagListing(testRun(), path("out.txt").c_str(), 1, format, valuePath), 0);
    return test::readFile(path("out.txt"));
  }
};

TEST_F(ListingWriter, EscapesValuesAndGrowsTheValueAreaAt4080Bytes) {
  ASSERT_EQ(escapeValue(testRun(), "a\tb\nc\rd,", 8), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(testRun().value.bytes)), "a[09]b[0A]c[0D]d,");
  const std::vector<std::pair<std::string, int32_t>> cases = {
      {std::string(4079, 'x'), 4096}, {std::string(1019, '\t') + "xxx", 4096}, {std::string(1019, '\t') + "xxxx", 8192},
      {std::string(4080, 'x'), 8192}, {std::string(8176, 'x'), 12288},         {"ab", 12288}};  // the grown size stays
  for (const auto& [value, size] : cases) {
    ASSERT_EQ(escapeValue(testRun(), value.data(), static_cast<int32_t>(value.size())), 0);
    EXPECT_EQ(testRun().value.size, size) << value.size();
    EXPECT_EQ(std::string(reinterpret_cast<char*>(testRun().value.bytes)).size(), static_cast<size_t>(testRun().value.used));
  }
  setAllocationSeam({.failAt = 1});
  const std::string value(12300, 'x');
  EXPECT_EQ(escapeValue(testRun(), value.data(), 12300), -1);
  EXPECT_EQ(std::string(testRun().messageText),
            sjis("メモリの拡張に失敗しました CONTENTS = [作業領域] MEMORYOFFSET = [16384]"));
}

TEST_F(ListingWriter, AFailedWriteOrCloseGives1002AndAnEarlierFailureKeepsItsMessage) {
  const std::string full = sjis("ファイルの書込みに失敗しました FILENAME = [/dev/full]");
  const std::string growFailed = sjis("メモリの拡張に失敗しました CONTENTS = [作業領域] MEMORYOFFSET = [8192]");
  struct Case {
    std::string listing;
    int records;  // small ones, followed by one whose value cannot be escaped
    std::string message;
  };
  // A few lines wait in the stream's buffer; many fail on the way, which must end the
  // listing before the last record is reached.
  const std::vector<Case> cases = {
      {"/dev/full", 1, growFailed}, {"/dev/full", 20000, full}, {path("out.txt"), 1, growFailed}};
  for (const Case& c : cases) {
    if (c.listing == "/dev/full" && test::kFullDisk == nullptr) continue;
    releaseAreas();
    takeAreas();
    for (int i = 1; i <= c.records; ++i) add(i, "value");
    add(c.records + 1, std::string(5000, 'x'));
    setAllocationSeam({.failAt = 1});
    EXPECT_EQ(writeTagListing(testRun(), c.listing.c_str(), 1, kPlain), -1);
    EXPECT_EQ(std::string(testRun().messageText), c.message) << c.records;
    resetAllocationSeam();
  }
  EXPECT_EQ(test::readFile(path("out.txt")), "1\t1\t1\t<P>\tvalue\r\n");
  // Nothing failed until the close.
  if (test::kFullDisk != nullptr) {
    releaseAreas();
    takeAreas();
    add(1, "value");
    EXPECT_EQ(writeTagListing(testRun(), "/dev/full", 1, kPlain), -1);
    EXPECT_EQ(std::string(testRun().messageText), full);
  }
  EXPECT_EQ(writeTagListing(testRun(), path("no/out.txt").c_str(), 1, kPlain), -1);
  EXPECT_EQ(testRun().messageCode, 1001);
}

// The numbers of a line read exactly as printf's "%ld" writes them.
TEST_F(ListingWriter, WritesNumbersAsPrintfDoes) {
  const int32_t numbers[] = {0, 7, 9, 10, 99, 100, 101, 12345, 999999, 1000000, 2147483647, -1, -10, -2147483647 - 1};
  std::string expected;
  for (int32_t n : numbers) {
    add(n, "v");
    char line[64];
    std::snprintf(line, sizeof line, "1\t%ld\t%ld\t<P>\tv\r\n", static_cast<long>(n), static_cast<long>(n));
    expected += line;
  }
  EXPECT_EQ(write(), expected);
}

// Numbers counted on from the one before give what "%ld" gives: runs that carry into new
// digits, jumps, repeats, and negative numbers between.
TEST(CountedNumber, GivesWhatPrintfGivesWhetherCountedOnOrFormatted) {
  CountedNumber counted;
  std::mt19937 random(11);
  long value = 0;
  for (int i = 0; i < 200000; ++i) {
    const auto pick = random() % 1000;
    if (pick == 0) {
      value = -static_cast<long>(random() % 1000);
    } else if (pick == 1) {
      value = static_cast<long>(random() % 100000) * 10 - 1;  // a run of nines next
    } else if (pick == 2) {
      value = LONG_MAX - 1;
    } else if (pick == 3) {
      value = value > 0 ? value - 1 : value;  // the same number again, or one less
    } else {
      ++value;
    }
    char expected[32];
    std::snprintf(expected, sizeof expected, "%ld", value);
    ASSERT_EQ(counted.of(value), std::string_view(expected)) << "step " << i;
    if (value == LONG_MAX) value = 0;
  }
}

// Values written as they stand must give the bytes that escaping every value gives: random
// values of every length around the value area's size, control bytes alone and in pairs,
// under every option.
TEST_F(ListingWriter, ValuesAsTheyStandGiveWhatEscapingEveryValueGives) {
  add(1, "lone\rcr");
  EXPECT_EQ(write(), "1\t1\t1\t<P>\tlone[0D]cr\r\n");

  const std::string alphabet[] = {"a",        "\t", "\n",  "\r", "\r\n", "\n\r", ",", "[0D]", std::string(1, '\0'),
                                  "\x82\xA0", " ",  "\x7F"};
  const ListingFormat formats[] = {kPlain, {',', true, false}, {'\t', false, true}, {'\r', true, true}};
  std::mt19937 random(4242);
  for (int round = 0; round < 40; ++round) {
    releaseAreas();
    takeAreas();
    for (int32_t r = 1; r <= 200; ++r) {
      std::string value;
      const std::size_t length = random() % 4 == 0 ? 4060 + random() % 40 : random() % 30;
      while (value.size() < length) value += random() % 8 == 0 ? alphabet[random() % std::size(alphabet)] : "x";
      add(r, value, random() % 10 != 0);
    }
    for (const ListingFormat& format : formats) {
      const std::string escaped = write(format, ValuePath::Escaped);
      ASSERT_EQ(write(format, ValuePath::AsItStands), escaped) << "round " << round;
    }
  }
}

}  // namespace
}  // namespace mq
