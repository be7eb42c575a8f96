// The scanner's tables: the one cell and the two byte classes in which HTML differs from
// XML, and the HTML name list of empty elements.
#include "markup/scanner_tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace mq {
namespace {

TEST(ScannerTables, HtmlDiffersFromXmlInOneCellAndTheSquareBrackets) {
  std::vector<std::string> cells;
  for (int s = 0; s < kStateCount; ++s) {
    for (int c = 0; c < kClassCount; ++c) {
      if (kHtmlDialect.transitions[s][c] != kXmlDialect.transitions[s][c]) {
        cells.push_back(std::to_string(s) + "/" + std::to_string(c) + "=" +
                        std::to_string(kHtmlDialect.transitions[s][c]));
      }
    }
  }
  EXPECT_EQ(cells, std::vector<std::string>{"1/10=1011"}) << "\"?\" after \"<\" is a symbol in an HTML tag name";
  std::string bytes;
  for (int b = 0; b < 256; ++b) {
    if (kHtmlDialect.classes[b] != kXmlDialect.classes[b]) bytes += static_cast<char>(b);
  }
  EXPECT_EQ(bytes, "[]");
  EXPECT_EQ(kHtmlDialect.classes[0x5B], kOtherByte);
}

TEST(ScannerTables, KnowsExactlyTheEmptyElementNames) {
  const char* empty[] = {"<INPUT>", "<OPTION>", "<IMG>",     "<HR>",    "<BR>",        "<META>",    "<FRAME>",
                         "<LI>",    "<DT>",     "<DD>",      "<WBR>",   "<LINK>",      "<AREA>",    "<BASEFONT>",
                         "<BASE>",  "<EMBED>",  "<BGSOUND>", "<PARAM>", "<PLAINTEXT>", "<ISINDEX>", "<SPACER>"};
  for (const char* name : empty) {
    EXPECT_TRUE(isEmptyElementName(reinterpret_cast<const unsigned char*>(name), static_cast<int32_t>(strlen(name))))
        << name;
  }
  const char* others[] = {"<B>", "<BRR>", "<LINKS>", "<PLAINTEXTS>", "<<BR>>", "<TD>", "<AREB>", "<SPACEX>", "<A>"};
  for (const char* name : others) {
    EXPECT_FALSE(isEmptyElementName(reinterpret_cast<const unsigned char*>(name), static_cast<int32_t>(strlen(name))))
        << name;
  }
}

}  // namespace
}  // namespace mq
