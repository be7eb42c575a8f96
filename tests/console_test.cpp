// The tools' console: which arguments are file names, which answers accept, and how the
// Shift-JIS texts reach a UTF-8 terminal.
#include "common/console.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/texts.h"
#include "tests/test_support.h"

namespace mq {
namespace {

using test::ConsoleCapture;
using test::sjis;

TEST(ConsoleRules, TellsPathsFromOptionsAndOkFromAnyOtherAnswer) {
  const std::vector<std::pair<const char*, bool>> arguments = {
      {"/", false},      {"/kx", false}, {"/k/x", false}, {"/p/", false},
      {"/tmp", false},   {"/ab/", true}, {"/p//", true},  {"/home/u/page.html", true},
      {"dir/x/y", false}};
  for (const auto& [argument, isPath] : arguments) EXPECT_EQ(isPathArgument(argument), isPath) << argument;

  const std::vector<std::pair<std::string, bool>> answers = {
      {"OK\n", true}, {"o\n", true},   {" Yes \r\n", true}, {"y", true},      {"", false},
      {"\n", false},  {"no\n", false}, {"YESS\n", false},   {"o k\n", false}, {"\nyes\n", false}};
  for (const auto& [answer, ok] : answers) {
    ConsoleCapture console(answer);
    EXPECT_EQ(askOkCancel("P", kTextOverwriteQuestion), ok) << "[" << answer << "]";
    EXPECT_EQ(console.err(), "P: " + sjis("ファイルが存在します。上書きしてもよろしいですか？") + " [OK/Cancel] ");
  }
  ConsoleCapture console(" no " + std::string(5000, 'y') + "\nnext");
  EXPECT_FALSE(askOkCancel("P", "?"));
  EXPECT_EQ(std::getc(console.in()), 'n');  // exactly one line was taken
}

TEST(ConsoleRules, ConvertsToUtf8AndPassesBytesWithoutAForm) {
  // 0x80 has no character in CP932 as iconv reads it (Windows' own table gives it U+0080);
  // 0x81 before a space is a lead byte without a trail byte; a lead byte at the very end
  // has lost its trail byte.
  const std::string lead = sjis("示").substr(0, 1);
  const std::string text = sjis("表") + "\x80" + "\x81 a" + lead;
#ifdef _WIN32
  const std::string eighty = "\xC2\x80";
#else
  const std::string eighty = "\x80";
#endif
  {
    ConsoleCapture console("", ConsoleCode::Utf8);
    showFinalReport("P", text.c_str(), true);
    EXPECT_EQ(console.err(), "P: 表" + eighty + "\x81 a" + lead + "\n");
    EXPECT_EQ(console.out(), "");
  }
  ConsoleCapture console("", ConsoleCode::ShiftJis);
  showFinalReport("P", text.c_str(), false);
  EXPECT_EQ(console.out(), "P: " + text + "\n");
}

}  // namespace
}  // namespace mq
