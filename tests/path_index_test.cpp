// The path index against a plain count per path text, over many random paths.
#include "markup/path_index.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/run_record.h"
#include "common/work_areas.h"
#include "markup/parser_scratch.h"
#include "tests/test_support.h"

namespace mq {
namespace {

class PathIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setupRunRecord(testRun(), "", "test");
    ASSERT_EQ(allocateParserScratch(testRun()), 0);
    clearPathIndex(testRun());
  }
  void TearDown() override {
    resetAllocationSeam();
    releaseParserScratch(testRun());
  }

  // Opens one more name below the open ones, as the scanner does: counts its path, and
  // writes the path's text to the tag names when it is new.
  int open(const std::string& name, int32_t* sequence) {
    const int32_t parent = stack_.empty() ? -1 : stack_.back().entry;
    const std::string path = (stack_.empty() ? "" : stack_.back().path) + name;
    // Names and paths have room after them, as in their areas.
    const std::string roomy = name + std::string(kRoom, 'x');
    const PathKey key{parent, reinterpret_cast<const unsigned char*>(roomy.data()), static_cast<int32_t>(name.size()),
                      static_cast<int32_t>(path.size())};
    stack_.push_back(Open{-1, path});
    auto offset = static_cast<int32_t>(tagNames_.size() - kRoom);
    int32_t entry = -1;
    const int result =
        countPath(testRun(), key, reinterpret_cast<const unsigned char*>(tagNames_.data()), &offset, &entry, sequence);
    stack_.back().entry = entry;
    if (result == 0 && *sequence == 1) {
      tagNames_.resize(tagNames_.size() - kRoom);
      tagNames_ += path;
      tagNames_ += '\0';
      tagNames_.append(kRoom, 'x');
    } else if (result == 0) {
      // A path met before points at its own text.
      EXPECT_EQ(tagNames_.compare(static_cast<std::size_t>(offset), path.size(), path), 0) << path;
    }
    return result;
  }
  void close(std::size_t keep) { stack_.resize(keep); }

  struct Open {
    int32_t entry;
    std::string path;
  };
  std::vector<Open> stack_;
  static constexpr std::size_t kRoom = 8;
  std::string tagNames_ = std::string(kRoom, 'x');  // the paths' texts and the room after them
};

TEST_F(PathIndexTest, CountsEveryPathAsAPlainCountOfItsTextDoes) {
  // Names of one to twenty bytes, many sharing their first bytes, so that paths of equal
  // length under one parent differ only late in their last name.
  std::mt19937 random(20240611);
  std::vector<std::string> names;
  for (int i = 0; i < 40; ++i) {
    std::string name = "<N";
    name.append(static_cast<std::size_t>(i % 19), 'x').append(std::to_string(i % 7)).append(">");
    names.push_back(name);
  }
  // Names alike in their first sixteen bytes and length, and names that differ in length by a
  // zero byte alone: guesses keep a name's first bytes.
  for (int i = 0; i < 4; ++i) names.push_back(std::string("<M").append(14, 'x').append(std::to_string(i)));
  names.push_back("<Z>");
  names.push_back(std::string("<Z>\0", 4));
  std::map<std::string, int32_t> counts;
  std::map<std::string, int32_t> entries;
  for (int step = 0; step < 200000; ++step) {
    if (stack_.size() > 6 || (random() % 3 == 0 && !stack_.empty())) close(random() % stack_.size());
    int32_t sequence = 0;
    ASSERT_EQ(open(names[random() % names.size()], &sequence), 0);
    const Open& opened = stack_.back();
    ASSERT_EQ(sequence, ++counts[opened.path]) << opened.path;
    // One entry per path text, and the entry counts on where the scanner continues a path.
    const auto [known, added] = entries.emplace(opened.path, opened.entry);
    ASSERT_EQ(known->second, opened.entry) << opened.path;
    ASSERT_EQ(added, sequence == 1);
    if (step % 10 == 0) {
      ASSERT_EQ(countPathAgain(testRun(), opened.entry), ++counts[opened.path]);
    }
  }
  EXPECT_EQ(pathEntryCount(testRun()), static_cast<int32_t>(counts.size()));
  EXPECT_GT(counts.size(), 4096u) << "enough paths to double the index";
  EXPECT_GT(testRun().scratch.pathIndexSize, kPathIndexArea.firstSize);

  // A cleared index starts every path from 1 again.
  clearParserScratch(testRun());
  clearPathIndex(testRun());
  close(0);
  int32_t sequence = 0;
  ASSERT_EQ(open(names[0], &sequence), 0);
  EXPECT_EQ(sequence, 1);
  EXPECT_EQ(pathEntryCount(testRun()), 1);
}

std::string numbered(int i) { return std::string("<").append(std::to_string(i)).append(">"); }

TEST_F(PathIndexTest, FailedGrowthsNameTheSequenceArea) {
  int32_t sequence = 0;
  // The entries' area holds 20479 entries of 16 bytes before it grows; by then the index
  // has doubled four times, so the fifth allocation from here is the entries' growth.
  setAllocationSeam({.failAt = 5});
  int result = 0;
  for (int i = 0; i < 30000 && result == 0; ++i) {
    close(0);
    result = open(numbered(i), &sequence);
  }
  EXPECT_EQ(result, -1);
  EXPECT_EQ(pathEntryCount(testRun()), 20479);
  EXPECT_EQ(testRun().messageCode, 1014);
  EXPECT_EQ(std::string(testRun().messageText),
            test::sjis("メモリの拡張に失敗しました CONTENTS = [シーケンス構造領域] MEMORYOFFSET = [655360]"));

  // The index doubles at half full: 2048 of its 4096 first buckets. A fresh scratch, since
  // cleared areas keep their grown sizes.
  resetAllocationSeam();
  releaseParserScratch(testRun());
  ASSERT_EQ(allocateParserScratch(testRun()), 0);
  clearPathIndex(testRun());
  setAllocationSeam({.failAbove = 100000});
  result = 0;
  int opened = 0;
  for (; opened < 3000 && result == 0; ++opened) {
    close(0);
    result = open(numbered(opened), &sequence);
  }
  EXPECT_EQ(opened, 2048);
  EXPECT_EQ(std::string(testRun().messageText),
            test::sjis("メモリの拡張に失敗しました CONTENTS = [シーケンス構造領域] MEMORYOFFSET = [131072]"));
}

}  // namespace
}  // namespace mq
