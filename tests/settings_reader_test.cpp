#include "convert/settings_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "common/run_record.h"
#include "common/settings.h"
#include "tests/test_support.h"

namespace mq {
namespace {

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
