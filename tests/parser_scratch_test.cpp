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
  void SetUp() override { setupRunRecord("", "test"); }
  void TearDown() override {
    resetAllocationSeam();
    releaseParserScratch();
  }
};

TEST_F(ParserScratchTest, EachTakeThatFailsNamesItsAreaAndLeavesNoneTaken) {
  const char* taken[] = {"タグ親構造領域] MEMORYSIZE = [4096]",       "タグ親名前領域] MEMORYSIZE = [4096]",
                         "シーケンス構造領域] MEMORYSIZE = [327680]", "タグ名一時待避領域] MEMORYSIZE = [4096]",
                         "内容一時待避領域] MEMORYSIZE = [4096]",     "シーケンス構造領域] MEMORYSIZE = [65536]",
                         "シーケンス構造領域] MEMORYSIZE = [4096]"};
  for (int k = 0; k < 7; ++k) {
    setAllocationSeam({.failAt = k + 1});
    EXPECT_EQ(allocateParserScratch(), -1);
    EXPECT_EQ(std::string(gRunRecord.messageText),
              test::sjis(std::string("メモリの取得に失敗しました CONTENTS = [") + taken[k]));
    EXPECT_FALSE(holdsAnyArea(gParserScratch, kScratchAreas)) << k;
  }
  resetAllocationSeam();
  ASSERT_EQ(allocateParserScratch(), 0);
  EXPECT_EQ(allocationCount(), 7) << "no area beyond the seven";
}

TEST_F(ParserScratchTest, ClearingZeroesGrownAreasWholeAndReleasingTakesTheInputToo) {
  ASSERT_EQ(allocateParserScratch(), 0);
  ASSERT_EQ(ensureFieldRoom(gParserScratch, kTextBufferArea, 5000), 0);
  EXPECT_EQ(gParserScratch.textBufferSize, 4096 + 65536);
  gParserScratch.textBuffer[gParserScratch.textBufferSize - 1] = 'x';
  gParserScratch.openPaths[4095] = 'y';
  clearParserScratch();
  EXPECT_EQ(gParserScratch.textBuffer[gParserScratch.textBufferSize - 1], 0);
  EXPECT_EQ(gParserScratch.openPaths[4095], 0);

  ASSERT_EQ(allocZeroed(&gParserScratch.inputText, 100), 0);
  releaseParserScratch();
  EXPECT_EQ(gParserScratch.inputText, nullptr);
  EXPECT_FALSE(holdsAnyArea(gParserScratch, kScratchAreas));
}

}  // namespace
}  // namespace mq
