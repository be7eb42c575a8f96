// The listing tool's steps: options and names in any order, and a run in this process
// that gives back every area however it ends and leaves Marquill's settings alone.
#include "tools/listing_tool.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "common/run_record.h"
#include "common/settings.h"
#include "common/work_areas.h"
#include "markup/parse_tables.h"
#include "markup/parser_scratch.h"
#include "tests/test_support.h"

namespace mq {
namespace {

using test::sjis;

// The options as one text: separator, k and d when set, the two file names; or the PARA.
std::string parsedOptions(const std::string& line) {
  EXPECT_EQ(setupRunRecord(gListing, line.c_str(), "ToolMqlInputX"), 0);
  if (parseListingOptions() != 0) {
    EXPECT_EQ(gListing.messageCode, 1031);
    const std::string text = gListing.messageText;
    return text.substr(text.find("PARA="));
  }
  const ListingFormat& format = gListingOptions.format;
  return std::string(1, format.separator) + (format.writeHeader ? "k" : "") + (format.skipEmptyValues ? "d" : "") +
         " " + gListingOptions.inputFile + " " + gListingOptions.listingFile;
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

class ListingToolRun : public test::ScratchDir {};

// The whole run in this process, failing each allocation in turn: whatever ends it, no
// area is left behind.
TEST_F(ListingToolRun, EveryEndOfTheRunReleasesEveryArea) {
  const auto nothingHeld = [] {
    for (const ParseTableSlot& slot : gListing.tables) {
      if (holdsAnyArea(slot, kSlotAreas)) return false;
    }
    return !holdsAnyArea(gListing.scratch, kScratchAreas) && gListing.scratch.inputText == nullptr &&
           !holdsAnyArea(gListing.value, kValueAreas);
  };
  const std::string line = path("in.html") + " " + path("out.txt");
  const std::string document = "<BODY><P CLASS=x>" + std::string(5000, 'v') + "</P></BODY>";
  test::writeFile(path("in.html"), document);
  long failing = 0;
  int exitCode;
  do {
    setAllocationSeam({.failAt = ++failing});
    test::ConsoleCapture console;
    exitCode = runListingTool(line.c_str(), "ToolMqlInputH", InputKind::Html);
    EXPECT_TRUE(nothingHeld()) << failing;
  } while (exitCode != 0 && failing < 100);
  EXPECT_GE(failing, 14);
  resetAllocationSeam();
  for (const char* faulty : {"<P>a > b</P>", ""}) {
    test::writeFile(path("in.html"), faulty);
    if (faulty[0] == '\0') std::remove(path("in.html").c_str());
    test::ConsoleCapture console;
    EXPECT_EQ(runListingTool(line.c_str(), "ToolMqlInputH", InputKind::Html), 255);
    EXPECT_TRUE(nothingHeld()) << faulty;
  }
}

}  // namespace
}  // namespace mq
