#include "common/tool_frame.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/message_log.h"
#include "common/run_record.h"
#include "common/texts.h"
#include "common/work_areas.h"
#include "markup/parse_tables.h"
#include "tests/test_support.h"
#include "tools/listing_tool.h"

namespace mq {
namespace {

using test::sjis;

const std::string kQuestion = "P: " + sjis("ファイルが存在します。上書きしてもよろしいですか？") + " [OK/Cancel] ";

// The console pointed at temporary files, with `answer` waiting on its input.
class ConsoleCapture {
 public:
  explicit ConsoleCapture(const std::string& answer = "", ConsoleCode code = ConsoleCode::ShiftJis) {
    for (std::FILE*& f : files_) f = std::tmpfile();
    std::fputs(answer.c_str(), files_[0]);
    std::rewind(files_[0]);
    setConsole(ConsoleStreams{files_[0], files_[1], files_[2], code});
  }
  ~ConsoleCapture() {
    resetConsole();
    for (std::FILE* f : files_) std::fclose(f);
  }
  std::string out() { return drain(files_[1]); }
  std::string err() { return drain(files_[2]); }
  std::FILE* in() { return files_[0]; }

 private:
  static std::string drain(std::FILE* f) {
    std::rewind(f);
    std::string bytes;
    for (int c; (c = std::getc(f)) != EOF;) bytes += static_cast<char>(c);
    return bytes;
  }
  std::FILE* files_[3];
};

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
    EXPECT_EQ(console.err(), kQuestion);
  }
  ConsoleCapture console(" no " + std::string(5000, 'y') + "\nnext");
  EXPECT_FALSE(askOkCancel("P", "?"));
  EXPECT_EQ(std::getc(console.in()), 'n');  // exactly one line was taken
}

TEST(ConsoleRules, ConvertsToUtf8AndPassesBytesWithoutAForm) {
  // 0x80 has no character in CP932; a lead byte at the very end has lost its trail byte.
  const std::string lead = sjis("示").substr(0, 1);
  const std::string text = sjis("表") + "\x80" + "a" + lead;
  {
    ConsoleCapture console("", ConsoleCode::Utf8);
    showFinalReport("P", text.c_str(), true);
    EXPECT_EQ(console.err(),
              "P: 表\x80"
              "a" +
                  lead + "\n");
    EXPECT_EQ(console.out(), "");
  }
  ConsoleCapture console("", ConsoleCode::ShiftJis);
  showFinalReport("P", text.c_str(), false);
  EXPECT_EQ(console.out(), "P: " + text + "\n");
}

// ---- the frame, with steps that record their calls and fail on request

struct FakeTool {
  std::string trace;
  int results[3];  // options, areas, run
};
FakeTool gFake;

int fakeStep(char name, int index, MessageCode code, const char* format) {
  gFake.trace += name;
  if (gFake.results[index] != 0) setMessage(code, format, "z");
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
    EXPECT_EQ(runTool("a b", "P", ToolSteps{fakeOptions, output.c_str(), fakeAreas, fakeRun, fakeRelease}), c.exitCode);
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
      runTool(("a " + std::string(300, 'p')).c_str(), "P", ToolSteps{fakeOptions, "", fakeAreas, fakeRun, fakeRelease}),
      255);
  EXPECT_EQ(gFake.trace, "");
  EXPECT_EQ(console.err(), "P: " + sjis("パラメータの設定ミスです PARA=[") + std::string(256, 'p') + "]\n");
}

// ---- the listing tool

// The options as one text: separator, k and d when set, the two file names; or the PARA.
std::string parsedOptions(const std::string& line) {
  EXPECT_EQ(setupRunRecord(line.c_str(), "ToolMqlInputX"), 0);
  setListingKind(InputKind::Html);
  if (parseListingOptions() != 0) {
    EXPECT_EQ(gRunRecord.messageCode, 1031);
    const std::string text = gRunRecord.messageText;
    return text.substr(text.find("PARA="));
  }
  EXPECT_EQ(gSettings.inputCount, 1);
  EXPECT_EQ(gSettings.inputKind, InputKind::Html);
  return std::string(1, gListingOptions.separator) + (gListingOptions.writeHeader ? "k" : "") +
         (gListingOptions.skipEmptyValues ? "d" : "") + " " + gSettings.inputFiles[0] + " " +
         gListingOptions.listingFile;
}

