// The scanner: records, faults and growth for the cases of each rule, and its bulk runs
// held against taking every byte through the transition table.
#include "markup/scanner.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
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
using Records = std::vector<std::string>;

class ScannerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setupRunRecord(testRun(), "", "test");
    ASSERT_EQ(allocateParseTables(testRun(), 1), 0);
    ASSERT_EQ(allocateParserScratch(testRun()), 0);
  }
  void TearDown() override {
    resetAllocationSeam();
    releaseParserScratch(testRun());
    releaseParseTables(testRun());
  }

  // Scans `text` into slot 0 as input loading does; the input block has 16 NUL bytes behind it.
  static int scan(const std::string& text, InputKind kind = InputKind::Html, ScanPath path = ScanPath::Bulk) {
    releaseArea(&testRun().scratch.inputText);
    EXPECT_EQ(allocZeroed(&testRun().scratch.inputText, static_cast<long>(text.size()) + 16), 0);
    std::memcpy(testRun().scratch.inputText, text.data(), text.size());
    testRun().scratch.inputSize = static_cast<int32_t>(text.size());
    openTableCursor(testRun(), 0);
    testRun().cursor.recordCount = 0;
    testRun().cursor.tagNameUsed = 0;
    testRun().cursor.contentUsed = 0;
    const int result = scanMarkup(testRun(), kind, path);
    storeTableCursor(testRun(), 0);
    releaseArea(&testRun().scratch.inputText);
    return result;
  }
  static Records records() { return test::listingLines(0); }

  // Everything a scan leaves: its result, the message and the records.
  struct Outcome {
    int result;
    std::string message;
    Records records;
    bool operator==(const Outcome&) const = default;
  };
  static Outcome outcome(const std::string& text, InputKind kind, ScanPath path) {
    setupRunRecord(testRun(), "", "test");
    const int result = scan(text, kind, path);
    return Outcome{result, testRun().messageText, records()};
  }
  // Holds the bulk runs against taking every byte through the table.
  static void expectBothPathsAgree(const std::string& text, InputKind kind) {
    const Outcome plain = outcome(text, kind, ScanPath::ByteByByte);
    const Outcome bulk = outcome(text, kind, ScanPath::Bulk);
    EXPECT_TRUE(bulk == plain) << (kind == InputKind::Html ? "HTML " : "XML ") << testing::PrintToString(text)
                               << "\n bulk:  " << bulk.result << " " << testing::PrintToString(bulk.records)
                               << "\n plain: " << plain.result << " " << testing::PrintToString(plain.records);
  }

  static std::string fault(const std::string& detail, long row, long column) {
    return sjis("入力ファイルの構造が不正です CONTENS = [" + detail + "] ROWS = [" + std::to_string(row) +
                "] COLS = [" + std::to_string(column) + "]");
  }
  static std::string message() { return testRun().messageText; }
};

TEST_F(ScannerTest, TheWorkedTableExample) {
  ASSERT_EQ(scan("<HTML><BODY><TABLE BORDER=1><TR><TD>A</TD><TD ALIGN='right'>B</TD></TR></TABLE></BODY></HTML>"), 0);
  EXPECT_EQ(records(),
            (Records{"1\t1\t1\t<BODY>\t", "1\t2\t1\t<BODY><TABLE>\t", "1\t3\t1\t<BODY><TABLE><<BORDER>>\t1",
                     "1\t4\t1\t<BODY><TABLE><TR>\t", "1\t5\t1\t<BODY><TABLE><TR><TD>\tA",
                     "1\t6\t2\t<BODY><TABLE><TR><TD>\tB", "1\t7\t1\t<BODY><TABLE><TR><TD><<ALIGN>>\tright"}));
}

