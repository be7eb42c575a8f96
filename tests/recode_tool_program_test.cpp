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
// The report names the code the input was found in.
std::string done(const std::string& code) { return "ToolRecast: " + sjis("正常に終了しました。") + " CODE = [" + code + "]\n"; }
const std::string kDone = done("SJIS");
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
  const std::string found[] = {"SJIS", "EUC", "JIS", "MIXED"};
  std::vector<std::string> texts;
  for (const std::string& code : codes) texts.push_back(test::convert(utf8, "UTF-8", code.c_str()));
  texts.push_back(utf8);
  const std::string mixed = texts[0] + texts[1] + texts[2];
  std::vector<std::pair<std::vector<std::string>, int>> options = {
      {{}, 0}, {{"/cSJIS"}, 0}, {{"/ceuc"}, 1}, {{"/CJis"}, 2}, {{"/cJIS", "/c", "/cEUC", "/cXYZ"}, 1}};
  if (test::systemConvertsCodes()) options.push_back({{"/cUtf8"}, 3});  // UTF-8 needs the converter
  for (std::size_t t = 0; t <= 3; ++t) {
    writeFile(path("in.txt"), t < 3 ? texts[t] : mixed);
    for (const auto& [chosen, expected] : options) {
      std::vector<std::string> arguments = chosen;
      arguments.insert(arguments.begin() + (chosen.empty() ? 0 : 1), {"in.txt", "out.txt"});
      std::remove(path("out.txt").c_str());
      const auto result = run(arguments);
      EXPECT_EQ(result.exitCode, 0);
      test::expectToolDialog(result, "", done(found[t]));
      const std::string& one = texts[static_cast<std::size_t>(expected)];
      EXPECT_EQ(readFile(path("out.txt")), t < 3 ? one : one + one + one) << t << " " << expected;
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
    const std::string report = c.arguments[0] == "empty.txt" ? done("ASCII") : kDone;
    test::expectToolDialog(result, c.err, c.exitCode == 0 ? report : "");
    EXPECT_EQ(readFile(path("out.txt")), c.output) << c.arguments[0] << " " << c.answer;
  }
}

// A text in one code keeps every character its target holds: kana and the code page's
// extensions pass Shift-JIS to Shift-JIS unchanged, the IBM extensions and the user-defined
// area come back from EUC as themselves, JIS ends without an empty escape pair, and UTF-8
// goes both ways; what a target lacks is counted in the report.
TEST_F(RecodeToolProgram, TextInOneCodeKeepsEveryCharacterItsTargetHolds) {
  std::string extensions;
  for (int code = 0xFA40; code <= 0xFC4B; ++code) {
    const int trail = code & 0xFF;
    // FA4A-FA53 and FA58-FA5B are held twice; their preferred codes are elsewhere.
    if (trail < 0x40 || trail == 0x7F || trail > 0xFC || (code >= 0xFA4A && code <= 0xFA53) ||
        (code >= 0xFA58 && code <= 0xFA5B) || code == 0xFA54) {
      continue;
    }
    extensions += static_cast<char>(code >> 8);
    extensions += static_cast<char>(trail);
  }
  std::string userArea;
  for (int lead = 0xF0; lead <= 0xF9; ++lead) {
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      userArea += static_cast<char>(lead);
      userArea += static_cast<char>(trail);
    }
  }
  const std::string kana = sjis("ｱｲｳ 髙橋 ⅰ\nｶﾀｶﾅ\n");
  struct Step {
    std::string option, report;
  };
  const struct {
    std::string name, text;
    std::vector<Step> steps;  // each step converts the output of the one before
  } cases[] = {
      {"kana", kana, {{"/cSJIS", "SJIS"}}},
      {"extensions", extensions + "\n", {{"/cEUC", "SJIS"}, {"/cSJIS", "EUC"}}},
      {"user area", userArea, {{"/cEUC", "SJIS"}, {"/cSJIS", "EUC"}}},
      {"through JIS", kana + extensions, {{"/cJIS", "SJIS"}, {"/cSJIS", "JIS"}}},
      {"through UTF-8", kana + extensions, {{"/cUTF8", "SJIS"}, {"/cSJIS", "UTF8"}}},
  };
  for (const auto& c : cases) {
    if (c.name == "through UTF-8" && !test::systemConvertsCodes()) continue;
    writeFile(path("in.txt"), c.text);
    for (const Step& step : c.steps) {
      std::remove(path("out.txt").c_str());
      const auto result = run({step.option, "in.txt", "out.txt"});
      EXPECT_EQ(result.exitCode, 0) << c.name;
      test::expectToolDialog(result, "", done(step.report));
      writeFile(path("in.txt"), readFile(path("out.txt")));
    }
    EXPECT_EQ(readFile(path("out.txt")), c.text) << c.name;
  }
  // JIS of text ending in a line feed: no ESC $ B ESC ( B anywhere.
  writeFile(path("in.txt"), sjis("漢字\nabc\n"));
  ASSERT_EQ(run({"/cJIS", "in.txt", "j.txt"}).exitCode, 0);
  EXPECT_EQ(readFile(path("j.txt")), "\x1B$B4A;z\x1B(B\nabc\n");
  // The user-defined area has no JIS form: 〓, counted.
  writeFile(path("in.txt"), "a\xF0\x40" + std::string("b"));
  ASSERT_EQ(run({"/cJIS", "in.txt", "u.txt"}).exitCode, 0);
  EXPECT_EQ(readFile(path("u.txt")), "a\x1B$B\x22\x2E\x1B(Bb");
  if (!test::systemConvertsCodes()) GTEST_SKIP() << "UTF-8 needs the system's converter";
  // UTF-8 in: a character the code page lacks is 〓 in Shift-JIS, counted; UTF-8 out keeps it.
  writeFile(path("in.txt"), "caf\xC3\xA9 \xF0\xA0\xAE\xB7 \xE6\x97\xA5");
  const auto toSjis = run({"in.txt", "s.txt"});
  test::expectToolDialog(toSjis, "",
                         "ToolRecast: " +
                             sjis("正常に終了しました。 CODE = [UTF8] 変換できない文字を置き換えました FILENAME = [in.txt] COUNT = [2]") +
                             "\n");
  EXPECT_EQ(readFile(path("s.txt")), "caf\x81\xAC \x81\xAC " + sjis("日"));
  ASSERT_EQ(run({"/eUTF8", "/cUTF8", "in.txt", "u8.txt"}).exitCode, 0);
  EXPECT_EQ(readFile(path("u8.txt")), readFile(path("in.txt")));
}

}  // namespace
}  // namespace mq
