#include "common/run_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/message_log.h"
#include "common/texts.h"
#include "common/work_areas.h"
#include "tests/test_support.h"

namespace mq {
namespace {

std::vector<std::string> slots() {
  std::vector<std::string> result;
  for (const auto& slot : testRun().args) result.emplace_back(slot);
  return result;
}

TEST(CommandLineSplitting, FillsSlotsAsTheRunFrameSplitsThem) {
  struct Case {
    std::string line;
    std::vector<std::string> expected;  // the leading slots; the rest must be empty
  };
  const std::vector<Case> cases = {
      {"", {}},
      {"settings.ini", {"settings.ini"}},
      {"settings.ini   ", {"settings.ini"}},
      {"  settings.ini", {"", "settings.ini"}},
      {"a  b", {"a", "b"}},
      {"\ta\t b", {"a", "b"}},                      // TAB is no separator, only trimmed
      {"a\tb", {"a\tb"}},                           // so it stays inside a word
      {"\"my file.ini\"", {"\"my", "file.ini\""}},  // no quoting
      {"1 2 3 4 5 6 7 8 9 10 11 12", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(setupRunRecord(testRun(), c.line.c_str(), "Marquill"), 0) << c.line;
    std::vector<std::string> expected = c.expected;
    expected.resize(kArgumentSlots);
    EXPECT_EQ(slots(), expected) << "[" << c.line << "]";
  }
}

TEST(CommandLineSplitting, StartsWithTheNoErrorMessageAndTheProgramName) {
  testRun().messageCode = 77;
  ASSERT_EQ(setupRunRecord(testRun(), "x", "AVeryLongProgramNameThatDoesNotFitItsField"), 0);
  EXPECT_EQ(testRun().messageCode, 0);
  EXPECT_EQ(std::string(testRun().messageText), test::sjis("エラーはありません"));
  EXPECT_EQ(std::string(testRun().programName), "AVeryLongProgramNameThatDoesNot");
}

TEST(CommandLineSplitting, RefusesAnArgumentLongerThanItsSlot) {
  const std::string fits(255, 'f');
  ASSERT_EQ(setupRunRecord(testRun(), ("  " + fits + "  ").c_str(), "Marquill"), 0);
  EXPECT_EQ(std::string(testRun().args[1]), fits);

  const std::string tooLong = std::string(300, 'p');
  EXPECT_EQ(setupRunRecord(testRun(), ("ok " + tooLong).c_str(), "Marquill"), -1);
  EXPECT_EQ(testRun().messageCode, 1031);
  EXPECT_EQ(std::string(testRun().messageText),
            test::sjis("パラメータの設定ミスです PARA=[") + std::string(256, 'p') + "]");

  // Words after the tenth are never looked at, whatever their length.
  std::string eleven;
  for (int i = 0; i < 10; ++i) eleven += "w ";
  EXPECT_EQ(setupRunRecord(testRun(), (eleven + tooLong).c_str(), "Marquill"), 0);
}

// Arguments as the program received them fill the slots as they stand: blanks, quotes and
// empty ones included; one over 255 bytes is refused, those after the tenth are not read.
TEST(ArgumentSlots, EachArgumentFillsOneSlotAsItStands) {
  const std::string longest(255, 'p');
  const std::string tooLong(256, 'q');
  std::vector<const char*> arguments = {"my docs/run job.ini", " x ", "", "\"q\"", longest.c_str()};
  ASSERT_EQ(setupRunRecord(testRun(), static_cast<int>(arguments.size()), arguments.data(), "Marquill"), 0);
  for (std::size_t k = 0; k < arguments.size(); ++k) EXPECT_EQ(std::string(testRun().args[k]), arguments[k]) << k;
  EXPECT_EQ(testRun().args[5][0], '\0');
  EXPECT_EQ(testRun().messageCode, 0);

  arguments.push_back(tooLong.c_str());
  EXPECT_EQ(setupRunRecord(testRun(), static_cast<int>(arguments.size()), arguments.data(), "Marquill"), -1);
  EXPECT_EQ(testRun().messageCode, 1031);
  EXPECT_EQ(std::string(testRun().messageText), test::sjis("パラメータの設定ミスです PARA=[") + std::string(256, 'q') + "]");

  std::vector<const char*> eleven(10, "w");
  eleven.push_back(tooLong.c_str());
  EXPECT_EQ(setupRunRecord(testRun(), static_cast<int>(eleven.size()), eleven.data(), "Marquill"), 0);
}

}  // namespace
}  // namespace mq