TEST_F(ScannerTest, TextsAttachToTheInnermostElementOrContinueIt) {
  ASSERT_EQ(scan("<A HREF=x.html>link</A>"), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<A>\tlink", "1\t2\t1\t<A><<HREF>>\tx.html"}));

  ASSERT_EQ(scan("<P>a<B>b</B>c</P><P>d</P>"), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<P>\ta", "1\t2\t1\t<P><B>\tb", "1\t3\t2\t<P>\tc", "1\t4\t3\t<P>\td"}));

  // Blanks around a text are trimmed, inner blanks and line breaks kept; blank texts attach to nothing.
  ASSERT_EQ(scan("<P>  \r\n </P><Q> a \r\n b </Q>"), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<P>\t", "1\t2\t1\t<Q>\ta \r\n b"}));
}

TEST_F(ScannerTest, EmptyElementsCloseAtTheNextTagInHtmlOnly) {
  ASSERT_EQ(scan("<UL><LI>one<LI>two</UL>"), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<UL>\t", "1\t2\t1\t<UL><LI>\tone", "1\t3\t2\t<UL><LI>\ttwo"}));

  ASSERT_EQ(scan("<P>line<BR>next</P>"), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<P>\tline", "1\t2\t1\t<P><BR>\tnext"}));

  // In XML an element that is never closed encloses everything after it.
  ASSERT_EQ(scan("<UL><LI>one<LI>two</UL>", InputKind::Xml), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<UL>\t", "1\t2\t1\t<UL><LI>\tone", "1\t3\t1\t<UL><LI><LI>\ttwo"}));
}

TEST_F(ScannerTest, OptionsWithAndWithoutValues) {
  // Pending text at the end of the document belongs to its element.
  ASSERT_EQ(scan("<TD NOWRAP>x"), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<TD>\tx", "1\t2\t1\t<TD><<NOWRAP>>\t"}));
  ASSERT_EQ(scan("<TD NOWRAP >x"), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<TD>\tx", "1\t2\t1\t<TD><<NOWRAP>>\t"}));

  ASSERT_EQ(scan("<TD NOWRAP ALIGN=left>"), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<TD>\t", "1\t2\t1\t<TD><<NOWRAP>>\t", "1\t3\t1\t<TD><<ALIGN>>\tleft"}));

  ASSERT_EQ(scan("<A HREF = 'a b'>"), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<A>\t", "1\t2\t1\t<A><<HREF>>\ta b"}));

  ASSERT_EQ(scan("<A HREF= x>"), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<A>\t", "1\t2\t1\t<A><<HREF>>\t", "1\t3\t1\t<A><<X>>\t"}));

  ASSERT_EQ(scan("<A HREF=\"\">"), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<A>\t", "1\t2\t1\t<A><<HREF>>\t"}));

  // Quoted values keep their blanks and may hold the other quote, "<" and ">".
  ASSERT_EQ(scan("<A T=\" it's <b> \" U='say \"hi\"'>z</A>"), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<A>\tz", "1\t2\t1\t<A><<T>>\t it's <b> ", "1\t3\t1\t<A><<U>>\tsay \"hi\""}));

  // An unquoted value runs to a space or ">"; a TAB stays in it.
  ASSERT_EQ(scan("<A V=a\tb W=c>"), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<A>\t", "1\t2\t1\t<A><<V>>\ta\tb", "1\t3\t1\t<A><<W>>\tc"}));
}

TEST_F(ScannerTest, NamesAreUpperCasedAndOnlyCapitalHtmlIsSkipped) {
  ASSERT_EQ(scan("<html><body>x</body></html>"), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<HTML>\t", "1\t2\t1\t<HTML><BODY>\tx"}));

  ASSERT_EQ(scan("<item>a</Item><ITEM>b</item>", InputKind::Xml), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<ITEM>\ta", "1\t2\t2\t<ITEM>\tb"}));

  ASSERT_EQ(scan("<BR/>x"), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<BR/>\tx"}));

  // An end tag for an element that is not open changes nothing.
  ASSERT_EQ(scan("<A><B></C>x</A>"), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<A>\t", "1\t2\t1\t<A><B>\tx"}));
}

TEST_F(ScannerTest, CommentsDeclarationsAndInstructions) {
  ASSERT_EQ(scan("<P>a<!-- x > y -- z -->b</P>"), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<P>\ta", "1\t2\t2\t<P>\tb"}));

  EXPECT_EQ(scan("<P><!-- a > b --></P>", InputKind::Xml), -1);
  EXPECT_EQ(message(), fault("\">\"はタグ以外で使用しないで下さい", 1, 17));

  ASSERT_EQ(scan("<?xml version=\"1.0\"?>\r\n<!DOCTYPE r [\r\n<!ENTITY e \"v\">\r\n]>\r\n<r>t</r>", InputKind::Xml), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<R>\tt"}));

  ASSERT_EQ(scan("<r><![CDATA[ inner ]]>t</r>", InputKind::Xml), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<R>\tt"}));
  EXPECT_EQ(scan("<r><![CDATA[ a > b ]]></r>", InputKind::Xml), -1);
  EXPECT_EQ(message(), fault("\">\"が\"<\"の数を上回りました", 1, 16));

  // Each declaration counts from zero, so the second internal subset is read like the first.
  ASSERT_EQ(scan("<!DOCTYPE a [<!ENTITY x \"1\">]><!DOCTYPE b [<!ENTITY y \"2\">]><r>t</r>", InputKind::Xml), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<R>\tt"}));

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
      // Faults inside a name, where bulk runs end.
      {"<A B/>x</A>", "オプション名に特殊記号は使わないでください", 5},
      {"<AB!>", "タグ名に特殊記号は使わないでください", 4},
      {"<A></AB=>", "オプション名が定義されていません", 8},
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
    EXPECT_EQ(testRun().messageCode, 1021);
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
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<A>\tx"}));
  // An unfinished tag at the end is dropped without a message.
  EXPECT_EQ(scan("<A>x</A><B C='open"), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<A>\tx", "1\t2\t1\t<B>\t", "1\t3\t1\t<B><<C>>\t"}));
}

TEST_F(ScannerTest, TextOutsideEveryElementIsDropped) {
  ASSERT_EQ(scan("<A>x</A> stray <B>y</B>tail"), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<A>\tx", "1\t2\t1\t<B>\ty"}));
  ASSERT_EQ(scan("<HTML>inside<BODY>b</BODY>after</HTML>"), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<BODY>\tb"}));
}

TEST_F(ScannerTest, ShiftJisTextPassesByteForByte) {
  const std::string title = sjis("ソース表示と能力");  // trail bytes 0x5C and 0x5B among them
  ASSERT_EQ(scan("<TITLE>" + title + "</TITLE>"), 0);
  EXPECT_EQ(records(), (Records{"1\t1\t1\t<TITLE>\t" + title}));
}

TEST_F(ScannerTest, LongNamesAndTextsGrowTheirBuffers) {
  const std::string name(10000, 'n');
  const std::string text(200000, 't');
  ASSERT_EQ(scan("<" + name + " V='" + text + "'>" + text + "</" + name + ">"), 0);
  std::string path(10002, 'N');
  path.front() = '<';
  path.back() = '>';
  EXPECT_EQ(records(), (Records{"1\t1\t1\t" + path + "\t" + text, "1\t2\t1\t" + path + "<<V>>\t" + text}));
  EXPECT_GE(testRun().scratch.nameBufferSize, 10004);
  EXPECT_GE(testRun().scratch.textBufferSize, 200016);
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
  const ParseTableSlot& slot = testRun().tables[0];
  std::map<std::string, int32_t> seen;
  ASSERT_GT(slot.recordCount, 30000);
  for (int32_t i = 0; i < slot.recordCount; ++i) {
    const TagRecord& r = *recordAt(slot, i);
    ASSERT_EQ(r.objectNo, i + 1);
    const std::string path(tagPathOf(slot, r), static_cast<std::size_t>(r.tagNameLength));
    ASSERT_EQ(r.seqNo, ++seen[path]) << "record " << i + 1 << " " << path;
  }
  EXPECT_GT(seen.size(), 8192u);
  EXPECT_GT(testRun().scratch.pathIndexSize, kPathIndexArea.firstSize);
}

TEST_F(ScannerTest, FailedGrowthsNameTheirAreaAndSize) {
  const auto failAbove = [](long size) {
    AllocationSeam seam;
    seam.failAbove = size;
    setAllocationSeam(seam);
  };
  failAbove(8192);
  EXPECT_EQ(scan("<P>" + std::string(5000, 'x') + "</P>"), -1);
  EXPECT_EQ(testRun().messageCode, 1014);
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

// Each state that takes bulk runs, reached by a prefix, then every byte after a byte of
// the run: the run must stop exactly where taking the bytes one by one leaves the state.
TEST_F(ScannerTest, BulkRunsStopWhereTheTableLeavesTheState) {
  const char* prefixes[] = {
      "",           // BeforeFirstTag
      "<P>ab",      // Text
      "<!-- ab",    // Comment (HTML; a declaration in XML)
      "<TAG",       // TagName
      "<P OPT",     // OptionName
      "<P></END",   // EndTagName
      "<P V=ab",    // Value, unquoted
      "<P V= =ab",  // Value, unquoted after "="
      "<P V=\"ab",  // Value in double quotes
      "<P V='ab",   // Value in single quotes
  };
  // The byte at each place of a word, and after a word or more: runs are looked through a
  // word at a time.
  const char* fillers[] = {"", "abc", "abcdefg", "abcdefgh", "ab\x82\xA0\x93\xFAghijklm"};
  for (InputKind kind : {InputKind::Html, InputKind::Xml}) {
    for (const char* prefix : prefixes) {
      for (const char* filler : fillers) {
        for (int byte = 1; byte < 256; ++byte) {
          const std::string text = std::string(prefix) + filler + static_cast<char>(byte) + "z" +
                                   static_cast<char>(byte) + "y'\">t</P></TAG>-->x";
          expectBothPathsAgree(text, kind);
          if (HasFailure()) return;
        }
      }
    }
  }
}

// Random documents of both dialects made of markup pieces, long runs among them.
TEST_F(ScannerTest, BulkRunsGiveWhatTheTableGivesOverRandomDocuments) {
  const std::string pieces[] = {"<",    ">",        "/",         "!",   "?",    "-",        "=",
                                "\"",   "'",        " ",         "\t",  "\r",   "\n",       "[",
                                "]",    "A",        "b",         "BR",  "LI",   "HTML",     "p",
                                "<!--", "-->",      "<![CDATA[", "]]>", "<?x ", "\x82\xA0", "\x93\xFA\x96\x7B",
                                "x=1",  " k='v w'", "\"q\"",     "</",  "<A ",  "</A>",     "/>",
                                "<!D "};
  std::mt19937 random(7301);
  for (int n = 0; n < 6000; ++n) {
    std::string text;
    const std::size_t count = random() % 40;
    for (std::size_t i = 0; i < count; ++i) {
      text += pieces[random() % std::size(pieces)];
      if (random() % 50 == 0) text += std::string(random() % 5000, "xy= '\"-"[random() % 7]);
    }
    expectBothPathsAgree(text, n % 2 == 0 ? InputKind::Html : InputKind::Xml);
    if (HasFailure()) return;
  }
}

// A long run of one byte in every state that loops on it, and the look-ahead of a blank
// before a value: the work per byte must not grow with the run.
TEST_F(ScannerTest, WorkStaysLinearOverLongRunsOfOneByte) {
  struct Run {
    const char* before;
    char byte;
    const char* after;
  };
  const Run runs[] = {
      {"<P><A X=", ' ', "\"v\">t</A></P>"},  // blanks before a quoted value
      {"<P><A X=", ' ', "v>t</A></P>"},      // blanks before an unquoted value
      {"<P><A X=", '\t', "\n'v'>"},          // other blanks before a value
      {"<P><A X=\"", 'v', "\">"},            // a quoted value
      {"<P><A X=", 'v', ">"},                // an unquoted value
      {"<P>", 'a', "</P>"},                  // text
      {"<P>", ' ', "x</P>"},                 // blanks in text
      {"<", 'A', ">"},                       // a tag name
      {"<P ", 'A', ">"},                     // an option name
      {"</", 'A', ">"},                      // an end-tag name
      {"<P", ' ', ">"},                      // blanks after a tag name
      {"<P X", ' ', "=1>"},                  // blanks after an option name
      {"<P X=\"1\"", ' ', ">"},              // blanks after a value
      {"<!--", '-', "-->"},                  // dashes in a comment
      {"<!--", 'x', "-->"},                  // a comment
      {"<!DOCTYPE ", '[', ""},               // brackets of a declaration
      {"<!DOCTYPE ", '<', ""},               // angles of a declaration
      {"<?", 'x', "?>"},                     // an instruction
      {"", ' ', "<P>"},                      // before the first tag
  };
  for (InputKind kind : {InputKind::Html, InputKind::Xml}) {
    for (ScanPath path : {ScanPath::Bulk, ScanPath::ByteByByte}) {
      for (const Run& run : runs) {
        for (std::size_t count : {20000u, 80000u}) {
          const std::string text = std::string(run.before) + std::string(count, run.byte) + run.after;
          const bool whole = scan(text, kind, path) == 0;
          const auto size = static_cast<int64_t>(text.size());
          EXPECT_LE(lastScanSteps(testRun()), 3 * size) << run.before << "[" << count << " x '" << run.byte << "']";
          if (whole) {
            EXPECT_GE(lastScanSteps(testRun()), size) << run.before << "[" << count << " x '" << run.byte << "']";
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace mq

namespace mq {
namespace {

// A collecting buffer grows when the bytes it holds leave only 16 free, whether they come one
// by one or as a run: a text of 4,079 bytes stays in the first 4,096, one of 4,080 does not.
TEST_F(ScannerTest, ABufferGrowsWhenSixteenBytesAreLeft) {
  for (const ScanPath path : {ScanPath::Bulk, ScanPath::ByteByByte}) {
    for (const int32_t length : {4079, 4080}) {
      releaseParserScratch(testRun());
      ASSERT_EQ(allocateParserScratch(testRun()), 0);
      ASSERT_EQ(scan("<p>" + std::string(static_cast<std::size_t>(length), 'x') + "</p>", InputKind::Html, path), 0);
      EXPECT_EQ(testRun().scratch.textBufferSize, length < 4080 ? 4096 : 4096 + 65536) << length;
    }
  }
}

}  // namespace
}  // namespace mq