TEST(ListingOptions, ReadsOptionsAndNamesInAnyOrderAndRefusesTheRest) {
  const std::string twoByte = sjis("表");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"  a   b  c", "\t a b"},
      {"/k a b /D", "\tkd a b"},
      {"/K /d a b", "\tkd a b"},
      {"/P, a b", ", a b"},
      {"/p, /p\\t a b", "\t a b"},
      {"/p, /p /pab /p" + twoByte + " a b", ", a b"},
      {"/p\\n /p\\r a b", "\r a b"},
      {"/p\\v a b /p\\a", "\a a b"},
      {"/p\\b a b", "\b a b"},
      {"/p\\f a b", "\f a b"},
      {"/p\\ /p/ a b", "/ a b"},
      {"/home/u/a.html /tmp/x/b.txt", "\t /home/u/a.html /tmp/x/b.txt"},
      {"/ a b", "PARA=[/]"},
      {"a b /kx", "PARA=[/kx]"},
      {"/k/x a b", "PARA=[/k/x]"},
      {"/bad a", "PARA=[/bad]"},
      {"/k /d a", "PARA=[" + sjis("ファイルの指定が正しくありません") + "]"},
      {"", "PARA=[" + sjis("ファイルの指定が正しくありません") + "]"},
  };
  for (const auto& [line, expected] : cases) EXPECT_EQ(parsedOptions(line), expected) << line;
}

class ListingWriter : public test::ScratchDir {
 protected:
  void SetUp() override {
    test::ScratchDir::SetUp();
    parsedOptions("in.html out.txt");
    ASSERT_EQ(takeListingAreas(), 0);
    openTableCursor(0);
    gTableCursor = TableCursor{0, 0, 0, 0};
  }
  void TearDown() override {
    resetAllocationSeam();
    releaseListingAreas();
    test::ScratchDir::TearDown();
  }
  void add(int32_t number, const std::string& content) {
    const int32_t path = gTableCursor.tagNameUsed;
    const int32_t offset = gTableCursor.contentUsed;
    ASSERT_EQ(appendTagPath("<P>", 3), 0);
    ASSERT_EQ(appendContent(content.data(), static_cast<int32_t>(content.size())), 0);
    ASSERT_EQ(appendTagRecord(number, number, path, 3, offset, static_cast<int32_t>(content.size())), 0);
    storeTableCursor(0);
  }
  void failNextAllocation() {
    AllocationSeam seam;
    seam.failAt = 1;
    setAllocationSeam(seam);
  }
};

TEST_F(ListingWriter, EscapesValuesAndGrowsTheValueAreaAt4080Bytes) {
  ASSERT_EQ(escapeValue("a\tb\nc\rd,", 8), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(gValueArea.bytes)), "a[09]b[0A]c[0D]d,");
  const std::vector<std::pair<std::string, int32_t>> cases = {
      {std::string(4079, 'x'), 4096}, {std::string(1019, '\t') + "xxx", 4096}, {std::string(1019, '\t') + "xxxx", 8192},
      {std::string(4080, 'x'), 8192}, {std::string(8176, 'x'), 12288},         {"ab", 12288}};  // the grown size stays
  for (const auto& [value, size] : cases) {
    ASSERT_EQ(escapeValue(value.data(), static_cast<int32_t>(value.size())), 0);
    EXPECT_EQ(gValueArea.size, size) << value.size();
    EXPECT_EQ(std::string(reinterpret_cast<char*>(gValueArea.bytes)).size(), static_cast<size_t>(gValueArea.used));
  }
  failNextAllocation();
  const std::string value(12300, 'x');
  EXPECT_EQ(escapeValue(value.data(), 12300), -1);
  EXPECT_EQ(std::string(gRunRecord.messageText),
            sjis("メモリの拡張に失敗しました CONTENTS = [作業領域] MEMORYOFFSET = [16384]"));
}

