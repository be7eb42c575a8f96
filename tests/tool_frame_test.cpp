// The tools' frame: each step once, in order; the overwrite question; the last message
// reported; the exit code of the failing step.
#include "common/tool_frame.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/message_log.h"
#include "common/run_record.h"
#include "common/texts.h"
#include "tests/test_support.h"

namespace mq {
namespace {

using test::ConsoleCapture;
using test::sjis;

const std::string kQuestion = "P: " + sjis("ファイルが存在します。上書きしてもよろしいですか？") + " [OK/Cancel] ";

// The steps record their calls and fail on request.
struct FakeTool {
  std::string trace;
  int results[3];  // options, areas, run
};
FakeTool gFake;

int fakeStep(char name, int index, MessageCode code, const char* format) {
  gFake.trace += name;
  if (gFake.results[index] != 0) setMessage(testRun(), code, format, "z");
  return gFake.results[index];
}
int fakeOptions() { return fakeStep('o', 0, kCodeParameterError, kFmtParameterError); }
int fakeAreas() { return fakeStep('t', 1, kCodeTakeFailed, kFmtOpenFailed); }
int fakeRun() { return fakeStep('r', 2, kCodeReadFailed, kFmtReadFailed); }
void fakeRelease() { gFake.trace += 'x'; }

class ToolFrame : public test::ScratchDir {};

TEST_F(ToolFrame, RunsEachStepOnceAndReportsTheLastMessage) {
  const std::string done = "P: " + sjis("正常に終了しました。") + "\n";
  const std::string declined = "P: " + sjis("処理は行われませんでした") + "\n";
  struct Case {
    const char* old;  // contents of the output file; nullptr: no file
    std::string answer;
    struct {
      const char* trace;  // the steps expected to run
      int results[3];
    } fake;
    int exitCode;
    std::string err;
  };
  const std::vector<Case> cases = {
      {nullptr, "", {"otrx", {0, 0, 0}}, 0, ""},
      {"", "", {"otrx", {0, 0, 0}}, 0, ""},
      {"x", "yes\n", {"otrx", {0, 0, 0}}, 0, kQuestion},
      {"x", "no\n", {"o", {0, 0, 0}}, 255, kQuestion + declined},
      {"x", "", {"o", {0, 0, 0}}, 255, kQuestion + declined},
      {"x", "yes\n", {"o", {-1, 0, 0}}, 255, "P: " + sjis("パラメータの設定ミスです PARA=[z]") + "\n"},
      {nullptr, "", {"ot", {0, -1, 0}}, 255, "P: " + sjis("ファイルのオープンに失敗しました FILENAME = [z]") + "\n"},
      {nullptr, "", {"otrx", {0, 0, 3}}, 3, "P: " + sjis("ファイルの読込みに失敗しました FILENAME = [z]") + "\n"},
      {nullptr, "", {"otrx", {0, 0, 256}}, 255, "P: " + sjis("ファイルの読込みに失敗しました FILENAME = [z]") + "\n"},
  };
  const std::string output = path("out.txt");
  for (const Case& c : cases) {
    std::remove(output.c_str());
    if (c.old != nullptr) test::writeFile(output, c.old);
    gFake = FakeTool{"", {c.fake.results[0], c.fake.results[1], c.fake.results[2]}};
    ConsoleCapture console(c.answer);
    EXPECT_EQ(runTool(testRun(), "a b", "P", ToolSteps{fakeOptions, output.c_str(), fakeAreas, fakeRun, fakeRelease}), c.exitCode);
    EXPECT_EQ(gFake.trace, c.fake.trace) << c.fake.trace;
    EXPECT_EQ(console.err(), c.err) << c.fake.trace;
    EXPECT_EQ(console.out(), c.exitCode == 0 ? done : "");
    if (c.old != nullptr && c.exitCode != 0) {
      EXPECT_EQ(test::readFile(output), c.old);
    }
  }
  gFake = FakeTool{};
  ConsoleCapture console;
  EXPECT_EQ(
      runTool(testRun(), ("a " + std::string(300, 'p')).c_str(), "P", ToolSteps{fakeOptions, "", fakeAreas, fakeRun, fakeRelease}),
      255);
  EXPECT_EQ(gFake.trace, "");
  EXPECT_EQ(console.err(), "P: " + sjis("パラメータの設定ミスです PARA=[") + std::string(256, 'p') + "]\n");
}

}  // namespace
}  // namespace mq
