// The recode tool's steps in this process: options, pieces and their boundaries, the output
// area's limits and every failure with its message.
#include "tools/recode_tool.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/message_log.h"
#include "common/run_record.h"
#include "common/work_areas.h"
#include "tests/test_support.h"

namespace mq {
namespace {

using test::sjis;

// The options as "target input output", or the PARA of the 1031 message.
std::string parsedOptions(const std::string& line) {
  EXPECT_EQ(setupRunRecord(gRecodeRecord, line.c_str(), "ToolRecast"), 0);
  if (parseRecodeOptions() != 0) {
    EXPECT_EQ(gRecodeRecord.messageCode, 1031);
    const std::string text = gRecodeRecord.messageText;
    return text.substr(text.find("PARA="));
  }
  const char* targets[] = {"SJIS", "EUC", "JIS", "UTF8"};
  const char* inputs[] = {"", " /e=UTF8", " /e=UTF16", " /e=SJIS", " /e=EUC", " /e=JIS"};
  return std::string(targets[static_cast<int>(gRecodeOptions.target)]) + inputs[static_cast<int>(gRecodeOptions.inputCode)] +
         " " + gRecodeOptions.inputFile + " " + gRecodeOptions.outputFile;
}

TEST(RecodeOptions, NameTheTargetAndBothFilesInAnyOrderAndRefuseTheRest) {
  const std::string filesNotGiven = "PARA=[" + sjis("ファイルの指定が正しくありません") + "]";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"a b", "SJIS a b"},
      {"/cEUC a b", "EUC a b"},
      {"a /CjIs b", "JIS a b"},
      {"a b /csjis", "SJIS a b"},
      {"a b /cutf8", "UTF8 a b"},
      {"/cJIS /cEUC a b", "EUC a b"},
      {"/cEUC a b /c /cXYZ /C", "EUC a b"},  // a name not recognised keeps the target
      {"/cJIS /cEUCX /cEU /cJIS2 /cUTF-8 a b", "JIS a b"},
      {"a b c /cEUC d", "EUC a b"},
      {"/home/u/in.txt /ceuc /tmp/x/out.txt", "EUC /home/u/in.txt /tmp/x/out.txt"},
      {"/eEUC a b /cUTF8", "UTF8 /e=EUC a b"},
      {"/eutf16 /Ejis a b", "SJIS /e=JIS a b"},
      {"/esjis a b", "SJIS /e=SJIS a b"},
      {"/eUTF8 a b", "SJIS /e=UTF8 a b"},
      {"/e a b", "PARA=[/e]"},
      {"/eLatin1 a b", "PARA=[/eLatin1]"},
      {"/ a b", "PARA=[/]"},
      {"a b /x", "PARA=[/x]"},
      {"/cEUC /k a b", "PARA=[/k]"},
      {"/EUC a b", "PARA=[/EUC]"},
      {"/cEUC a", filesNotGiven},
      {"", filesNotGiven},
  };
  for (const auto& [line, expected] : cases) EXPECT_EQ(parsedOptions(line), expected) << line;
}

// The console pointed at temporary files, so that the tool's reports stay off the terminal.
class QuietConsole {
 public:
  explicit QuietConsole(const std::string& answer = "") {
    for (std::FILE*& f : files_) f = test::temporaryFile();
    std::fputs(answer.c_str(), files_[0]);
    std::rewind(files_[0]);
    setConsole(ConsoleStreams{files_[0], files_[1], files_[2], ConsoleCode::ShiftJis});
  }
  ~QuietConsole() {
    resetConsole();
    for (std::FILE* f : files_) std::fclose(f);
  }

 private:
  std::FILE* files_[3];
};

std::string convertedWhole(const std::string& text, CodeKind target) {
  std::vector<unsigned char> out(static_cast<std::size_t>(conversionCapacity(static_cast<int32_t>(text.size()), target)));
  const int32_t written = ConvertCode(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                      static_cast<int32_t>(text.size()), target);
  return std::string(out.begin(), out.begin() + written);
}

const char* optionOf(CodeKind target) {
  return target == CodeKind::Jis ? "/cJIS" : target == CodeKind::Euc ? "/cEUC" : "/cSJIS";
}

