#include "markup/scanner.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "common/run_record.h"
#include "common/settings.h"
#include "common/work_areas.h"
#include "markup/parse_tables.h"
#include "markup/scanner_tables.h"
#include "test_support.h"

namespace mq {
namespace {

using test::sjis;
using Records = std::vector<std::string>;

class ScannerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetSettings();
    gSettings.inputCount = 1;
    gSettings.inputKind = InputKind::Html;
    ASSERT_EQ(allocateParseTables(), 0);
    ASSERT_EQ(allocateParserScratch(), 0);
  }
  void TearDown() override {
    resetAllocationSeam();
    releaseParserScratch();
    releaseParseTables();
  }

  // Scans `text` into slot 0 as input loading does; the input block has 16 NUL bytes behind it.
  int scan(const std::string& text, InputKind kind = InputKind::Html) {
    gSettings.inputKind = kind;
    releaseArea(&gParserScratch.inputText);
    EXPECT_EQ(allocZeroed(&gParserScratch.inputText, static_cast<long>(text.size()) + 16), 0);
    std::memcpy(gParserScratch.inputText, text.data(), text.size());
    gParserScratch.inputSize = static_cast<int32_t>(text.size());
    openTableCursor(0);
    gTableCursor.recordCount = 0;
    gTableCursor.tagNameUsed = 0;
    gTableCursor.contentUsed = 0;
    resetScanner();
    const int result = scanMarkup();
    storeTableCursor(0);
    releaseArea(&gParserScratch.inputText);
    return result;
  }

  // "objectNo seqNo path" and " =content" when the record has content.
  static Records records() {
    Records out;
    const ParseTableSlot& slot = gParseTables[0];
    for (int32_t i = 0; i < slot.recordCount; ++i) {
      const TagRecord& r = *recordAt(slot, i);
      std::string line = std::to_string(r.objectNo) + " " + std::to_string(r.seqNo) + " " +
                         std::string(tagPathOf(slot, r), static_cast<std::size_t>(r.tagNameLength));
      if (r.contentOffset != -1)
        line += " =" + std::string(contentOf(slot, r), static_cast<std::size_t>(r.contentLength));
      out.push_back(line);
    }
    return out;
  }

  static std::string fault(const std::string& detail, long row, long column) {
    return sjis("入力ファイルの構造が不正です CONTENS = [" + detail + "] ROWS = [" + std::to_string(row) +
                "] COLS = [" + std::to_string(column) + "]");
  }
  static std::string message() { return gRunRecord.messageText; }
};

TEST_F(ScannerTest, TheWorkedTableExample) {
  ASSERT_EQ(scan("<HTML><BODY><TABLE BORDER=1><TR><TD>A</TD><TD ALIGN='right'>B</TD></TR></TABLE></BODY></HTML>"), 0);
  EXPECT_EQ(records(), (Records{"1 1 <BODY>", "2 1 <BODY><TABLE>", "3 1 <BODY><TABLE><<BORDER>> =1",
                                "4 1 <BODY><TABLE><TR>", "5 1 <BODY><TABLE><TR><TD> =A", "6 2 <BODY><TABLE><TR><TD> =B",
                                "7 1 <BODY><TABLE><TR><TD><<ALIGN>> =right"}));
}

TEST_F(ScannerTest, TextsAttachToTheInnermostElementOrContinueIt) {
  ASSERT_EQ(scan("<A HREF=x.html>link</A>"), 0);
  EXPECT_EQ(records(), (Records{"1 1 <A> =link", "2 1 <A><<HREF>> =x.html"}));

  ASSERT_EQ(scan("<P>a<B>b</B>c</P><P>d</P>"), 0);
  EXPECT_EQ(records(), (Records{"1 1 <P> =a", "2 1 <P><B> =b", "3 2 <P> =c", "4 3 <P> =d"}));

  // Blanks around a text are trimmed, inner blanks and line breaks kept; blank texts attach to nothing.
  ASSERT_EQ(scan("<P>  \r\n </P><Q> a \r\n b </Q>"), 0);
  EXPECT_EQ(records(), (Records{"1 1 <P>", "2 1 <Q> =a \r\n b"}));
}

