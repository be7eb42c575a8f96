#include "tests/test_support.h"
#include "convert/record_index.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/settings.h"
#include "common/work_areas.h"
#include "convert/output_areas.h"
#include "markup/parse_tables.h"

namespace mq {
namespace {

class RecordIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testRun().settings = Settings{};
    testRun().settings.inputCount = 1;
    testRun().settings.outputKind = OutputKind::Normal;
    ASSERT_EQ(allocateParseTables(testRun(), testRun().settings.inputCount), 0);
    ASSERT_EQ(takeOutputAreas(testRun()), 0);
    testRun().cursor = TableCursor{};
    openTableCursor(testRun(), 0);
  }
  void TearDown() override {
    setRecordIndexEnabled(testRun(), true);
    releaseOutputAreas(testRun());
    releaseParseTables(testRun());
  }
  void add(const char* path, int32_t seqNo) {
    const int32_t offset = testRun().cursor.tagNameUsed;
    ASSERT_EQ(appendTagPath(testRun(), path, static_cast<int32_t>(std::strlen(path))), 0);
    ASSERT_EQ(appendTagRecord(testRun(), testRun().cursor.recordCount + 1, seqNo, offset, static_cast<int32_t>(std::strlen(path)), -1, 0),
              0);
    storeTableCursor(testRun(), 0);
  }
  static std::string answer(const RecordMatch& m) {
    return std::to_string(m.record) + (m.tagDiffers ? " tag differs" : "");
  }
  std::string find(const char* path, int32_t seqNo) {
    RecordMatch match{};
    EXPECT_EQ(findRecord(testRun(), 0, path, static_cast<int32_t>(std::strlen(path)), seqNo, &match), 0);
    return answer(match);
  }
};

// A record may carry any number: the index and the walk must agree on every number, in
// either table of the index or outside both.
TEST_F(RecordIndexTest, AnswersTheWalkForNumbersInsideAndOutsideFourDigits) {
  add("<A>", 10000);
  add("<A>", 1);
  add("<B>", 10000);
  add("<A>", 10000);  // the same key again: the first record stands
  add("<A>", 9999);
  add("<B>", 0);
  add("<A>", -5);
  add("<C>", 2147483647);

  EXPECT_EQ(find("<A>", 10000), "0");
  EXPECT_EQ(find("<B>", 10000), "2");
  EXPECT_EQ(find("<D>", 10000), "-1 tag differs");
  EXPECT_EQ(find("<A>", 1), "1");
  EXPECT_EQ(find("<A>", 9999), "4");
  EXPECT_EQ(find("<B>", 0), "5");
  EXPECT_EQ(find("<A>", -5), "6");
  EXPECT_EQ(find("<C>", 2147483647), "7");
  EXPECT_EQ(find("<C>", 1), "-1 tag differs");
  EXPECT_EQ(find("<AB>", 1), "-1");

  const char* paths[] = {"<A>", "<B>", "<C>", "<D>", "<AB>"};
  const int32_t numbers[] = {-5, 0, 1, 2, 9999, 10000, 10001, 2147483647};
  for (const char* path : paths) {
    for (int32_t seqNo : numbers) {
      const std::string indexed = find(path, seqNo);
      setRecordIndexEnabled(testRun(), false);
      const std::string walked = find(path, seqNo);
      setRecordIndexEnabled(testRun(), true);
      EXPECT_EQ(indexed, walked) << path << " " << seqNo;
      EXPECT_EQ(walked, answer(findRecordByWalk(testRun(), 0, path, static_cast<int32_t>(std::strlen(path)), seqNo)));
    }
  }
}

// Tables sized exactly where a slip in the growth rule would fill them (16, 32 and 64
// distinct keys), in both ranges of numbers: keys that are there and keys that are not
// must get the walk's answer, and an absent key must not send the look-up round for ever
// (the test's time limit catches that).
TEST_F(RecordIndexTest, FullSizedTablesAnswerAbsentKeys) {
  for (int32_t keys : {8, 16, 32, 64}) {
    for (int32_t base : {1, 10000, 2000000000}) {
      releaseOutputAreas(testRun());
      ASSERT_EQ(takeOutputAreas(testRun()), 0);
      testRun().cursor = TableCursor{};
      openTableCursor(testRun(), 0);
      std::vector<std::string> paths;
      for (int32_t k = 0; k < keys; ++k) paths.push_back("<K" + std::to_string(k) + ">");
      for (int32_t k = 0; k < keys; ++k) add(paths[static_cast<std::size_t>(k)].c_str(), base + k % 2);
      const std::string absent[] = {"<K0>", "<K1>", "<NONE>", "<K999>", "<K" + std::to_string(keys) + ">"};
      for (int32_t seqNo : {base, base + 1, base + 2, base + 7777}) {
        for (const std::string& path : absent) {
          const std::string indexed = find(path.c_str(), seqNo);
          EXPECT_EQ(indexed, answer(findRecordByWalk(testRun(), 0, path.c_str(), static_cast<int32_t>(path.size()), seqNo)))
              << keys << " keys, " << path << " " << seqNo;
        }
      }
    }
  }
}

}  // namespace
}  // namespace mq
