// Marquill end to end: settings files in, exit codes and log lines out.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "markup/standard_parser.h"
#include "tests/test_support.h"

namespace mq {
namespace {

using test::logEntries;
using test::readFile;
using test::sjis;
using test::writeFile;

const std::string kMarquill = MQ_MARQUILL;

std::string settingError(const std::string& section, const std::string& key) {
  return "1011 " + sjis("ＩＮＩファイルの設定ミスです SECTION=[" + section + "] KEY=[" + key + "]");
}

class MarquillProgram : public test::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    for (const char* name : {"a.html", "b.html", "c.html", "def.txt"}) writeFile(path(name), "");
  }
  test::ProgramResult run(const std::vector<std::string>& arguments) {
    return test::runProgram(kMarquill, arguments, dir_);
  }
  // The settings are named with their folder: a bare name is looked up where the INI
  // reading looks for one, which the Windows build's is not the current folder (see
  // ABareSettingsNameIsLookedUpWhereTheIniReadingLooksForIt).
  test::ProgramResult runWith(const std::string& settings) {
    writeFile(path("s.ini"), settings);
    return run({"./s.ini"});
  }
  std::vector<std::string> log(const std::string& name = "ERRLOG.LOG") { return logEntries(readFile(path(name))); }
};

// A complete, valid settings file whose lines the cases below replace or remove.
std::string validSettings(const std::string& warn = "YES") {
  return "[LOG]\r\nWARLOGOUT=" + warn +
         "\r\n[OUTFILE]\r\nKIND=NORMAL\r\nOUTFILE=out.txt\r\n[SET]\r\nSTART=<%\r\nEND=%>\r\n"
         "[INFILE]\r\nCOUNT=1\r\nKIND=HTML\r\nINFILE1=a.html\r\n[OUTDEF]\r\nOUTDEF=def.txt\r\n";
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return text.replace(at, from.size(), to);
}

// A slip in the settings file is told on standard error, nearest known name beside it; the
// run goes on exactly as it would have, and a settings file without slips says nothing.
TEST_F(MarquillProgram, SlipsInTheSettingsAreToldAndChangeNothing) {
  writeFile(path("a.html"), "<P>a</P>");
  writeFile(path("def.txt"), "<%1<P>0001000000%>");
  struct Case {
    std::string from, to, told;
  };
  const std::vector<Case> cases = {
      {"", "", ""},
      {"[SET]", "[SETS]\r\nX=1\r\n[SET]", "unknown section [SETS] (nearest: [SET])"},
      {"COUNT=1", "COUNT=1\r\nPARSR=STANDARD", "unknown key PARSR in [INFILE] (nearest: PARSER)"},
      {"COUNT=1", "COUNT=1\r\nparsr=STANDARD", "unknown key parsr in [INFILE] (nearest: PARSER)"},
      {"WARLOGOUT=YES", "WARLOGOUT=YES\r\nFILNAME=x.log", "unknown key FILNAME in [LOG] (nearest: FILENAME)"},
      {"KIND=NORMAL", "KIND=NORMALIZE", "[OUTFILE] KIND=NORMALIZE is read as NORMAL"},
      {"KIND=HTML", "KIND=html5", "[INFILE] KIND=html5 is read as HTML"},
      {"WARLOGOUT=YES", "WARLOGOUT=maybe", "[LOG] WARLOGOUT=maybe is read as NO"},
      {"WARLOGOUT=YES", "warlogout=yes\r\nCode=sjis", ""},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(path("out.txt"));
    const std::string settings = c.from.empty() ? validSettings() : replaced(validSettings(), c.from, c.to);
    const auto result = runWith(settings);
    EXPECT_EQ(result.exitCode, 0) << c.to;
    EXPECT_EQ(readFile(path("out.txt")), "a") << c.to;
    EXPECT_EQ(result.err, c.told.empty() ? "" : test::onTerminal("Marquill: ./s.ini: " + c.told + "\n")) << c.to;
  }
}