TEST_F(ScannerTest, EmptyElementsCloseAtTheNextTagInHtmlOnly) {
  ASSERT_EQ(scan("<UL><LI>one<LI>two</UL>"), 0);
  EXPECT_EQ(records(), (Records{"1 1 <UL>", "2 1 <UL><LI> =one", "3 2 <UL><LI> =two"}));

  ASSERT_EQ(scan("<P>line<BR>next</P>"), 0);
  EXPECT_EQ(records(), (Records{"1 1 <P> =line", "2 1 <P><BR> =next"}));

  // In XML an element that is never closed encloses everything after it.
  ASSERT_EQ(scan("<UL><LI>one<LI>two</UL>", InputKind::Xml), 0);
  EXPECT_EQ(records(), (Records{"1 1 <UL>", "2 1 <UL><LI> =one", "3 1 <UL><LI><LI> =two"}));
}

TEST_F(ScannerTest, OptionsWithAndWithoutValues) {
  // Pending text at the end of the document belongs to its element.
  ASSERT_EQ(scan("<TD NOWRAP>x"), 0);
  EXPECT_EQ(records(), (Records{"1 1 <TD> =x", "2 1 <TD><<NOWRAP>>"}));
  ASSERT_EQ(scan("<TD NOWRAP >x"), 0);
  EXPECT_EQ(records(), (Records{"1 1 <TD> =x", "2 1 <TD><<NOWRAP>>"}));

  ASSERT_EQ(scan("<TD NOWRAP ALIGN=left>"), 0);
  EXPECT_EQ(records(), (Records{"1 1 <TD>", "2 1 <TD><<NOWRAP>>", "3 1 <TD><<ALIGN>> =left"}));

  ASSERT_EQ(scan("<A HREF = 'a b'>"), 0);
  EXPECT_EQ(records(), (Records{"1 1 <A>", "2 1 <A><<HREF>> =a b"}));

  ASSERT_EQ(scan("<A HREF= x>"), 0);
  EXPECT_EQ(records(), (Records{"1 1 <A>", "2 1 <A><<HREF>>", "3 1 <A><<X>>"}));

  ASSERT_EQ(scan("<A HREF=\"\">"), 0);
  EXPECT_EQ(records(), (Records{"1 1 <A>", "2 1 <A><<HREF>>"}));

  // Quoted values keep their blanks and may hold the other quote, "<" and ">".
  ASSERT_EQ(scan("<A T=\" it's <b> \" U='say \"hi\"'>z</A>"), 0);
  EXPECT_EQ(records(), (Records{"1 1 <A> =z", "2 1 <A><<T>> = it's <b> ", "3 1 <A><<U>> =say \"hi\""}));

  // An unquoted value runs to a space or ">"; a TAB stays in it.
  ASSERT_EQ(scan("<A V=a\tb W=c>"), 0);
  EXPECT_EQ(records(), (Records{"1 1 <A>", "2 1 <A><<V>> =a\tb", "3 1 <A><<W>> =c"}));
}

TEST_F(ScannerTest, NamesAreUpperCasedAndOnlyCapitalHtmlIsSkipped) {
  ASSERT_EQ(scan("<html><body>x</body></html>"), 0);
  EXPECT_EQ(records(), (Records{"1 1 <HTML>", "2 1 <HTML><BODY> =x"}));

  ASSERT_EQ(scan("<item>a</Item><ITEM>b</item>", InputKind::Xml), 0);
  EXPECT_EQ(records(), (Records{"1 1 <ITEM> =a", "2 2 <ITEM> =b"}));

  ASSERT_EQ(scan("<BR/>x"), 0);
  EXPECT_EQ(records(), (Records{"1 1 <BR/> =x"}));

  // An end tag for an element that is not open changes nothing.
  ASSERT_EQ(scan("<A><B></C>x</A>"), 0);
  EXPECT_EQ(records(), (Records{"1 1 <A>", "2 1 <A><B> =x"}));
}

