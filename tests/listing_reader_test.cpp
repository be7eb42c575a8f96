// The listing reader: lines into the slots they name, faults named by field, row and
// column, lines never cut, and failures to grow or read named.
#include "markup/listing_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/run_record.h"
#include "common/work_areas.h"
#include "markup/parse_tables.h"
#include "markup/parser_scratch.h"
#include "tests/test_support.h"

namespace mq {
namespace {

using test::sjis;

using Records = std::vector<std::string>;

// Where the values of slot k's records stand in its contents.
std::vector<int32_t> contentOffsets(int k) {
  std::vector<int32_t> offsets;
  const ParseTableSlot& slot = testRun().tables[k];
  for (int32_t i = 0; i < slot.recordCount; ++i) offsets.push_back(recordAt(slot, i)->contentOffset);
  return offsets;
}

class ListingReaderTest : public test::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    setupRunRecord(testRun(), "", "test");
    testRun().cursor = TableCursor{};
    ASSERT_EQ(allocateParseTables(testRun(), 3), 0);
    ASSERT_EQ(allocateParserScratch(testRun()), 0);
  }
  void TearDown() override {
    resetAllocationSeam();
    releaseParserScratch(testRun());
    releaseParseTables(testRun());
    ScratchDir::TearDown();
  }
  int read(const std::string& bytes, const std::string& name = "listing.txt") {
    test::writeFile(path(name), bytes);
    return readTagListing(testRun(), path(name).c_str(), 3);
  }
  std::string message() const { return testRun().messageText; }
};

TEST_F(ListingReaderTest, LinesGoToTheirSlotsInOrderWithTextsRunningOnAcrossSlotsAndFiles) {
  ASSERT_EQ(read(""), 0);
  ASSERT_EQ(read("2\t7\t1\t<BODY><P>\t" + sjis("日本") + "[09]x\r\n1\t\t\t<a>\t\r\n2\t8\t1\t<BODY><P>\t" + sjis("表") +
                 "\r\n"),
            0);
  ASSERT_EQ(read("2\t0000000000000000009\t2147483647\t<BODY><P>\tv\r\n", "second.txt"), 0);
  EXPECT_EQ(test::listingLines(0), Records{"1\t0\t0\t<a>\t"});
  EXPECT_EQ(contentOffsets(0), std::vector<int32_t>{10}) << "an empty value is a text of its own";
  EXPECT_EQ(test::listingLines(1), (Records{"2\t7\t1\t<BODY><P>\t" + sjis("日本") + "[09]x",
                                            "2\t8\t1\t<BODY><P>\t" + sjis("表"), "2\t9\t2147483647\t<BODY><P>\tv"}));
  EXPECT_EQ(contentOffsets(1), (std::vector<int32_t>{0, 11, 14}));
  EXPECT_EQ(testRun().cursor.tagNameUsed, 34);
  EXPECT_TRUE(test::listingLines(2).empty());
}

TEST_F(ListingReaderTest, FaultyLinesNameTheirDetailRowAndColumnInFieldOrder) {
  const std::string good = "1\t1\t1\t<A>\tv\r\n";
  const struct {
    std::string listing;
    const char* detail;
    long row, column;
  } cases[] = {
      {"FileNo\tNo\tSeaNo\tTagName\tValue\r\n", "ファイル番号が不正です", 1, 1},
      {good + "\r\n", "項目数が足りません", 2, 1},
      {good + "1\t1\t1\t<A>\n", "項目数が足りません", 2, 1},
      {good + good + "x\t-1\t-1\t<A>\tv\tw\r\n", "項目数が多すぎます", 3, 1},
      {good + "x\t-1\t-1\t<A>\tv\r\n", "ファイル番号が不正です", 2, 1},
      {"0\t1\t1\t<A>\tv\r\n", "ファイル番号が不正です", 1, 1},
      {"4\t1\t1\t<A>\tv\r\n", "ファイル番号が不正です", 1, 1},
      {"00000000000000000001\t1\t1\t<A>\tv\r\n", "ファイル番号が不正です", 1, 1},
      {good + "1\t-5\t-1\t<A>\tv", "オブジェクト番号が不正です", 2, 3},
      {"01\t2147483648\t1\t<A>\tv\r\n", "オブジェクト番号が不正です", 1, 4},
      {good + "1\t12\t+1\t<A>\tv\r\n", "シーケンス番号が不正です", 2, 6},
      {"1\t1\t9999999999999999999\t<A>\tv\r\n", "シーケンス番号が不正です", 1, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.listing);
    testRun().tables[0].recordCount = 0;
    EXPECT_EQ(read(c.listing), -1);
    EXPECT_EQ(testRun().messageCode, 1021);
    EXPECT_EQ(message(), sjis("入力ファイルの構造が不正です CONTENS = [" + std::string(c.detail) + "] ROWS = [" +
                              std::to_string(c.row) + "] COLS = [" + std::to_string(c.column) + "]"));
    EXPECT_EQ(testRun().tables[0].recordCount, c.row - 1) << "only the lines before the faulty one are kept";
  }
}