TEST_F(ListingWriter, AFailedWriteOrCloseGives1002AndAnEarlierFailureKeepsItsMessage) {
  const std::string full = sjis("ファイルの書込みに失敗しました FILENAME = [/dev/full]");
  const std::string growFailed = sjis("メモリの拡張に失敗しました CONTENTS = [作業領域] MEMORYOFFSET = [8192]");
  struct Case {
    const char* listing;
    int records;  // small ones, followed by one whose value cannot be escaped
    std::string message;
  };
  // A few lines wait in the stream's buffer; many fail on the way, which must end the
  // listing before the last record is reached.
  const std::vector<Case> cases = {
      {"/dev/full", 1, growFailed}, {"/dev/full", 20000, full}, {"out.txt", 1, growFailed}};
  for (const Case& c : cases) {
    releaseListingAreas();
    ASSERT_EQ(takeListingAreas(), 0);
    gTableCursor = TableCursor{0, 0, 0, 0};
    for (int i = 1; i <= c.records; ++i) add(i, "value");
    add(c.records + 1, std::string(5000, 'x'));
    std::snprintf(gListingOptions.listingFile, kArgumentSize, "%s", path(c.listing).c_str());
    if (c.listing[0] == '/') std::snprintf(gListingOptions.listingFile, kArgumentSize, "%s", c.listing);
    failNextAllocation();
    EXPECT_EQ(writeListing(), -1);
    EXPECT_EQ(std::string(gRunRecord.messageText), c.message) << c.records;
    resetAllocationSeam();
  }
  EXPECT_EQ(test::readFile(path("out.txt")), "1\t1\t1\t<P>\tvalue\r\n");
  // Nothing failed until the close.
  releaseListingAreas();
  ASSERT_EQ(takeListingAreas(), 0);
  gTableCursor = TableCursor{0, 0, 0, 0};
  add(1, "value");
  std::snprintf(gListingOptions.listingFile, kArgumentSize, "/dev/full");
  EXPECT_EQ(writeListing(), -1);
  EXPECT_EQ(std::string(gRunRecord.messageText), full);
}

// The whole run in this process, failing each allocation in turn: whatever ends it, no
// area is left behind.
TEST_F(ListingWriter, EveryEndOfTheRunReleasesEveryArea) {
  releaseListingAreas();
  const auto nothingHeld = [] {
    const ParserScratch& s = gParserScratch;
    for (const unsigned char* area :
         {gParseTables[0].records, gParseTables[0].tagNames, gParseTables[0].contents, gValueArea.bytes, s.openTagStack,
          s.openTagNames, s.pathCounts, s.nameBuffer, s.textBuffer, s.inputText}) {
      if (area != nullptr) return false;
    }
    return true;
  };
  const std::string line = path("in.html") + " " + path("out.txt");
  const std::string document = "<BODY><P CLASS=x>" + std::string(5000, 'v') + "</P></BODY>";
  test::writeFile(path("in.html"), document);
  long failing = 0;
  int exitCode;
  do {
    AllocationSeam seam;
    seam.failAt = ++failing;
    setAllocationSeam(seam);
    ConsoleCapture console;
    exitCode = runListingTool(line.c_str(), "ToolMqlInputH", InputKind::Html);
    EXPECT_TRUE(nothingHeld()) << failing;
  } while (exitCode != 0 && failing < 100);
  EXPECT_GE(failing, 12);
  resetAllocationSeam();
  for (const char* faulty : {"<P>a > b</P>", ""}) {
    test::writeFile(path("in.html"), faulty);
    if (faulty[0] == '\0') std::remove(path("in.html").c_str());
    ConsoleCapture console;
    EXPECT_EQ(runListingTool(line.c_str(), "ToolMqlInputH", InputKind::Html), 255);
    EXPECT_TRUE(nothingHeld()) << faulty;
  }
}

}  // namespace
}  // namespace mq

namespace mq {
namespace {

// The numbers of a line read exactly as printf's "%ld" writes them.
TEST_F(ListingWriter, WritesNumbersAsPrintfDoes) {
  const int32_t numbers[] = {0, 7, 9, 10, 99, 100, 101, 12345, 999999, 1000000, 2147483647, -1, -10, -2147483647 - 1};
  std::string expected;
  for (int32_t n : numbers) {
    add(n, "v");
    char line[64];
    std::snprintf(line, sizeof line, "1\t%ld\t%ld\t<P>\tv\r\n", static_cast<long>(n), static_cast<long>(n));
    expected += line;
  }
  std::snprintf(gListingOptions.listingFile, kArgumentSize, "%s", path("out.txt").c_str());
  ASSERT_EQ(writeListing(), 0);
  EXPECT_EQ(test::readFile(path("out.txt")), expected);
}

}  // namespace
}  // namespace mq