TEST_F(ScannerTest, CommentsDeclarationsAndInstructions) {
  ASSERT_EQ(scan("<P>a<!-- x > y -- z -->b</P>"), 0);
  EXPECT_EQ(records(), (Records{"1 1 <P> =a", "2 2 <P> =b"}));

  EXPECT_EQ(scan("<P><!-- a > b --></P>", InputKind::Xml), -1);
  EXPECT_EQ(message(), fault("\">\"はタグ以外で使用しないで下さい", 1, 17));

  ASSERT_EQ(scan("<?xml version=\"1.0\"?>\r\n<!DOCTYPE r [\r\n<!ENTITY e \"v\">\r\n]>\r\n<r>t</r>", InputKind::Xml), 0);
  EXPECT_EQ(records(), (Records{"1 1 <R> =t"}));

  ASSERT_EQ(scan("<r><![CDATA[ inner ]]>t</r>", InputKind::Xml), 0);
  EXPECT_EQ(records(), (Records{"1 1 <R> =t"}));
  EXPECT_EQ(scan("<r><![CDATA[ a > b ]]></r>", InputKind::Xml), -1);
  EXPECT_EQ(message(), fault("\">\"が\"<\"の数を上回りました", 1, 16));

  // Each declaration counts from zero, so the second internal subset is read like the first.
  ASSERT_EQ(scan("<!DOCTYPE a [<!ENTITY x \"1\">]><!DOCTYPE b [<!ENTITY y \"2\">]><r>t</r>", InputKind::Xml), 0);
  EXPECT_EQ(records(), (Records{"1 1 <R> =t"}));

  EXPECT_EQ(scan("<!DOCTYPE a ]>", InputKind::Xml), -1);
  EXPECT_EQ(message(), fault("\"]\"が\"[\"の数を上回りました", 1, 13));

  EXPECT_EQ(scan("<?php x ?>"), -1);
  EXPECT_EQ(message(), fault("タグ名に特殊記号は使わないでください", 1, 2));
}

TEST_F(ScannerTest, SyntaxFaultsNameTheFaultAndItsPlace) {
  struct Case {
    const char* input;
    const char* detail;
    long column;
  };
  const Case cases[] = {
      {"<BR />", "無意味な\"/\"が見つかりました", 5},
      {"<P></P x>", "閉じるタグにはオプションを付けないでください", 8},
      {"<P></>", "タグ名が定義されていません", 6},
      {"<>", "タグ名が定義されていません", 2},
      {"<P>a > b</P>", "\">\"はタグ以外で使用しないで下さい", 6},
      {"<P<", "無意味な\"<\"が見つかりました", 3},
      {"<A =1>", "タグ名が定義されていません", 4},
      {"<A B\"", "オプション名に特殊記号は使わないでください", 5},
      {"<A B \"x\">", "\"=\"が見つかりません", 6},
      {"<A -x>", "無意味な\"-\"が見つかりました", 4},
      {"<A !>", "無意味な\"!\"が見つかりました", 4},
      {"<A ?>", "無意味な\"?\"が見つかりました", 4},
      {"<A B=1 =2>", "オプション名が定義されていません", 8},
      {"< \"", "無意味な\"\"\"が見つかりました", 3},
      {"<'", "無意味な\"'\"が見つかりました", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(scan(c.input), -1);
    EXPECT_EQ(gRunRecord.messageCode, 1021);
    EXPECT_EQ(message(), fault(c.detail, 1, c.column));
  }
  // Rows and columns count the text before the fault: CR LF ends a row, a TAB is 4 columns.
  EXPECT_EQ(scan("0123456789\r\n0123456789\r\n>"), -1);
  EXPECT_EQ(message(), fault("\">\"はタグ以外で使用しないで下さい", 3, 1));
  EXPECT_EQ(scan("<P>\t" + sjis("日本") + ">"), -1);
  EXPECT_EQ(message(), fault("\">\"はタグ以外で使用しないで下さい", 1, 12));
}

TEST_F(ScannerTest, TheTextEndsAtItsFirstNulOrItsSize) {
  EXPECT_EQ(scan(""), 0);
  EXPECT_TRUE(records().empty());
  EXPECT_EQ(scan(std::string("\0<A>x", 5)), 0);
  EXPECT_TRUE(records().empty());
  EXPECT_EQ(scan(std::string("<A>x\0<B>y", 9)), 0);
  EXPECT_EQ(records(), (Records{"1 1 <A> =x"}));
  // An unfinished tag at the end is dropped without a message.
  EXPECT_EQ(scan("<A>x</A><B C='open"), 0);
  EXPECT_EQ(records(), (Records{"1 1 <A> =x", "2 1 <B>", "3 1 <B><<C>>"}));
}

TEST_F(ScannerTest, TextOutsideEveryElementIsDropped) {
  ASSERT_EQ(scan("<A>x</A> stray <B>y</B>tail"), 0);
  EXPECT_EQ(records(), (Records{"1 1 <A> =x", "2 1 <B> =y"}));
  ASSERT_EQ(scan("<HTML>inside<BODY>b</BODY>after</HTML>"), 0);
  EXPECT_EQ(records(), (Records{"1 1 <BODY> =b"}));
}

TEST_F(ScannerTest, ShiftJisTextPassesByteForByte) {
  const std::string title = sjis("ソース表示と能力");  // trail bytes 0x5C and 0x5B among them
  ASSERT_EQ(scan("<TITLE>" + title + "</TITLE>"), 0);
  EXPECT_EQ(records(), (Records{"1 1 <TITLE> =" + title}));
}

TEST_F(ScannerTest, LongNamesAndTextsGrowTheirBuffers) {
  const std::string name(10000, 'n');
  const std::string text(200000, 't');
  ASSERT_EQ(scan("<" + name + " V='" + text + "'>" + text + "</" + name + ">"), 0);
  std::string path(10002, 'N');
  path.front() = '<';
  path.back() = '>';
  EXPECT_EQ(records(), (Records{"1 1 " + path + " =" + text, "2 1 " + path + "<<V>> =" + text}));
  EXPECT_GE(gParserScratch.nameBufferSize, 10004);
  EXPECT_GE(gParserScratch.textBufferSize, 200016);
}

// Every record takes the next number of its own path, continuation records included; this
// holds over many thousands of distinct paths, well past the first size of the path index.
TEST_F(ScannerTest, SequenceNumbersCountEachPathOverManyDistinctPaths) {
  std::string doc;
  uint32_t seed = 12345;
  auto next = [&seed](uint32_t bound) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % bound;
  };
  int depth = 0;
  for (int i = 0; i < 60000; ++i) {
    const uint32_t pick = next(10);
    if (pick < 5 && depth < 12) {
      doc += "<T" + std::to_string(next(7)) + (next(3) == 0 ? " K=v" : "") + ">";
      ++depth;
    } else if (pick < 8 && depth > 0) {
      doc += 'w';
      doc += std::to_string(i);
    } else if (depth > 0) {
      doc += "</T>";  // closes nothing: names carry a digit; only the end of a document closes
      doc += "</" + std::string("T") + std::to_string(next(7)) + ">";
      depth = 0;
      doc += "<R>";
    }
  }
  ASSERT_EQ(scan(doc, InputKind::Xml), 0);
  const ParseTableSlot& slot = gParseTables[0];
  std::map<std::string, int32_t> seen;
  ASSERT_GT(slot.recordCount, 30000);
  for (int32_t i = 0; i < slot.recordCount; ++i) {
    const TagRecord& r = *recordAt(slot, i);
    ASSERT_EQ(r.objectNo, i + 1);
    const std::string path(tagPathOf(slot, r), static_cast<std::size_t>(r.tagNameLength));
    ASSERT_EQ(r.seqNo, ++seen[path]) << "record " << i + 1 << " " << path;
  }
  EXPECT_GT(seen.size(), 8192u);
  EXPECT_GT(gParserScratch.pathIndexSize, kPathIndexSize);
}

