// The scanner's scratch: its seven areas taken in order with their names and first sizes,
// none left behind by a failed take, and each cleared for the next document.
#include "markup/parser_scratch.h"

#include <gtest/gtest.h>

#include <string>

#include "common/run_record.h"
#include "common/work_areas.h"
#include "tests/test_support.h"

namespace mq {
namespace {

class ParserScratchTest : public ::testing::Test {
 protected:
  void SetUp() override { setupRunRecord(testRun(), "", "test"); }
  void TearDown() override {
    resetAllocationSeam();
    releaseParserScratch(testRun());
  }
};

TEST_F(ParserScratchTest, EachTakeThatFailsNamesItsAreaAndLeavesNoneTaken) {
  const char* taken[] = {"タグ親構造領域] MEMORYSIZE = [4096]",       "タグ親名前領域] MEMORYSIZE = [4096]",
                         "シーケンス構造領域] MEMORYSIZE = [327680]", "タグ名一時待避領域] MEMORYSIZE = [4096]",
                         "内容一時待避領域] MEMORYSIZE = [4096]",     "シーケンス構造領域] MEMORYSIZE = [65536]",
                         "シーケンス構造領域] MEMORYSIZE = [4096]"};
  for (int k = 0; k < 7; ++k) {
    setAllocationSeam({.failAt = k + 1});
    EXPECT_EQ(allocateParserScratch(testRun()), -1);
    EXPECT_EQ(std::string(testRun().messageText),
              test::sjis(std::string("メモリの取得に失敗しました CONTENTS = [") + taken[k]));
    EXPECT_FALSE(holdsAnyArea(testRun().scratch, kScratchAreas)) << k;
  }
  resetAllocationSeam();
  ASSERT_EQ(allocateParserScratch(testRun()), 0);
  EXPECT_EQ(allocationCount(), 7) << "no area beyond the seven";
}

TEST_F(ParserScratchTest, ClearingZeroesGrownAreasWholeAndReleasingTakesTheInputToo) {
  ASSERT_EQ(allocateParserScratch(testRun()), 0);
  ASSERT_EQ(ensureFieldRoom(testRun(), testRun().scratch, kTextBufferArea, 5000), 0);
  EXPECT_EQ(testRun().scratch.textBufferSize, 4096 + 65536);
  testRun().scratch.textBuffer[testRun().scratch.textBufferSize - 1] = 'x';
  testRun().scratch.openPaths[4095] = 'y';
  clearParserScratch(testRun());
  EXPECT_EQ(testRun().scratch.textBuffer[testRun().scratch.textBufferSize - 1], 0);
  EXPECT_EQ(testRun().scratch.openPaths[4095], 0);

  ASSERT_EQ(allocZeroed(&testRun().scratch.inputText, 100), 0);
  releaseParserScratch(testRun());
  EXPECT_EQ(testRun().scratch.inputText, nullptr);
  EXPECT_FALSE(holdsAnyArea(testRun().scratch, kScratchAreas));
}

}  // namespace
}  // namespace mq