class RecodeRun : public test::ScratchDir {
 protected:
  void TearDown() override {
    resetAllocationSeam();
    EXPECT_EQ(gRecodeAreas.output, nullptr);
    EXPECT_EQ(gRecodeAreas.input, nullptr);
    test::ScratchDir::TearDown();
  }
  // The whole tool in this process on in.txt, writing out.txt; returns the exit code.
  int recode(const std::string& options, const std::string& input, const std::string& output = "out.txt") {
    test::writeFile(path("in.txt"), input);
    std::remove(path("out.txt").c_str());
    QuietConsole console;
    const std::string outputName = output[0] == '/' ? output : path(output);
    return runRecodeTool((options + " " + path("in.txt") + " " + outputName).c_str());
  }
  std::string output() { return test::readFile(path("out.txt")); }
};

// In a mixture of codes: characters, escape sequences and JIS runs placed across the first
// and second piece boundary at every offset, and at the end of inputs one byte short of, exactly at and one
// byte past a piece: the file comes out as one conversion of the whole, with no escape pair
// added at a boundary and nothing lost.
TEST_F(RecodeRun, PiecesCutAnywhereGiveOneConversionOfTheWhole) {
  const std::vector<std::string> straddlers = {
      "\x93\xFA\x96\x7B",                    // Shift-JIS
      "\xC6\xFC\xCB\xDC",                    // EUC
      "\x1B$B\x46\x7C\x4B\x5C\x1B(B",        // a closed JIS run
      "\x1B$B\x46\x7C\n\x46\x7C\r\n",        // a JIS run over a line feed, ended by CR
      "\x88\x9F\n\x88\x9F\x1B(J",            // a line feed inside a Shift-JIS run
      "\x1BK\x1B$A\x41\x42",                 // an escape that passes through, an open designation
      "\x88\x9F\xE0\x40",                    // a first byte read as Shift-JIS after a Shift-JIS pair
  };
  for (const CodeKind target : {CodeKind::Sjis, CodeKind::Euc, CodeKind::Jis}) {
    const std::size_t piece = static_cast<std::size_t>(kRecodeInputPiece);
    for (const std::size_t size : {piece - 1, piece, piece + 1, 2 * piece + 1}) {
      for (const std::string& straddler : straddlers) {
        for (std::size_t before = 0; before <= straddler.size(); ++before) {
          std::string text(size, 'a');
          text[0] = '\xFF';  // no code reads it: the text is a mixture, read byte by byte
          for (const std::size_t boundary : {piece, 2 * piece}) {
            if (boundary >= before && boundary - before + straddler.size() <= size) {
              text.replace(boundary - before, straddler.size(), straddler);
            } else if (size >= straddler.size()) {
              text.replace(size - straddler.size(), straddler.size(), straddler);  // cut by the end
            }
          }
          ASSERT_EQ(recode(optionOf(target), text), 0);
          ASSERT_EQ(output(), convertedWhole(text, target))
              << static_cast<int>(target) << " size " << size << " " << before << " before";
        }
      }
    }
  }
}

TEST_F(RecodeRun, MixedTextOfManyPiecesAndTheLargestJisGrowthFitTheArea) {
  std::mt19937 random(8);
  const std::string parts[] = {"\x93\xFA", "\xC6\xFC", "\x1B$B", "\x1B(B", "\x1B(J", "\n", "\r\n", "\x1B", "abc ",
                               "\xE0\x40", "\x8E\xB1", "\x46\x7C"};
  std::string text = "\xFF";  // a mixture whatever follows
  while (text.size() < 100000) text += parts[random() % 12];
  for (const CodeKind target : {CodeKind::Sjis, CodeKind::Euc, CodeKind::Jis}) {
    ASSERT_EQ(recode(optionOf(target), text), 0);
    EXPECT_EQ(output(), convertedWhole(text, target)) << static_cast<int>(target);
  }
  // Every line feed inside a two-byte run becomes 7 bytes in JIS: pieces of nothing else come
  // near the area's end (the sanitizer build catches a byte past it).
  const std::string feeds = "\xFF\x88\x9F" + std::string(4 * kRecodeInputPiece, '\n');
  ASSERT_EQ(recode("/cJIS", feeds), 0);
  EXPECT_EQ(output(), convertedWhole(feeds, CodeKind::Jis));
  EXPECT_EQ(output().size(), 1 + 5 + 7 * (feeds.size() - 3) + 3);
}