TEST_F(ScannerTest, FailedGrowthsNameTheirAreaAndSize) {
  const auto failAbove = [](long size) {
    AllocationSeam seam;
    seam.failAbove = size;
    setAllocationSeam(seam);
  };
  failAbove(8192);
  EXPECT_EQ(scan("<P>" + std::string(5000, 'x') + "</P>"), -1);
  EXPECT_EQ(gRunRecord.messageCode, 1014);
  EXPECT_EQ(message(), sjis("メモリの拡張に失敗しました CONTENTS = [内容一時待避領域] MEMORYOFFSET = [69632]"));
  resetAllocationSeam();

  failAbove(100000);
  std::string doc;
  for (int i = 0; i < 5000; ++i) {
    const std::string number = std::to_string(i);
    doc.append("<A").append(number).append("></A").append(number).append(">");
  }
  EXPECT_EQ(scan(doc), -1);
  EXPECT_EQ(message(), sjis("メモリの拡張に失敗しました CONTENTS = [シーケンス構造領域] MEMORYOFFSET = [131072]"));
  resetAllocationSeam();

  failAbove(8192);
  std::string longName(5002, 'N');
  longName.front() = '<';
  longName.back() = '>';
  EXPECT_EQ(scan(longName), -1);
  EXPECT_EQ(message(), sjis("メモリの拡張に失敗しました CONTENTS = [タグ名一時待避領域] MEMORYOFFSET = [69632]"));
}

}  // namespace
}  // namespace mq

namespace mq {
namespace {

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
