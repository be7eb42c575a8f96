#include "common/work_areas.h"

#include <gtest/gtest.h>

#include <string>

#include "common/run_record.h"
#include "common/texts.h"
#include "tests/test_support.h"

namespace mq {
namespace {

class WorkAreasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setupRunRecord(testRun(), "", "test");
    resetAllocationSeam();
  }
  void TearDown() override { resetAllocationSeam(); }
};

TEST_F(WorkAreasTest, TakeGrowAndReleaseKeepContentsAndZeroTheRest) {
  unsigned char* area = nullptr;
  ASSERT_EQ(takeArea(testRun(), &area, 4096, kAreaWork), 0);
  for (int i = 0; i < 4096; ++i) EXPECT_EQ(area[i], 0);
  for (int i = 0; i < 4096; ++i) area[i] = static_cast<unsigned char>(i % 251 + 1);
  ASSERT_EQ(growArea(&area, 4096, 8192), 0);
  for (int i = 0; i < 4096; ++i) ASSERT_EQ(area[i], i % 251 + 1);
  for (int i = 4096; i < 8192; ++i) ASSERT_EQ(area[i], 0);
  releaseArea(&area);
  EXPECT_EQ(area, nullptr);
  releaseArea(&area);  // twice: nothing happens

  unsigned char* none = nullptr;
  ASSERT_EQ(growArea(&none, 0, 100), 0);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(none[i], 0);
  releaseArea(&none);
}

TEST_F(WorkAreasTest, FailedTakeNamesTheAreaAndItsSize) {
  setAllocationSeam({.failAt = 1});
  unsigned char* area = nullptr;
  EXPECT_EQ(takeArea(testRun(), &area, 20480, kAreaOutput), -1);
  EXPECT_EQ(area, nullptr);
  EXPECT_EQ(testRun().messageCode, 1011);
  EXPECT_EQ(std::string(testRun().messageText),
            test::sjis("メモリの取得に失敗しました CONTENTS = [出力領域] MEMORYSIZE = [20480]"));
}

TEST_F(WorkAreasTest, GrowthFollowsTheOwnersStepAndReportsTheSizeToReach) {
  unsigned char* area = nullptr;
  int32_t size = 524288;
  ASSERT_EQ(takeArea(testRun(), &area, size, kAreaReplaceTexts), 0);
  EXPECT_EQ(ensureAreaRoom(testRun(), &area, &size, 524287, 524288, kAreaReplaceTexts), 0);
  EXPECT_EQ(size, 524288) << "room enough: no growth";

  setAllocationSeam({.failAt = 1});
  EXPECT_EQ(ensureAreaRoom(testRun(), &area, &size, 524288, 524288, kAreaReplaceTexts), -1);
  EXPECT_EQ(size, 524288);
  EXPECT_EQ(testRun().messageCode, 1014);
  EXPECT_EQ(std::string(testRun().messageText),
            test::sjis("メモリの拡張に失敗しました CONTENTS = [読替内容領域] MEMORYOFFSET = [1048576]"));

  resetAllocationSeam();
  // An item larger than one step grows once, to the smallest size that holds it.
  ASSERT_EQ(ensureAreaRoom(testRun(), &area, &size, 524288 * 3 + 5, 524288, kAreaReplaceTexts), 0);
  EXPECT_EQ(size, 524288 * 4);
  area[size - 1] = 1;  // the whole block is ours
  releaseArea(&area);
}

TEST_F(WorkAreasTest, GrowthPastTheLargestSizeFailsInsteadOfWrapping) {
  unsigned char* area = nullptr;
  int32_t size = 1048576;
  ASSERT_EQ(takeArea(testRun(), &area, size, kAreaRecords), 0);
  EXPECT_EQ(ensureAreaRoom(testRun(), &area, &size, 2147483647L, 1048576, kAreaRecords), -1);
  EXPECT_EQ(size, 1048576);
  EXPECT_EQ(std::string(testRun().messageText),
            test::sjis("メモリの拡張に失敗しました CONTENTS = [入力解析構造領域] MEMORYOFFSET = [2147483648]"));
  releaseArea(&area);
}

