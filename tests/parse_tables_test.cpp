// The parse tables: a slot's areas taken as one group, records growing one step ahead, and
// texts that never are cut.
#include "markup/parse_tables.h"

#include <gtest/gtest.h>

#include <string>

#include "common/run_record.h"
#include "common/work_areas.h"
#include "tests/test_support.h"

namespace mq {
namespace {

class ParseTablesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setupRunRecord(testRun(), "", "test");
    resetAllocationSeam();
  }
  void TearDown() override {
    resetAllocationSeam();
    releaseParseTables(testRun());
  }
};

TEST_F(ParseTablesTest, AFailedTakeLeavesNoAreaOfAnySlot) {
  // Second input, third area: the sixth take.
  setAllocationSeam({.failAt = 6});
  EXPECT_EQ(allocateParseTables(testRun(), 3), -1);
  EXPECT_EQ(testRun().messageCode, 1011);
  EXPECT_EQ(std::string(testRun().messageText),
            test::sjis("メモリの取得に失敗しました CONTENTS = [入力解析内容領域] MEMORYSIZE = [1048576]"));
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(testRun().tables[k].records, nullptr);
    EXPECT_EQ(testRun().tables[k].tagNames, nullptr);
    EXPECT_EQ(testRun().tables[k].contents, nullptr);
  }
  resetAllocationSeam();
  ASSERT_EQ(allocateParseTables(testRun(), 3), 0);
  EXPECT_EQ(testRun().tables[2].contentCapacity, 1048576);
  releaseParseTables(testRun());
  releaseParseTables(testRun());
  EXPECT_EQ(testRun().tables[2].contents, nullptr);
}

TEST_F(ParseTablesTest, RecordsGrowRightAfterThe43690thRecord) {
  ASSERT_EQ(allocateParseTables(testRun(), 1), 0);
  openTableCursor(testRun(), 0);
  for (int i = 1; i <= 43689; ++i) ASSERT_EQ(appendTagRecord(testRun(), i, 1, 0, 0, -1, 0), 0);
  EXPECT_EQ(testRun().tables[0].recordCapacity, 1048576);
  ASSERT_EQ(appendTagRecord(testRun(), 43690, 1, 0, 0, -1, 0), 0);
  EXPECT_EQ(testRun().tables[0].recordCapacity, 2097152);
  storeTableCursor(testRun(), 0);
  EXPECT_EQ(testRun().tables[0].recordCount, 43690);
  EXPECT_EQ(recordAt(testRun().tables[0], 43689)->objectNo, 43690);
}

TEST_F(ParseTablesTest, ATagPathLongerThanTheFreeSpaceIsNeverCut) {
  ASSERT_EQ(allocateParseTables(testRun(), 1), 0);
  openTableCursor(testRun(), 0);
  testRun().cursor.tagNameUsed = 0;
  const std::string path(3 * 1048576, 'P');
  ASSERT_EQ(appendTagPath(testRun(), path.data(), static_cast<int32_t>(path.size())), 0);
  EXPECT_EQ(testRun().tables[0].tagNameCapacity, 4 * 1048576);
  EXPECT_EQ(testRun().cursor.tagNameUsed, static_cast<int32_t>(path.size()) + 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(testRun().tables[0].tagNames)), path);

  setAllocationSeam({.failAt = 1});
  EXPECT_EQ(appendContent(testRun(), path.data(), static_cast<int32_t>(path.size())), -1);
  EXPECT_EQ(std::string(testRun().messageText),
            test::sjis("メモリの拡張に失敗しました CONTENTS = [入力解析内容領域] MEMORYOFFSET = [4194304]"));
}

}  // namespace
}  // namespace mq