TEST_F(RecodeRun, FailuresReportTheirTextKeepTheOldOutputAndReleaseTheAreas) {
  const std::string in = path("in.txt");
  struct Case {
    long failAllocation;  // the allocation that fails (1 the output area, 2 and 3 the areas between steps, 4 the input block); 0 none
    std::string input, output;
    int32_t code;
    std::string message;
  };
  const std::vector<Case> cases = {
      {1, "abc", "out.txt", 1011, sjis("メモリの取得に失敗しました CONTENTS = [出力領域] MEMORYSIZE = [32832]")},
      {2, "abc", "out.txt", 1011, sjis("メモリの取得に失敗しました CONTENTS = [コード変換一時領域] MEMORYSIZE = [32832]")},
      {4, "abc", "out.txt", 1003, sjis("ファイルの読込みに失敗しました FILENAME = [") + in + "]"},
      {0, "", "no/out.txt", 1003, sjis("ファイルの読込みに失敗しました FILENAME = [") + path("no/out.txt") + "]"},
      // A few bytes wait in the stream until the close; more than its buffer fail on the way.
      {0, "abc", "/dev/full", 1002, sjis("ファイルの書込みに失敗しました FILENAME = [/dev/full]")},
      {0, std::string(600000, 'x'), "/dev/full", 1002, sjis("ファイルの書込みに失敗しました FILENAME = [/dev/full]")},
  };
  for (const Case& c : cases) {
    if (c.output == "/dev/full" && test::kFullDisk == nullptr) continue;
    test::writeFile(in, c.input);
    test::writeFile(path("out.txt"), "old");
    AllocationSeam seam;
    seam.failAt = c.failAllocation;
    setAllocationSeam(seam);
    {
      QuietConsole console("yes\n");
      const std::string output = c.output[0] == '/' ? c.output : path(c.output);
      EXPECT_EQ(runRecodeTool(("/cEUC " + in + " " + output).c_str()), 255) << c.message;
    }
    resetAllocationSeam();
    EXPECT_EQ(gRecodeRecord.messageCode, c.code);
    EXPECT_EQ(std::string(gRecodeRecord.messageText), c.message);
    EXPECT_EQ(test::readFile(path("out.txt")), "old") << c.message;
    EXPECT_EQ(gRecodeAreas.output, nullptr);
    EXPECT_EQ(gRecodeAreas.input, nullptr);
  }
  // A missing input leaves the output untouched too.
  std::remove(in.c_str());
  QuietConsole console("yes\n");
  EXPECT_EQ(runRecodeTool((in + " " + path("out.txt")).c_str()), 255);
  EXPECT_EQ(std::string(gRecodeRecord.messageText), sjis("ファイルの読込みに失敗しました FILENAME = [") + in + "]");
  EXPECT_EQ(test::readFile(path("out.txt")), "old");
}

// Text in one code whose characters straddle the piece boundaries at every offset: the
// output is what the system's converter makes of the whole text.
TEST_F(RecodeRun, CharactersOfOneCodeAcrossPieceBoundariesComeOutWhole) {
  if (!test::systemConvertsCodes()) GTEST_SKIP() << "no converter to hold the output against";
  const std::string unit = "日本語ｶﾅ、テキスト。";  // three-byte UTF-8, one-byte kana in Shift-JIS
  const struct {
    const char* option;
    const char* from;
    const char* to;
  } ways[] = {{"/cEUC", "CP932", "EUC-JP-MS"},
              {"/cSJIS", "EUC-JP-MS", "CP932"},
              {"/cUTF8", "EUC-JP-MS", "UTF-8"},
              {"/cSJIS", "UTF-8", "CP932"},
              {"/cJIS", "UTF-8", "CP932"}};
  for (const auto& way : ways) {
    for (std::size_t offset = 0; offset < 4; ++offset) {
      std::string utf8(offset, 'x');
      while (utf8.size() < 2 * kRecodeInputPiece + 64) utf8 += unit;
      const std::string input = test::convert(utf8, "UTF-8", way.from);
      ASSERT_EQ(recode(way.option, input), 0) << way.option << " from " << way.from;
      std::string want = test::convert(utf8, "UTF-8", way.to);
      if (std::string(way.option) == "/cJIS") {
        // JIS has no reference here; back to Shift-JIS it must come.
        test::writeFile(path("j.txt"), output());
        std::remove(path("s.txt").c_str());
        QuietConsole console;
        ASSERT_EQ(runRecodeTool(("/cSJIS " + path("j.txt") + " " + path("s.txt")).c_str()), 0);
        EXPECT_EQ(test::readFile(path("s.txt")), want) << "through JIS, offset " << offset;
        continue;
      }
      EXPECT_EQ(output(), want) << way.option << " from " << way.from << ", offset " << offset;
    }
  }
}

}  // namespace
}  // namespace mq
