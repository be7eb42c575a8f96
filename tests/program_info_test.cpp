// Every program answers --help, -h and --version on standard output in the terminal's code,
// with exit code 0, and does nothing else: no log, no dialog, no file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace mq {
namespace {

using test::sjis;

struct Program {
  std::string path, name, usage, japanese;  // usage: its first line; japanese: a text it quotes
};

const std::vector<Program> kPrograms = {
    {MQ_MARQUILL, "Marquill", "Usage: Marquill SETTINGS\n", "ＩＮＩファイルの設定ミスです SECTION=[LOG] KEY=[WARLOGOUT]"},
    {MQ_TOOL_X, "ToolMqlInputX", "Usage: ToolMqlInputX [/k] [/d] [/pC] [/s] [/eCODE] [/u] [/y] DOCUMENT LISTING\n", "正常に終了しました。"},
    {MQ_TOOL_H, "ToolMqlInputH", "Usage: ToolMqlInputH [/k] [/d] [/pC] [/s] [/eCODE] [/u] [/y] DOCUMENT LISTING\n", "正常に終了しました。"},
    {MQ_TOOL_RECAST, "ToolRecast", "Usage: ToolRecast [/cCODE] [/eCODE] [/y] INPUT OUTPUT\n",
     "ファイルが存在します。上書きしてもよろしいですか？"},
};

class ProgramInfo : public test::ScratchDir {};

TEST_F(ProgramInfo, HelpAndVersionGoToStandardOutputAndEndWithZero) {
  for (const Program& p : kPrograms) {
    SCOPED_TRACE(p.name);
    for (const std::vector<std::string>& request :
         {std::vector<std::string>{"--help"}, std::vector<std::string>{"-h", "a", "b"}}) {
      const auto result = test::runProgram(p.path, request, dir_);
      EXPECT_EQ(result.exitCode, 0);
      const std::string usage = test::onTerminal(p.usage);
      EXPECT_EQ(result.out.substr(0, usage.size()), usage);
      EXPECT_NE(result.out.find(sjis(p.japanese)), std::string::npos) << "Shift-JIS for a Shift-JIS terminal";
      EXPECT_EQ(result.err, "");
      EXPECT_EQ(result.boxes, "");
    }
    const auto version = test::runProgram(p.path, {"--version"}, dir_);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, test::onTerminal(p.name + " " + MQ_VERSION + "\nstandard parser (PARSER=STANDARD, /s): " +
                                            MQ_STANDARD_PARSER_TEXT + "\n"));
    EXPECT_EQ(version.boxes, "");
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir_)) << "no log and no file";
  // Only the first argument asks; elsewhere these are what they always were.
  for (const Program& p : kPrograms) EXPECT_NE(test::runProgram(p.path, {"x", "--version"}, dir_).exitCode, 0) << p.name;
}

// The terminal's code comes from the locale, also from the name of one that is not
// installed: Shift-JIS or EUC when its code set says so, UTF-8 for every other, the C
// locale and an empty environment (cron, CI) included.
TEST_F(ProgramInfo, TheHelpComesInTheTerminalsCodeUtf8UnlessItIsShiftJisOrEuc) {
  if (!test::kTerminalCodeFromEnvironment) GTEST_SKIP() << "the terminal's code is the console's code page here";
  struct Terminal {
    std::vector<std::string> environment;
    const char* code;  // iconv's name of what the terminal reads
  };
  const std::vector<Terminal> terminals = {
      {{"LC_ALL=C.UTF-8"}, "UTF-8"},
      {{"LC_ALL=", "LANG=xx_YY.UTF-8"}, "UTF-8"},
      {{"LC_ALL=", "LC_CTYPE=xx_YY.utf8", "LANG=ja_JP.SJIS"}, "UTF-8"},
      {{"LC_ALL=C"}, "UTF-8"},
      {{"LC_ALL="}, "UTF-8"},
      {{"LC_ALL=", "LC_CTYPE=xx_YY.ISO-8859-1", "LANG=ja_JP.SJIS"}, "UTF-8"},
      {{"LC_ALL=xx_YY", "LANG=ja_JP.SJIS"}, "UTF-8"},
      {{"LC_ALL=ja_JP.SJIS"}, "CP932"},
      {{"LC_ALL=", "LANG=ja_JP.CP932"}, "CP932"},
      {{"LC_ALL=", "LC_CTYPE=xx_YY.Shift_JIS"}, "CP932"},
      {{"LC_ALL=ja_JP.eucJP"}, "EUC-JP"},
      {{"LC_ALL=", "LANG=ja_JP.EUC-JP@x"}, "EUC-JP"},
  };
  for (const Program& p : kPrograms) {
    for (const Terminal& t : terminals) {
      const auto result = test::runProgram(p.path, {"--help"}, dir_, "", t.environment);
      EXPECT_NE(result.out.find(test::convert(p.japanese, "UTF-8", t.code)), std::string::npos)
          << p.name << " " << t.environment.back();
    }
  }
}

}  // namespace
}  // namespace mq
