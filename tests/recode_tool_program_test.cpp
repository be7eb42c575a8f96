// ToolRecast end to end: files in any of the three codes in, the named code out, with the
// reports, the overwrite question and the exit codes of the tools.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/code_conversion.h"
#include "tests/test_support.h"

namespace mq {
namespace {

using test::readFile;
using test::sjis;
using test::writeFile;

const std::string kTool = MQ_TOOL_RECAST;
const std::string kDone = "ToolRecast: " + sjis("正常に終了しました。") + "\n";
const std::string kAsk = "ToolRecast: " + sjis("ファイルが存在します。上書きしてもよろしいですか？") + " [OK/Cancel] ";

std::string failure(const std::string& utf8) { return "ToolRecast: " + sjis(utf8) + "\n"; }

class RecodeToolProgram : public test::ScratchDir {
 protected:
  test::ProgramResult run(const std::vector<std::string>& arguments, const std::string& answer = "") {
    return test::runProgram(kTool, arguments, dir_, answer);
  }
};

TEST_F(RecodeToolProgram, ConvertsAnyMixOfTheThreeCodesIntoTheNamedOne) {
  // Every line ends in ASCII, so that the JIS written here is the JIS iconv writes.
  const std::string utf8 = "日本語の文章です。abc\r\n二行目は ASCII と漢字 x\nカタカナ・ひらがな end\n";
  const std::string codes[] = {"CP932", "EUC-JP", "ISO-2022-JP"};
  std::vector<std::string> texts;
  for (const std::string& code : codes) texts.push_back(test::convert(utf8, "UTF-8", code.c_str()));
  const std::string mixed = texts[0] + texts[1] + texts[2];
  const std::vector<std::pair<std::vector<std::string>, int>> options = {
      {{}, 0}, {{"/cSJIS"}, 0}, {{"/ceuc"}, 1}, {{"/CJis"}, 2}, {{"/cJIS", "/c", "/cEUC", "/cUTF8"}, 1}};
  for (std::size_t t = 0; t <= texts.size(); ++t) {
    writeFile(path("in.txt"), t < texts.size() ? texts[t] : mixed);
    for (const auto& [chosen, expected] : options) {
      std::vector<std::string> arguments = chosen;
      arguments.insert(arguments.begin() + (chosen.empty() ? 0 : 1), {"in.txt", "out.txt"});
      std::remove(path("out.txt").c_str());
      const auto result = run(arguments);
      EXPECT_EQ(result.exitCode, 0);
      test::expectToolDialog(result, "", kDone);
      const std::string& one = texts[static_cast<std::size_t>(expected)];
      EXPECT_EQ(readFile(path("out.txt")), t < texts.size() ? one : one + one + one) << t << " " << expected;
    }
  }
}

// 10239, 10240, 10241 and 20481 bytes of Shift-JIS and EUC, 2924, 2925, 2926 and 5851 for JIS,
// with two-byte characters, escapes and JIS runs cut at every piece boundary.
TEST_F(RecodeToolProgram, APieceBoundaryCutsNothing) {
  const std::string unit = "a\x93\xFA\x96\x7B\xC6\xFC\x1B$B\x46\x7C\n\x4B\x5C\x1B(B\x1B" "K";
  const std::vector<std::pair<std::string, std::vector<std::size_t>>> cases = {
      {"/cSJIS", {10239, 10240, 10241, 20481}}, {"/cEUC", {10239, 10240, 10241, 20481}}, {"/cJIS", {2924, 2925, 2926, 5851}}};
  for (const auto& [option, sizes] : cases) {
    const CodeKind target = option == "/cJIS" ? CodeKind::Jis : option == "/cEUC" ? CodeKind::Euc : CodeKind::Sjis;
    for (const std::size_t size : sizes) {
      std::string text;
      while (text.size() < size) text += unit;
      text.resize(size);
      writeFile(path("in.txt"), text);
      std::remove(path("out.txt").c_str());
      ASSERT_EQ(run({option, "in.txt", "out.txt"}).exitCode, 0);
      std::vector<unsigned char> whole(static_cast<std::size_t>(conversionCapacity(static_cast<int32_t>(size), target)));
      const int32_t written = ConvertCode(whole.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                          static_cast<int32_t>(size), target);
      EXPECT_EQ(readFile(path("out.txt")), std::string(whole.begin(), whole.begin() + written)) << option << size;
    }
  }
}

TEST_F(RecodeToolProgram, AnOutputIsReplacedOnlyAfterGoodOptionsAnOkAndAReadableInput) {
  writeFile(path("in.txt"), sjis("漢字") + "\n");
  writeFile(path("empty.txt"), "");
  const std::string converted = test::convert("漢字\n", "UTF-8", "EUC-JP");
  const std::string declined = failure("処理は行われませんでした");
  struct Case {
    std::vector<std::string> arguments;
    std::string old, answer;
    int exitCode;
    std::string err, output;
  };
  const std::vector<Case> cases = {
      {{"/cEUC", "in.txt", "out.txt"}, "", "", 0, "", converted},
      {{"/cEUC", "in.txt", "out.txt"}, "old", "ok\n", 0, kAsk, converted},
      {{"/cEUC", "in.txt", "out.txt"}, "old", "no\n", 255, kAsk + declined, "old"},
      {{"/cEUC", "in.txt", "out.txt"}, "old", "", 255, kAsk + declined, "old"},
      {{"empty.txt", "out.txt"}, "old", "y\n", 0, kAsk, ""},
      {{"/e", "in.txt", "out.txt"}, "old", "yes\n", 255, failure("パラメータの設定ミスです PARA=[/e]"), "old"},
      {{"in.txt", "/cJIS"}, "old", "", 255, failure("パラメータの設定ミスです PARA=[ファイルの指定が正しくありません]"),
       "old"},
      {{"none.txt", "out.txt"}, "old", "yes\n", 255, kAsk + failure("ファイルの読込みに失敗しました FILENAME = [none.txt]"),
       "old"},
      {{"in.txt", "no/out.txt"}, "old", "", 255, failure("ファイルの読込みに失敗しました FILENAME = [no/out.txt]"), "old"},
      // /dev/full measures 0 bytes, so it is written without a question; the write fails.
      {{"in.txt", "/dev/full"}, "old", "", 255, failure("ファイルの書込みに失敗しました FILENAME = [/dev/full]"), "old"},
  };
  for (const Case& c : cases) {
    if (std::ranges::count(c.arguments, "/dev/full") > 0 && test::kFullDisk == nullptr) continue;
    if (!test::kQuestionsCanBeAnswered && test::acceptsQuestion(c.answer) && c.err.starts_with(kAsk)) continue;
    writeFile(path("out.txt"), c.old);
    const auto result = run(c.arguments, c.answer);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments[0] << " " << c.answer;
    SCOPED_TRACE(c.arguments[0] + " " + c.answer);
    test::expectToolDialog(result, c.err, c.exitCode == 0 ? kDone : "");
    EXPECT_EQ(readFile(path("out.txt")), c.output) << c.arguments[0] << " " << c.answer;
  }
}

}  // namespace
}  // namespace mq
