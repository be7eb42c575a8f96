// The replacement-definition reader: the duplicate check against the pairwise search, and
// the growth of its areas, each failure named with its size.
#include "convert/replacement_definitions.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "common/run_record.h"
#include "common/settings.h"
#include "common/work_areas.h"
#include "convert/output_areas.h"
#include "tests/test_support.h"

namespace mq {
namespace {

using test::sjis;

class ReplacementReader : public test::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    setupRunRecord(testRun(), "", "test");
    testRun().settings = Settings{};
    testRun().settings.outputKind = OutputKind::Normal;
    std::snprintf(testRun().settings.replacementDefinitionFile, kFileNameSize, "%s", path("rep.txt").c_str());
    ASSERT_EQ(takeOutputAreas(testRun()), 0);
  }
  void TearDown() override {
    resetAllocationSeam();
    releaseOutputAreas(testRun());
    EXPECT_EQ(mappedAreaCount(), 0);
    ScratchDir::TearDown();
  }
  static int load(const std::string& bytes) {
    test::writeFile(testRun().settings.replacementDefinitionFile, bytes);
    return loadReplacementTable(testRun());
  }
  static std::string message() { return testRun().messageText; }
  static std::string text(int32_t offset, int32_t length) {
    return std::string(replacementText(testRun(), offset), static_cast<std::size_t>(length));
  }
};

TEST_F(ReplacementReader, TheDuplicateReportedIsTheOnePairwiseSearchFinds) {
  std::mt19937 random(3);
  for (int round = 0; round < 300; ++round) {
    std::vector<int> numbers(random() % 30 + 1);
    for (int& n : numbers) n = static_cast<int>(random() % 40 + 1);
    std::string file;
    for (int n : numbers) file += std::to_string(n) + "\tb\ta\r\n";
    // The pairwise search: the first entry whose number comes again, at its next line.
    long expectedLine = 0;
    for (std::size_t i = 0; i < numbers.size() && expectedLine == 0; ++i) {
      for (std::size_t j = i + 1; j < numbers.size(); ++j) {
        if (numbers[j] == numbers[i]) {
          expectedLine = static_cast<long>(j + 1);
          break;
        }
      }
    }
    if (expectedLine == 0) {
      ASSERT_EQ(load(file), 0) << round;
      for (std::size_t i = 0; i < numbers.size(); ++i) ASSERT_EQ(findReplacement(testRun(), numbers[i])->line, long(i + 1));
    } else {
      ASSERT_EQ(load(file), -1) << round;
      ASSERT_EQ(message(), sjis("読替定義ファイルの構造が不正です CONTENS = [読替番号が重複しています] ROWS = [" +
                                std::to_string(expectedLine) + "] COLS = [1]"))
          << file;
    }
  }
}

TEST_F(ReplacementReader, LongLinesAndManyEntriesGrowTheirAreas) {
  // A line of 600,000 bytes: the work area grows to hold it and the text area by one step.
  const std::string after(600000, 'z');
  std::string shortLines;
  for (int n = 2; n <= 2000; ++n) shortLines += std::to_string(n) + "\tx\ty\n";
  const std::string file = "1\t\t" + after + "\n" + shortLines;
  ASSERT_EQ(load(file), 0);
  EXPECT_EQ(testRun().output.replaceCount, 2000);
  EXPECT_EQ(testRun().output.replaceTextsSize, 2 * 524288);
  EXPECT_EQ(testRun().output.replaceEntriesSize, 3 * 20480);
  const ReplacementEntry* first = findReplacement(testRun(), 1);
  EXPECT_EQ(text(first->afterOffset, first->afterLength), after);
  EXPECT_EQ(findReplacement(testRun(), 2000)->line, 2000);

  const struct {
    std::string file;
    std::size_t size;
    std::string text;
  } failures[] = {
      {file, 602112, "メモリの拡張に失敗しました CONTENTS = [作業領域] MEMORYOFFSET = [602112]"},
      {file, 1048576, "メモリの拡張に失敗しました CONTENTS = [読替内容領域] MEMORYOFFSET = [1048576]"},
      // Short lines only, so that the work area never grows past its first size.
      {shortLines, 40960, "メモリの拡張に失敗しました CONTENTS = [読替構造体領域] MEMORYOFFSET = [40960]"},
  };
  for (const auto& f : failures) {
    releaseOutputAreas(testRun());
    ASSERT_EQ(takeOutputAreas(testRun()), 0);
    static std::size_t refused;
    refused = f.size;
    setAllocationSeam(AllocationSeam{0, -1, [](std::size_t size) { return size == refused; }});
    EXPECT_EQ(load(f.file), -1);
    EXPECT_EQ(testRun().messageCode, 1014);
    EXPECT_EQ(message(), sjis(f.text));
    resetAllocationSeam();
  }
}

}  // namespace
}  // namespace mq
