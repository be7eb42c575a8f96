#include "convert/settings_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "common/run_record.h"
#include "common/settings.h"
#include "convert/ini_reader.h"
#include "tests/test_support.h"

namespace mq {
namespace {

class IniReaderTest : public test::ScratchDir {
 protected:
  std::string value(const std::string& text, const char* section, const char* key, int size = 64) {
    test::writeFile(path("t.ini"), text);
    IniFile ini;
    EXPECT_EQ(openIniFile(&ini, path("t.ini").c_str()), 0);
    char destination[300];
    const int n = readIniString(ini, section, key, destination, size);
    closeIniFile(&ini);
    return n == 0 ? "<none>" : std::string(destination, static_cast<std::size_t>(n));
  }
  int32_t number(const std::string& text) {
    test::writeFile(path("n.ini"), "[S]\n" + text + "\n");
    IniFile ini;
    openIniFile(&ini, path("n.ini").c_str());
    const int32_t n = readIniInt(ini, "S", "K", -99);
    closeIniFile(&ini);
    return n;
  }
};

TEST_F(IniReaderTest, ReadsValuesByTheLineRules) {
  EXPECT_EQ(value("[Log]\r\nFileName = a.log \r\n", "LOG", "FILENAME"), "a.log");
  EXPECT_EQ(value("[LOG]\n\tKEY\t=\tv w\t\n", "log", "key"), "v w");
  EXPECT_EQ(value("[LOG]\n;KEY=commented\n  ; KEY=also\nKEY=real\n", "LOG", "KEY"), "real");
  EXPECT_EQ(value("[LOG]\nKEY=first\nKEY=second\n", "LOG", "KEY"), "first");
  EXPECT_EQ(value("[LOG]\nX=1\n[LOG]\nKEY=in-second\n", "LOG", "KEY"), "<none>");
  EXPECT_EQ(value("[OTHER]\nKEY=x\n[LOG]\nKEY=y\n", "LOG", "KEY"), "y");
  EXPECT_EQ(value("KEY=outside\n[LOG]\n", "LOG", "KEY"), "<none>");
  EXPECT_EQ(value("[LOG]\nKEY=a;b # c\n", "LOG", "KEY"), "a;b # c") << "no inline comments";
  EXPECT_EQ(value("[LOG]\nKEY=\"quoted value\"\n", "LOG", "KEY"), "quoted value");
  EXPECT_EQ(value("[LOG]\nKEY='single'\n", "LOG", "KEY"), "single");
  EXPECT_EQ(value("[LOG]\nKEY=\"mixed'\n", "LOG", "KEY"), "\"mixed'");
  EXPECT_EQ(value("[LOG]\nKEY=\"\"\n", "LOG", "KEY"), "<none>");
  EXPECT_EQ(value("[LOG]\nKEY=\n", "LOG", "KEY"), "<none>");
  EXPECT_EQ(value("[LOG]\nKEY=a=b\n", "LOG", "KEY"), "a=b");
  EXPECT_EQ(value("[LOG]\nKEY=\"0123456789\"\n", "LOG", "KEY", 5), "0123") << "quotes go before the cut";
  EXPECT_EQ(value("[LOG]\nKEY=\x93\xFA\x96\x7B\n", "LOG", "KEY"), "\x93\xFA\x96\x7B");
}

TEST_F(IniReaderTest, ReadsIntegersWithSignAndSaturation) {
  EXPECT_EQ(number("K=12"), 12);
  EXPECT_EQ(number("K= -3x"), -3);
  EXPECT_EQ(number("K=+7"), 7);
  EXPECT_EQ(number("K=abc"), 0);
  EXPECT_EQ(number("K="), 0);
  EXPECT_EQ(number("K=99999999999"), 2147483647);
  EXPECT_EQ(number("K=-99999999999"), -2147483647 - 1);
  EXPECT_EQ(number("OTHER=1"), -99);
}

class SettingsReaderTest : public test::ScratchDir {
 protected:
  int read(const std::string& text) {
    test::writeFile(path("s.ini"), text);
    setupRunRecord(path("s.ini").c_str(), "Marquill");
    return readSettings();
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
  EXPECT_EQ(std::string(gSettings.logFileName), path("run.log"));
  EXPECT_TRUE(gSettings.warnLog);
  EXPECT_EQ(gSettings.outputKind, OutputKind::NoCrlf);
  EXPECT_EQ(std::string(gSettings.startMarker), std::string(30, 'S'));
  EXPECT_EQ(std::string(gSettings.endMarker), "]]");
  EXPECT_EQ(gSettings.inputCount, 2);
  EXPECT_EQ(gSettings.inputKind, InputKind::Html);
  EXPECT_EQ(std::string(gSettings.inputFiles[1]), "b.html");
  EXPECT_EQ(std::string(gSettings.outputFile), "out.txt");
  EXPECT_EQ(std::string(gSettings.outputDefinitionFile), "def.txt");
  EXPECT_EQ(std::string(gSettings.replacementDefinitionFile), "rep.txt");
  EXPECT_TRUE(gSettings.useReplacement);
}

TEST_F(SettingsReaderTest, CsvOutputReadsNoDefinitionsAndFileNamesAreNeverCut) {
  const std::string base = "[LOG]\nFILENAME=" + path("l.log") +
                           "\nWARLOGOUT=NO\n[OUTFILE]\nKIND=CSVFILE\nOUTFILE=o\n"
                           "[INFILE]\nCOUNT=1\nKIND=CSV\n";
  ASSERT_EQ(read(base + "INFILE1=" + std::string(253, 'n') + "\n[REPLACE]\nREPDEF=r\n"), 0);
  EXPECT_EQ(gSettings.outputKind, OutputKind::Csv);
  EXPECT_EQ(gSettings.inputKind, InputKind::Csv);
  EXPECT_FALSE(gSettings.warnLog);
  EXPECT_FALSE(gSettings.useReplacement);
  EXPECT_EQ(std::string(gSettings.inputFiles[0]).size(), 253u);

  EXPECT_EQ(read(base + "INFILE1=" + std::string(254, 'n') + "\n"), -1);
  EXPECT_EQ(test::logEntries(test::readFile(path("l.log"))).back(),
            "1011 " + test::sjis("ＩＮＩファイルの設定ミスです SECTION=[INFILE] KEY=[INFILE1]"));
}

}  // namespace
}  // namespace mq