TEST_F(ListingReaderTest, LinesEndAtLfWithAnOptionalCrAndAreNeverCut) {
  const std::string wide(100000, 'w');
  ASSERT_EQ(read("1\t1\t1\t<A>\tcrlf\r\n1\t2\t1\t<A>\tlf\n1\t3\t1\t<A>\tcr\r\r\n1\t4\t1\t<" + wide + ">\t" + wide +
                 "\r\n1\t5\t1\t<A>\tlast\r"),
            0);
  EXPECT_EQ(test::listingLines(0), (Records{"1\t1\t1\t<A>\tcrlf", "1\t2\t1\t<A>\tlf", "1\t3\t1\t<A>\tcr\r",
                                            "1\t4\t1\t<" + wide + ">\t" + wide, "1\t5\t1\t<A>\tlast\r"}));
  EXPECT_EQ(contentOffsets(0), (std::vector<int32_t>{0, 5, 8, 12, 100013}));
  EXPECT_EQ(testRun().scratch.nameBufferSize, 4096 + 3 * 65536);
  EXPECT_EQ(read("1\t1\t1\t" + wide + "\t" + wide + "\n-\t\t\t\t\n"), -1);
  EXPECT_NE(message().find("ROWS = [2] COLS = [1]"), std::string::npos) << "a long line is one row";
}

TEST_F(ListingReaderTest, ASlotsFirstLineFitsAfterOtherSlotsGrewSeveralSteps) {
  const std::string big(1000000, 'b');
  ASSERT_EQ(
      read("1\t1\t1\t<A>\t" + big + "\r\n1\t2\t1\t<A>\t" + big + "\r\n1\t3\t1\t<A>\t" + big + "\r\n3\t1\t1\t<Z>\tz"),
      0);
  EXPECT_EQ(test::listingLines(2), Records{"3\t1\t1\t<Z>\tz"});
  EXPECT_EQ(contentOffsets(2), std::vector<int32_t>{3000003});
  EXPECT_EQ(testRun().tables[2].contentCapacity, 3 * 1048576);
}

TEST_F(ListingReaderTest, FailuresToGrowOrToReadNameTheAreaOrTheFile) {
  const std::string line = "1\t1\t1\t<A>\t\r\n";
  std::string manyLines;
  for (int i = 0; i < 43690; ++i) manyLines += line;
  const struct {
    std::string listing;
    long failAbove;
    const char* area;
    int32_t kept;
  } cases[] = {
      {line + "1\t1\t1\t<A>\t" + std::string(5000, 'v'), 4096, "タグ名一時待避領域] MEMORYOFFSET = [69632]", 1},
      {line + "1\t1\t1\t<A>\t" + std::string(1048560, 'c'), 2000000, "入力解析内容領域] MEMORYOFFSET = [2097152]", 1},
      {manyLines, 2000000, "入力解析構造領域] MEMORYOFFSET = [2097152]", 43689},
  };
  for (const auto& c : cases) {
    testRun().tables[0].recordCount = 0;
    testRun().cursor = TableCursor{};
    setAllocationSeam({.failAbove = c.failAbove});
    EXPECT_EQ(read(c.listing), -1);
    EXPECT_EQ(testRun().messageCode, 1014);
    EXPECT_EQ(message(), sjis(std::string("メモリの拡張に失敗しました CONTENTS = [") + c.area));
    EXPECT_EQ(testRun().tables[0].recordCount, c.kept) << c.area;
  }
  for (const std::string& name : {path("missing.txt"), dir_}) {  // a folder opens, but reading it fails
    EXPECT_EQ(readTagListing(testRun(), name.c_str(), 3), -1);
    EXPECT_EQ(testRun().messageCode, 1003);
    EXPECT_EQ(message(), sjis("ファイルの読込みに失敗しました FILENAME = [" + name + "]"));
  }
}

}  // namespace
}  // namespace mq
