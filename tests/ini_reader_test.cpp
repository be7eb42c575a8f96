// The INI reader: sections, keys, comments, quotes and cuts, and integers with their sign.
#include "convert/ini_reader.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace mq
