#include "convert/settings_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/run_record.h"
#include "common/settings.h"
#include "markup/standard_parser.h"
#include "common/unicode_conversion.h"
#include "tests/test_support.h"

namespace mq {
namespace {

class SettingsReaderTest : public test::ScratchDir {
 protected:
  int read(const std::string& text) {
    test::writeFile(path("s.ini"), text);
    setupRunRecord(testRun(), path("s.ini").c_str(), "Marquill");
    return readSettings(testRun());
  }
};

TEST_F(SettingsReaderTest, FillsEverySettingAndCutsMarkersToThirtyBytes) {
  const std::string markers = std::string(30, 'S') + "tail";
  ASSERT_EQ(read("[LOG]\nFILENAME=" + path("run.log") +
                 "\nWARLOGOUT=yes\n"
                 "[OUTFILE]\nKIND=nocrlf\nOUTFILE=out.txt\n"
                 "[SET]\nSTART=" +
                 markers +
                 "\nEND=]]\n"
                 "[INFILE]\nCOUNT=2\nKIND=html\nINFILE1=a.html\nINFILE2=b.html\n"
                 "[OUTDEF]\nOUTDEF=def.txt\n[REPLACE]\nREPDEF=rep.txt\n"),
            0);
  EXPECT_EQ(std::string(testRun().settings.logFileName), path("run.log"));
  EXPECT_TRUE(testRun().settings.warnLog);
  EXPECT_EQ(testRun().settings.outputKind, OutputKind::NoCrlf);
  EXPECT_EQ(std::string(testRun().settings.startMarker), std::string(30, 'S'));
  EXPECT_EQ(std::string(testRun().settings.endMarker), "]]");
  EXPECT_EQ(testRun().settings.inputCount, 2);
  EXPECT_EQ(testRun().settings.inputKind, InputKind::Html);
  EXPECT_EQ(std::string(testRun().settings.inputFiles[1]), "b.html");
  EXPECT_EQ(std::string(testRun().settings.outputFile), "out.txt");
  EXPECT_EQ(std::string(testRun().settings.outputDefinitionFile), "def.txt");
  EXPECT_EQ(std::string(testRun().settings.replacementDefinitionFile), "rep.txt");
  EXPECT_TRUE(testRun().settings.useReplacement);
}

TEST_F(SettingsReaderTest, CsvOutputReadsNoDefinitionsAndFileNamesAreNeverCut) {
  const std::string base = "[LOG]\nFILENAME=" + path("l.log") +
                           "\nWARLOGOUT=NO\n[OUTFILE]\nKIND=CSVFILE\nOUTFILE=o\n"
                           "[INFILE]\nCOUNT=1\nKIND=CSV\n";
  ASSERT_EQ(read(base + "INFILE1=" + std::string(253, 'n') + "\n[REPLACE]\nREPDEF=r\n"), 0);
  EXPECT_EQ(testRun().settings.outputKind, OutputKind::Csv);
  EXPECT_EQ(testRun().settings.inputKind, InputKind::Csv);
  EXPECT_FALSE(testRun().settings.warnLog);
  EXPECT_FALSE(testRun().settings.useReplacement);
  EXPECT_EQ(std::string(testRun().settings.inputFiles[0]).size(), 253u);

  EXPECT_EQ(read(base + "INFILE1=" + std::string(254, 'n') + "\n"), -1);
  EXPECT_EQ(test::logEntries(test::readFile(path("l.log"))).back(),
            "1011 " + test::sjis("ＩＮＩファイルの設定ミスです SECTION=[INFILE] KEY=[INFILE1]"));
}

TEST_F(SettingsReaderTest, DocumentsHaveAParserAndACodeListingsNeither) {
  const std::string base = "[LOG]\nFILENAME=" + path("l.log") +
                           "\nWARLOGOUT=NO\n[OUTFILE]\nKIND=CSV\nOUTFILE=o\n[INFILE]\nCOUNT=1\nINFILE1=a\n";
  if (!standardParserAvailable()) {
    EXPECT_EQ(read(base + "KIND=XML\nPARSER=STANDARD\n"), -1);
    EXPECT_EQ(test::logEntries(test::readFile(path("l.log"))).back(),
              "1031 " + test::sjis("パラメータの設定ミスです PARA=[[INFILE] PARSER=STANDARD]"));
    GTEST_SKIP() << "built without the standard parser";
  }
  struct Case {
    std::string lines;
    int result;
    ParserKind parser;
    DocumentCode code;
  };
  const std::vector<Case> cases = {
      {"KIND=HTML\n", 0, ParserKind::Classic, DocumentCode::Detect},
      {"KIND=HTML\nPARSER=classic\nCODE=sjis\n", 0, ParserKind::Classic, DocumentCode::Sjis},
      {"KIND=XML\nPARSER=Standard\nCODE=utf16\n", 0, ParserKind::Standard, DocumentCode::Utf16},
      {"KIND=XML\nPARSER=STANDARDS\nCODE=UTF8BOM\n", 0, ParserKind::Standard, DocumentCode::Utf8},
      {"KIND=HTML\nCODE=euc-jp\n", 0, ParserKind::Classic, DocumentCode::Euc},
      {"KIND=HTML\nCODE=JIS\n", 0, ParserKind::Classic, DocumentCode::Jis},
      {"KIND=HTML\nPARSER=STD\n", -1, ParserKind::Classic, DocumentCode::Detect},
      {"KIND=HTML\nCODE=UTF-8\n", -1, ParserKind::Classic, DocumentCode::Detect},
      // Listings are read as they are: neither key is looked at.
      {"KIND=CSV\nPARSER=bad\nCODE=bad\n", 0, ParserKind::Classic, DocumentCode::Detect},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(read(base + c.lines), c.result) << c.lines;
    if (c.result != 0) continue;
    EXPECT_EQ(testRun().settings.parser, c.parser) << c.lines;
    EXPECT_EQ(testRun().settings.documentCode, c.code) << c.lines;
  }
  EXPECT_EQ(read(base + "KIND=HTML\nPARSER=x\n"), -1);
  EXPECT_EQ(test::logEntries(test::readFile(path("l.log"))).back(),
            "1011 " + test::sjis("ＩＮＩファイルの設定ミスです SECTION=[INFILE] KEY=[PARSER]"));
}

// [OUTFILE] CODE and [LOG] CODE: Shift-JIS when absent, UTF-8 by its first bytes; any other
// value is a setting error logged in the code already known.
TEST_F(SettingsReaderTest, TheWorkingCodeAndTheLogsCode) {
  if (!platformConvertsCodes()) GTEST_SKIP() << "UTF-8 needs the system's converter";
  const std::string head = "[LOG]\nFILENAME=" + path("l.log") + "\nWARLOGOUT=NO\n";
  const std::string tail = "[OUTFILE]\nKIND=CSV\nOUTFILE=o\n%s[INFILE]\nCOUNT=1\nKIND=CSV\nINFILE1=a\n";
  struct Case {
    std::string log, output;
    int result;
    TextCode working, logCode;
  };
  const std::vector<Case> cases = {
      {"", "", 0, TextCode::Sjis, TextCode::Sjis},
      {"CODE=SJIS\n", "CODE=sjis\n", 0, TextCode::Sjis, TextCode::Sjis},
      {"CODE=utf8\n", "CODE=UTF8\n", 0, TextCode::Utf8, TextCode::Utf8},
      {"", "CODE=UTF8BOM\n", 0, TextCode::Utf8, TextCode::Sjis},
      {"CODE=UTF8\n", "", 0, TextCode::Sjis, TextCode::Utf8},
      {"", "CODE=UTF-8\n", -1, TextCode::Sjis, TextCode::Sjis},
      {"CODE=EUC\n", "", -1, TextCode::Sjis, TextCode::Sjis},
  };
  for (const Case& c : cases) {
    std::string settings = head + c.log + tail;
    settings.replace(settings.find("%s"), 2, c.output);
    EXPECT_EQ(read(settings), c.result) << c.log << c.output;
    if (c.result != 0) continue;
    EXPECT_EQ(testRun().settings.workingCode, c.working) << c.log << c.output;
    EXPECT_EQ(testRun().settings.logCode, c.logCode) << c.log << c.output;
  }
  std::remove(path("l.log").c_str());
  EXPECT_EQ(read(head + "CODE=UTF8\n" + "[OUTFILE]\nKIND=CSV\nOUTFILE=o\nCODE=x\n"), -1);
  EXPECT_EQ(test::readFile(path("l.log")).substr(20),
            "1011 ＩＮＩファイルの設定ミスです SECTION=[OUTFILE] KEY=[CODE]\r\n");
}

}  // namespace
}  // namespace mq