TEST_F(WorkAreasTest, SeamFailsAllocationsAboveASize) {
  setAllocationSeam({.failAbove = 1000});
  unsigned char* small = nullptr;
  unsigned char* large = nullptr;
  EXPECT_EQ(allocZeroed(&small, 1000), 0);
  EXPECT_EQ(allocZeroed(&large, 1001), -1);
  EXPECT_EQ(allocationCount(), 2);
  releaseArea(&small);
}

// A group of three areas as owners describe theirs.
struct Owner {
  unsigned char* first;
  int32_t firstSize;
  unsigned char* second;
  int32_t secondSize;
  unsigned char* third;
  int32_t thirdSize;
};
constexpr AreaField<Owner> kOwnerAreas[] = {{&Owner::first, &Owner::firstSize, kAreaOutput, 100, 10},
                                            {&Owner::second, &Owner::secondSize, kAreaWork, 200, 20},
                                            {&Owner::third, &Owner::thirdSize, kAreaRecords, 300, 30}};

TEST_F(WorkAreasTest, AGroupIsTakenWholeOrNotAtAllAndWalkedByItsOneList) {
  const char* failing[] = {"出力領域] MEMORYSIZE = [100]", "作業領域] MEMORYSIZE = [200]",
                           "入力解析構造領域] MEMORYSIZE = [300]"};
  Owner owner{};
  for (int k = 0; k < 3; ++k) {
    setAllocationSeam({.failAt = k + 1});
    EXPECT_EQ(takeAreaGroup(testRun(), owner, kOwnerAreas), -1);
    EXPECT_FALSE(holdsAnyArea(owner, kOwnerAreas)) << k;
    EXPECT_EQ(std::string(testRun().messageText),
              test::sjis(std::string("メモリの取得に失敗しました CONTENTS = [") + failing[k]));
  }
  resetAllocationSeam();
  ASSERT_EQ(takeAreaGroup(testRun(), owner, kOwnerAreas), 0);
  EXPECT_EQ(owner.firstSize + owner.secondSize + owner.thirdSize, 600);
  EXPECT_NE(owner.third, nullptr);

  // Growth takes the field's own step; clearing zero-fills each area over its grown size.
  ASSERT_EQ(ensureFieldRoom(testRun(), owner, kOwnerAreas[1], 200), 0);
  EXPECT_EQ(owner.secondSize, 220);
  owner.first[99] = 1;
  owner.second[219] = 2;
  clearAreaGroup(owner, kOwnerAreas);
  EXPECT_EQ(owner.first[99] + owner.second[219], 0);
  releaseAreaGroup(owner, kOwnerAreas);
  EXPECT_FALSE(holdsAnyArea(owner, kOwnerAreas));
}

// Large areas live in mappings of their own outside the sanitizer builds: growth keeps the
// contents, the new part reads as zero, and a release gives every mapping back.
TEST_F(WorkAreasTest, LargeAreasGrowWithTheirContentsAndZeroTheTail) {
  const long mappedBefore = mappedAreaCount();
  unsigned char* area = nullptr;
  int32_t size = 600000;
  ASSERT_EQ(takeArea(testRun(), &area, size, "a"), 0);
  for (int32_t i = 0; i < size; ++i) area[i] = static_cast<unsigned char>(i * 7);
  for (int32_t step : {1048576, 3145728, 5}) {
    ASSERT_EQ(ensureAreaRoom(testRun(), &area, &size, size, step, "a"), 0);
  }
  EXPECT_EQ(size, 600000 + 1048576 + 3145728 + 5);
  bool kept = true;
  for (int32_t i = 0; i < 600000; ++i) kept = kept && area[i] == static_cast<unsigned char>(i * 7);
  EXPECT_TRUE(kept);
  bool zero = true;
  for (int32_t i = 600000; i < size; ++i) zero = zero && area[i] == 0;
  EXPECT_TRUE(zero);
  releaseArea(&area);
  EXPECT_EQ(area, nullptr);
  EXPECT_EQ(mappedAreaCount(), mappedBefore);
}

}  // namespace
}  // namespace mq