// A log that cannot be written is said on standard error, once, also after a success,
// whose exit code stays 0.
TEST_F(MarquillProgram, ALogThatCannotBeWrittenIsSaid) {
  writeFile(path("a.html"), "<P>a</P>");
  writeFile(path("def.txt"), "<%1<P>0001000000%>");
  std::vector<std::string> logs = {"nosuch/job.log"};
  if (test::fileExists("/dev/full")) logs.push_back("/dev/full");
  for (const std::string& log : logs) {
    const auto result = runWith(replaced(validSettings(), "WARLOGOUT=YES", "WARLOGOUT=YES\r\nFILENAME=" + log));
    EXPECT_EQ(result.exitCode, 0) << log;
    EXPECT_EQ(result.err, test::onTerminal("Marquill: " + sjis("ファイルの書込みに失敗しました FILENAME = [") + log + "]\n"))
        << log;
  }
  EXPECT_EQ(runWith(validSettings()).err, "");
}

TEST_F(MarquillProgram, ASuccessfulRunLogsStartAndEndOnlyWhenAsked) {
  const auto result = runWith(validSettings("YES"));
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(log(), (std::vector<std::string>{"0001 " + sjis("プログラムを開始しました"),
                                             "0002 " + sjis("プログラムを終了しました")}));
  const std::string line = readFile(path("ERRLOG.LOG")).substr(0, 20);
  EXPECT_EQ(line.size(), 20u);
  EXPECT_EQ(line[4], '/');
  EXPECT_EQ(line[13], ':');

  for (const char* off : {"NO", "1", "Y"}) {
    std::filesystem::remove(path("ERRLOG.LOG"));
    EXPECT_EQ(runWith(validSettings(off)).exitCode, 0) << off;
    EXPECT_FALSE(test::fileExists(path("ERRLOG.LOG"))) << off;
  }
  for (const char* on : {"yes", "Yes", "YESTERDAY"}) {
    std::filesystem::remove(path("ERRLOG.LOG"));
    EXPECT_EQ(runWith(validSettings(on)).exitCode, 0) << on;
    EXPECT_EQ(log().size(), 2u) << on;
  }
}

