// The INI reader: sections, keys, comments, quotes and cuts, and integers with their sign.
// The Windows build reads through the system's INI functions instead of our reader; the
// cases where the two read a file differently give both results and say why.
#include "convert/ini_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/test_support.h"

namespace mq {
namespace {

#ifdef _WIN32
constexpr bool kSystemFunctions = true;
#else
constexpr bool kSystemFunctions = false;
#endif

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
  // A section line without its "]": our reader takes the rest of the line as the name, the
  // system's functions take no section from it.
  EXPECT_EQ(value("[LOG\nKEY=x\n", "LOG", "KEY"), kSystemFunctions ? "<none>" : "x");
}

TEST_F(IniReaderTest, ReadsIntegersWithSignAndSaturation) {
  const struct {
    const char* line;
    int32_t ours, system;
  } cases[] = {
      {"K=12", 12, 12},
      {"K= -3x", -3, -3},
      {"K=+7", 7, 7},
      {"K=abc", 0, 0},
      {"OTHER=1", -99, -99},
      {"K=\"5\"", 5, 5},
      // The system's functions give the default for an empty value, as for an absent key.
      {"K=", 0, -99},
      // They keep the low 32 bits of a number too large, where our reader saturates.
      {"K=99999999999", 2147483647, 1215752191},
      {"K=-99999999999", -2147483647 - 1, -1215752191},
      {"K=4294967297", 2147483647, 1},
      // They read a number after 0x as hexadecimal; our reader stops at the x.
      {"K=0x10", 0, 16},
  };
  for (const auto& c : cases) EXPECT_EQ(number(c.line), kSystemFunctions ? c.system : c.ours) << c.line;
}

}  // namespace
}  // namespace mq