TEST_F(MarquillProgram, ReportsEveryWrongSettingWithItsSectionAndKey) {
  const std::string v = validSettings();
  const struct {
    std::string settings;
    std::string section, key;
  } cases[] = {
      {replaced(v, "WARLOGOUT=YES\r\n", ""), "LOG", "WARLOGOUT"},
      {replaced(v, "WARLOGOUT=YES", "WARLOGOUT="), "LOG", "WARLOGOUT"},
      {replaced(v, "KIND=NORMAL", "KIND=NORM"), "OUTFILE", "KIND"},
      {replaced(v, "KIND=NORMAL", "KIND=TEXT"), "OUTFILE", "KIND"},
      {replaced(v, "END=%>\r\n", ""), "SET", "END"},
      {replaced(v, "START=<%", "START="), "SET", "START"},
      {replaced(v, "COUNT=1", "COUNT=0"), "INFILE", "COUNT"},
      {replaced(v, "COUNT=1", "COUNT=-1"), "INFILE", "COUNT"},
      {replaced(v, "COUNT=1", "COUNT=abc"), "INFILE", "COUNT"},
      {replaced(v, "COUNT=1\r\n", ""), "INFILE", "COUNT"},
      {replaced(v, "KIND=HTML", "KIND=XHTML"), "INFILE", "KIND"},
      {replaced(v, "KIND=HTML", "KIND=HTM"), "INFILE", "KIND"},
      {replaced(v, "COUNT=1\r\nKIND=HTML\r\nINFILE1=a.html",
                "COUNT=3\r\nKIND=HTML\r\nINFILE1=a.html\r\nINFILE3=c.html"),
       "INFILE", "INFILE2"},
      {replaced(v, "OUTFILE=out.txt\r\n", ""), "OUTFILE", "OUTFILE"},
      {replaced(v, "OUTDEF=def.txt", "OUTDEF="), "OUTDEF", "OUTDEF"},
      {replaced(v, "OUTDEF=def.txt", "OUTDEF=" + std::string(254, 'd')), "OUTDEF", "OUTDEF"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(path("ERRLOG.LOG"));
    const auto result = runWith(c.settings);
    EXPECT_EQ(result.exitCode, 255) << c.key;
    EXPECT_EQ(log(), std::vector<std::string>{settingError(c.section, c.key)}) << c.settings;
  }
}

TEST_F(MarquillProgram, AcceptsKeywordsByTheirFirstBytes) {
  const std::string v = validSettings();
  const std::string accepted[] = {
      replaced(v, "KIND=NORMAL", "KIND=normalx"),
      replaced(v, "KIND=NORMAL", "KIND=NoCrLf"),
      replaced(v, "KIND=HTML", "KIND=XML1"),
      replaced(v, "KIND=HTML", "KIND=html5"),
      // CSV output needs neither [SET] nor [OUTDEF] nor [REPLACE].
      "[LOG]\nWARLOGOUT=YES\n[OUTFILE]\nKIND=csv\nOUTFILE=o.tsv\n[INFILE]\nCOUNT=1\nKIND=HTML\nINFILE1=a.html\n",
      // COUNT above nine reads nine names and ignores the tenth.
      replaced(v, "COUNT=1\r\nKIND=HTML\r\nINFILE1=a.html",
               "COUNT=12\r\nKIND=HTML\r\nINFILE1=a.html\r\nINFILE2=a.html\r\nINFILE3=a.html\r\nINFILE4=a.html\r\n"
               "INFILE5=a.html\r\nINFILE6=a.html\r\nINFILE7=a.html\r\nINFILE8=a.html\r\nINFILE9=a.html"),
      v + "[REPLACE]\r\nREPDEF=\r\n",
  };
  for (const std::string& settings : accepted) {
    std::filesystem::remove(path("ERRLOG.LOG"));
    EXPECT_EQ(runWith(settings).exitCode, 0) << settings;
    EXPECT_EQ(log().size(), 2u) << settings;
  }
}

TEST_F(MarquillProgram, LogsSettingErrorsToTheNamedLogAndOverlongLogNamesToTheFallback) {
  EXPECT_EQ(runWith("[LOG]\nFILENAME=mine.log\n").exitCode, 255);
  EXPECT_EQ(log("mine.log"), std::vector<std::string>{settingError("LOG", "WARLOGOUT")});
  EXPECT_FALSE(test::fileExists(path("ERRLOG.LOG")));

  EXPECT_EQ(runWith("[LOG]\nFILENAME=" + std::string(254, 'l') + "\nWARLOGOUT=YES\n").exitCode, 255);
  EXPECT_EQ(log(), std::vector<std::string>{settingError("LOG", "FILENAME")});
}

TEST_F(MarquillProgram, CommandLineFaultsGoToTheFallbackLog) {
  const std::string noPath = "1031 " + sjis("パラメータの設定ミスです PARA=[]");
  EXPECT_EQ(run({}).exitCode, 255);
  EXPECT_EQ(log(), std::vector<std::string>{noPath});

  // Leading blanks leave slot 0 empty: the same fault. On Windows the blanks after the
  // program's path are no part of the command line, so the path fills slot 0.
  writeFile(path("s.ini"), validSettings());
  std::filesystem::remove(path("ERRLOG.LOG"));
  if (test::kLeadingBlanksReachTheProgram) {
    EXPECT_EQ(run({"", "./s.ini"}).exitCode, 255);
    EXPECT_EQ(log(), std::vector<std::string>{noPath});
  } else {
    EXPECT_EQ(run({"", "./s.ini"}).exitCode, 0);
    EXPECT_EQ(log().size(), 2u);
  }

  std::filesystem::remove(path("ERRLOG.LOG"));
  EXPECT_EQ(run({std::string(300, 'x') + ".ini"}).exitCode, 255);
  // The slot's first 256 bytes stand in the message; the log keeps the text's first 256 bytes.
  const std::string message = sjis("パラメータの設定ミスです PARA=[") + std::string(256, 'x') + "]";
  EXPECT_EQ(log(), std::vector<std::string>{"1031 " + message.substr(0, 256)});

  // Words after the settings path are ignored.
  std::filesystem::remove(path("ERRLOG.LOG"));
  EXPECT_EQ(run({"./s.ini", "extra", "words"}).exitCode, 0);
  EXPECT_EQ(log().size(), 2u);
}

TEST_F(MarquillProgram, ABareSettingsNameIsLookedUpWhereTheIniReadingLooksForIt) {
  // Our INI reader opens it in the current folder; the system's INI functions of the Windows
  // build look for it in the Windows folder.
  const std::string name = "mq-" + std::to_string(test::currentProcessId()) + "-bare.ini";
  const std::string settings = test::bareSettingsFolder(dir_) + "/" + name;
  writeFile(settings, validSettings("YES"));
  const auto result = run({name});
  std::filesystem::remove(settings);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(log().size(), 2u);
}

// A settings file that is missing, or a folder, is named as unreadable, not read as empty.
TEST_F(MarquillProgram, AMissingOrUnreadableSettingsFileIsNamed) {
  std::filesystem::create_directories(path("folder.ini"));
  for (const std::string name : {"./nowhere.ini", "./folder.ini"}) {
    std::filesystem::remove(path("ERRLOG.LOG"));
    const auto result = run({name});
    EXPECT_EQ(result.exitCode, 255) << name;
    const std::string text = sjis("ファイルの読込みに失敗しました FILENAME = [") + name + "]";
    EXPECT_EQ(log(), std::vector<std::string>{"1003 " + text}) << name;
    EXPECT_EQ(result.err, test::onTerminal("Marquill: " + text + "\n")) << name;
  }
}

TEST_F(MarquillProgram, InputFailuresAreLoggedOnceAndEndTheRunNonZero) {
  writeFile(path("a.html"), "<P>a</P>");
  writeFile(path("b.html"), "<P>\r\n<A =x>");
  std::string settings = replaced(validSettings("YES"), "COUNT=1", "COUNT=2");
  settings = replaced(settings, "INFILE1=a.html\r\n", "INFILE1=a.html\r\nINFILE2=b.html\r\n");
  auto result = runWith(settings);
  EXPECT_EQ(result.exitCode, 255);
  EXPECT_EQ(log(), (std::vector<std::string>{
                       "0001 " + sjis("プログラムを開始しました"),
                       "1021 " + sjis("入力ファイルの構造が不正です CONTENS = [タグ名が定義されていません] ROWS = "
                                      "[2] COLS = [4]"),
                       "0002 " + sjis("プログラムを終了しました")}));

  std::filesystem::remove(path("ERRLOG.LOG"));
  result = runWith(replaced(settings, "INFILE2=b.html", "INFILE2=missing.html"));
  EXPECT_EQ(result.exitCode, 255);
  EXPECT_EQ(log()[1], "1003 " + sjis("ファイルの読込みに失敗しました FILENAME = [missing.html]"));
}

TEST_F(MarquillProgram, AFailureAlsoReachesStandardErrorEvenWhenTheLogCannotBeWritten) {
  const auto shown = [](const std::string& utf8) { return test::onTerminal("Marquill: " + sjis(utf8) + "\n"); };
  const auto quiet = runWith(validSettings("YES"));
  EXPECT_EQ(quiet.exitCode, 0);
  EXPECT_EQ(quiet.out + quiet.err, "") << "a successful run says nothing";

  const auto wrong = runWith(replaced(validSettings(), "KIND=NORMAL", "KIND=TEXT"));
  EXPECT_EQ(wrong.err, shown("ＩＮＩファイルの設定ミスです SECTION=[OUTFILE] KEY=[KIND]"));
  EXPECT_EQ(wrong.out, "");

  // A log in a missing folder is never written: the terminal is the only one told, of the
  // failure and of the log.
  const auto noLog = runWith(replaced(validSettings(), "[LOG]\r\n", "[LOG]\r\nFILENAME=missing/run.log\r\n") +
                             "[REPLACE]\r\nREPDEF=none.txt\r\n");
  EXPECT_EQ(noLog.exitCode, 255);
  EXPECT_EQ(noLog.err, shown("ファイルの読込みに失敗しました FILENAME = [none.txt]") +
                           shown("ファイルの書込みに失敗しました FILENAME = [missing/run.log]"))
      << "the failure, not the end line";
  EXPECT_FALSE(std::filesystem::exists(path("missing")));

  const auto noPath = run({});
  EXPECT_EQ(noPath.err, shown("パラメータの設定ミスです PARA=[]"));
  // Cut as in the log: the first 256 bytes of the text.
  const auto tooLong = run({std::string(300, 'x')});
  const std::string message = sjis("パラメータの設定ミスです PARA=[") + std::string(256, 'x') + "]";
  EXPECT_EQ(tooLong.err, test::onTerminal("Marquill: " + message.substr(0, 256) + "\n"));

  if (test::kTerminalCodeFromEnvironment) {
    // A UTF-8 terminal gets UTF-8, also when its locale is not installed.
    writeFile(path("s.ini"), "");
    for (const std::vector<std::string>& environment :
         {std::vector<std::string>{"LC_ALL=C.UTF-8"}, std::vector<std::string>{"LC_ALL=", "LANG=xx_YY.UTF-8"}}) {
      const auto utf8 = test::runProgram(kMarquill, {"./s.ini"}, dir_, "", environment);
      EXPECT_EQ(utf8.err, "Marquill: ＩＮＩファイルの設定ミスです SECTION=[LOG] KEY=[WARLOGOUT]\n")
          << environment.back();
    }
  }
}

TEST_F(MarquillProgram, ListingInputsAreReadBack) {
  writeFile(path("a.tsv"), "1\t1\t1\t<P>\tx\r\n1\t2\t1\t<P><B>\t\r\n");
  writeFile(path("bad.tsv"), "1\t1\t1\t<P>\tx\r\n1\tX\t1\t<P>\tx\r\n");
  std::string settings = replaced(validSettings("NO"), "KIND=HTML", "KIND=CSV");
  EXPECT_EQ(runWith(replaced(settings, "INFILE1=a.html", "INFILE1=a.tsv")).exitCode, 0);
  EXPECT_FALSE(test::fileExists(path("ERRLOG.LOG")));
  EXPECT_EQ(runWith(replaced(settings, "INFILE1=a.html", "INFILE1=bad.tsv")).exitCode, 255);
  ASSERT_EQ(log().size(), 1u);
  EXPECT_EQ(log()[0].substr(0, 5), "1021 ");
  EXPECT_NE(log()[0].find("ROWS = [2]"), std::string::npos);
}

TEST_F(MarquillProgram, TheStandardParserAndTheDocumentsCodeAreSettings) {
  writeFile(path("u.html"), "<html><head><title>caf\xC3\xA9 \xE6\x97\xA5</title></head><body><p>a > b</p></body></html>");
  writeFile(path("def.txt"), "[<%1<HEAD><TITLE>0001000000%>|<%1<BODY><P>0001000000%>]");
  const std::string standard = replaced(replaced(validSettings(), "INFILE1=a.html", "INFILE1=u.html"),
                                        "KIND=HTML", "KIND=HTML\r\nPARSER=standard\r\nCODE=UTF8");
  if (!standardParserAvailable()) {
    EXPECT_EQ(runWith(standard).exitCode, 255);
    EXPECT_EQ(log(), std::vector<std::string>{"1031 " + sjis("パラメータの設定ミスです PARA=[[INFILE] PARSER=STANDARD]")});
    GTEST_SKIP() << "built without the standard parser";
  }
  const test::ProgramResult withWarnings = runWith(standard);
  EXPECT_EQ(withWarnings.exitCode, 0);
  EXPECT_EQ(readFile(path("out.txt")), "[caf\x81\xAC " + sjis("日") + "|a > b]");
  // Changed text is shown on the terminal too, with and without WARLOGOUT.
  const std::string shownLoss =
      test::onTerminal("Marquill: " + sjis("変換できない文字を置き換えました FILENAME = [u.html] COUNT = [1]") + "\n");
  EXPECT_EQ(withWarnings.err, shownLoss);
  EXPECT_EQ(log(), (std::vector<std::string>{
                       "0001 " + sjis("プログラムを開始しました"),
                       "5023 " + sjis("変換できない文字を置き換えました FILENAME = [u.html] COUNT = [1]"),
                       "0002 " + sjis("プログラムを終了しました")}));
  // Without WARLOGOUT the warning is not logged; the run succeeds all the same.
  std::filesystem::remove(path("ERRLOG.LOG"));
  const test::ProgramResult quiet = runWith(replaced(standard, "WARLOGOUT=YES", "WARLOGOUT=NO"));
  EXPECT_EQ(quiet.exitCode, 0);
  EXPECT_EQ(quiet.err, shownLoss);
  EXPECT_FALSE(test::fileExists(path("ERRLOG.LOG")));
  // CLASSIC, or no PARSER, is today's scanner; other values are setting errors.
  std::filesystem::remove(path("ERRLOG.LOG"));
  EXPECT_EQ(runWith(replaced(standard, "PARSER=standard", "PARSER=Classic")).exitCode, 255);
  EXPECT_EQ(log().at(1).substr(0, 5), "1021 ");
  for (const auto& [from, to, key] : std::vector<std::tuple<std::string, std::string, std::string>>{
           {"PARSER=standard", "PARSER=libxml", "PARSER"}, {"CODE=UTF8", "CODE=latin1", "CODE"}}) {
    std::filesystem::remove(path("ERRLOG.LOG"));
    EXPECT_EQ(runWith(replaced(standard, from, to)).exitCode, 255) << to;
    EXPECT_EQ(log(), std::vector<std::string>{settingError("INFILE", key)}) << to;
  }
}

}  // namespace
}  // namespace mq
