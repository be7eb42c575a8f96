// ToolMqlInputX and ToolMqlInputH end to end: documents in, listings, reports and exit
// codes out.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "markup/standard_parser.h"
#include "tests/test_support.h"

namespace mq {
namespace {

using test::readFile;
using test::sjis;
using test::writeFile;

const std::string kToolX = MQ_TOOL_X;
const std::string kToolH = MQ_TOOL_H;
// Documents read the classic way without a declared code: the report names the code found.
const std::string kDone = "ToolMqlInputH: " + sjis("正常に終了しました。") + " CODE = [ASCII]\n";
const std::string kAsk =
    "ToolMqlInputH: " + sjis("ファイルが存在します。上書きしてもよろしいですか？") + " [OK/Cancel] ";
// A cell with a separator, a TAB and a line end in its text, and an option without a value.
const std::string kCell = "<TD NOWRAP>x,\ty\r\nz</TD>";
const std::string kCellListing = "1\t1\t1\t<TD>\tx,[09]y[0D][0A]z\r\n1\t2\t1\t<TD><<NOWRAP>>\t\r\n";

std::string failure(const std::string& utf8) { return "ToolMqlInputH: " + sjis(utf8) + "\n"; }

class ListingToolProgram : public test::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    writeFile(path("c.html"), kCell);
  }
  test::ProgramResult run(const std::string& tool, const std::vector<std::string>& arguments,
                          const std::string& input = "") {
    return test::runProgram(tool, arguments, dir_, input);
  }
};

TEST_F(ListingToolProgram, ListsEveryRecordOfTheDocumentInItsDialect) {
  writeFile(path("t.html"),
            "<HTML><BODY><TABLE BORDER=1><TR><TD>A</TD><TD ALIGN='right'>B</TD></TR></TABLE></BODY></HTML>");
  const auto h = run(kToolH, {"t.html", "h.txt"});
  EXPECT_EQ(h.exitCode, 0);
  test::expectToolDialog(h, "", kDone);
  EXPECT_EQ(readFile(path("h.txt")),
            "1\t1\t1\t<BODY>\t\r\n1\t2\t1\t<BODY><TABLE>\t\r\n1\t3\t1\t<BODY><TABLE><<BORDER>>\t1\r\n"
            "1\t4\t1\t<BODY><TABLE><TR>\t\r\n1\t5\t1\t<BODY><TABLE><TR><TD>\tA\r\n"
            "1\t6\t2\t<BODY><TABLE><TR><TD>\tB\r\n1\t7\t1\t<BODY><TABLE><TR><TD><<ALIGN>>\tright\r\n");
  // As XML the capitalised HTML element is an element like any other.
  const auto x = run(kToolX, {"t.html", "x.txt"});
  test::expectToolDialog(x, "", "ToolMqlInputX: " + sjis("正常に終了しました。") + " CODE = [ASCII]\n");
  const std::string listing = readFile(path("x.txt"));
  EXPECT_EQ(listing.substr(0, 15), "1\t1\t1\t<HTML>\t\r\n");
  EXPECT_NE(listing.find("\r\n1\t8\t1\t<HTML><BODY><TABLE><TR><TD><<ALIGN>>\tright\r\n"), std::string::npos);
}

// Names with blanks, as a quoting shell passes them, are one argument each, in every program.
TEST_F(ListingToolProgram, NamesWithBlanksAreOneArgumentEach) {
  std::filesystem::create_directories(path("my docs"));
  writeFile(path("my docs/shop page.html"), kCell);
  writeFile(path("my docs/tmpl t.txt"), "<%1<TD>0001000000%>");
  writeFile(path("my docs/run job.ini"),
            "[LOG]\nFILENAME=my docs/job log.txt\nWARLOGOUT=NO\n[OUTFILE]\nKIND=NORMAL\nOUTFILE=my docs/out put.txt\n"
            "[SET]\nSTART=<%\nEND=%>\n[INFILE]\nCOUNT=1\nKIND=HTML\nINFILE1=my docs/shop page.html\n"
            "[OUTDEF]\nOUTDEF=my docs/tmpl t.txt\n");
  EXPECT_EQ(run(kToolH, {"my docs/shop page.html", "my docs/list ing.tsv"}).exitCode, 0);
  EXPECT_EQ(readFile(path("my docs/list ing.tsv")), kCellListing);
  EXPECT_EQ(test::runProgram(MQ_MARQUILL, {"./my docs/run job.ini"}, dir_).exitCode, 0);
  EXPECT_EQ(readFile(path("my docs/out put.txt")), "x,\ty\r\nz");
  EXPECT_EQ(test::runProgram(MQ_TOOL_RECAST, {"/cEUC", "my docs/shop page.html", "my docs/re cast.txt"}, dir_).exitCode,
            0);
  EXPECT_TRUE(test::fileExists(path("my docs/re cast.txt")));
}

// In a script: /y replaces an existing output without a question, and "-" reads standard
// input or writes standard output (the report then goes to standard error), in both tools.
TEST_F(ListingToolProgram, ScriptsSayYesAndUseTheStandardStreams) {
  writeFile(path("old.tsv"), "old");
  const test::ProgramResult yes = run(kToolH, {"/y", path("c.html"), path("old.tsv")});
  EXPECT_EQ(yes.exitCode, 0);
  EXPECT_EQ(readFile(path("old.tsv")), kCellListing);
  expectToolDialog(yes, "", kDone);

  const test::ProgramResult piped = run(kToolH, {"-", "-"}, kCell);
  EXPECT_EQ(piped.exitCode, 0);
  if (piped.boxes.empty()) {
    EXPECT_EQ(piped.out, kCellListing);
    EXPECT_EQ(piped.err, test::onTerminal(kDone));
  } else {
    EXPECT_EQ(piped.out, kCellListing);
  }
  const test::ProgramResult recast = test::runProgram(MQ_TOOL_RECAST, {"/Y", "/cEUC", "-", "-"}, dir_, sjis("港"));
  EXPECT_EQ(recast.exitCode, 0);
  EXPECT_EQ(recast.out, test::convert(sjis("港"), "CP932", "EUC-JP"));
  // Without /y, and nobody to answer, an existing output stays.
  writeFile(path("kept.tsv"), "kept");
  EXPECT_EQ(run(kToolH, {path("c.html"), path("kept.tsv")}).exitCode, 255);
  EXPECT_EQ(readFile(path("kept.tsv")), "kept");
}

TEST_F(ListingToolProgram, OptionsChooseHeaderSeparatorAndEmptyValues) {
  const std::string commas = "1,1,1,<TD>,x,[09]y[0D][0A]z\r\n1,2,1,<TD><<NOWRAP>>,\r\n";
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"c.html", "out.txt", "third.txt"}, kCellListing},
      {{"/K", "c.html", "out.txt"}, "FileNo\tNo\tSeaNo\tTagName\tValue\r\n" + kCellListing},
      {{"c.html", "/d", "out.txt"}, "1\t1\t1\t<TD>\tx,[09]y[0D][0A]z\r\n"},
      {{"/p,", "c.html", "out.txt", "/p" + sjis("表")}, commas},
      {{"/P,", "/p\\t", "c.html", "out.txt"}, kCellListing},
      {{"/p;", "/k", "/D", "c.html", "out.txt"}, "FileNo;No;SeaNo;TagName;Value\r\n1;1;1;<TD>;x,[09]y[0D][0A]z\r\n"},
      {{path("c.html"), "/p,", "/p", path("out.txt")}, commas},  // absolute paths are names
  };
  for (const auto& [arguments, expected] : cases) {
    std::remove(path("out.txt").c_str());
    const auto result = run(kToolH, arguments);
    EXPECT_EQ(result.exitCode, 0) << arguments[0];
    EXPECT_EQ(readFile(path("out.txt")), expected) << arguments[0];
  }
  EXPECT_FALSE(test::fileExists(path("third.txt")));
}

TEST_F(ListingToolProgram, AListingIsReplacedOnlyAfterGoodOptionsAnOkAndAGoodParse) {
  writeFile(path("bad.html"), "<P>a > b</P>");
  writeFile(path("empty.html"), "");
  const std::string declined = failure("処理は行われませんでした");
  struct Case {
    std::vector<std::string> arguments;
    std::string old, answer;
    int exitCode;
    std::string err, listing;
  };
  const std::vector<Case> cases = {
      {{"c.html", "out.txt"}, "", "", 0, "", kCellListing},
      {{"c.html", "out.txt"}, "old", "yes\n", 0, kAsk, kCellListing},
      {{"c.html", "out.txt"}, "old", " ok\r\n", 0, kAsk, kCellListing},
      {{"c.html", "out.txt"}, "old", "no\n", 255, kAsk + declined, "old"},
      {{"c.html", "out.txt"}, "old", "\n", 255, kAsk + declined, "old"},
      {{"c.html", "out.txt"}, "old", "", 255, kAsk + declined, "old"},
      {{"/k", "empty.html", "out.txt"}, "old", "y\n", 0, kAsk, ""},
      {{"/x", "c.html", "out.txt"}, "old", "yes\n", 255, failure("パラメータの設定ミスです PARA=[/x]"), "old"},
      {{"c.html", "out.txt", "/a/b"}, "old", "", 255, failure("パラメータの設定ミスです PARA=[/a/b]"), "old"},
      {{"/kx", "c.html"}, "old", "", 255, failure("パラメータの設定ミスです PARA=[/kx]"), "old"},
      {{"c.html"}, "old", "", 255, failure("パラメータの設定ミスです PARA=[ファイルの指定が正しくありません]"), "old"},
      {{"bad.html", "out.txt"},
       "old",
       "yes\n",
       255,
       kAsk + failure(
                  "入力ファイルの構造が不正です CONTENS = [\">\"はタグ以外で使用しないで下さい] ROWS = [1] COLS = [6]"),
       "old"},
      {{"none.html", "out.txt"},
       "old",
       "yes\n",
       255,
       kAsk + failure("ファイルの読込みに失敗しました FILENAME = [none.html]"),
       "old"},
      // /dev/full measures 0 bytes, so it is written without a question; the write fails.
      {{"c.html", "/dev/full"},
       "old",
       "",
       255,
       failure("ファイルの書込みに失敗しました FILENAME = [/dev/full]"),
       "old"},
      {{"c.html", "no/out.txt"},
       "old",
       "",
       255,
       failure("ファイルのオープンに失敗しました FILENAME = [no/out.txt]"),
       "old"},
  };
  for (const Case& c : cases) {
    if (std::ranges::count(c.arguments, "/dev/full") > 0 && test::kFullDisk == nullptr) continue;
    if (!test::kQuestionsCanBeAnswered && test::acceptsQuestion(c.answer) && c.err.starts_with(kAsk)) continue;
    writeFile(path("out.txt"), c.old);
    const auto result = run(kToolH, c.arguments, c.answer);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments[0] << " " << c.answer;
    SCOPED_TRACE(c.arguments[0] + " " + c.answer);
    test::expectToolDialog(result, c.err, c.exitCode == 0 ? kDone : "");
    EXPECT_EQ(readFile(path("out.txt")), c.listing) << c.arguments[0] << " " << c.answer;
  }
}

TEST_F(ListingToolProgram, ValuesAroundTheValueAreaBoundaryAreWrittenWhole) {
  // Escaped lengths 4079, 4080 and 4081, one made mostly of escapes, then a short one.
  const std::vector<std::string> values = {std::string(4079, 'a'), std::string(4080, 'b'), std::string(4081, 'c'),
                                           "d" + std::string(1020, '\t') + "d", "short"};
  std::string document, expected;
  for (std::size_t i = 0; i < values.size(); ++i) {
    document += "<P>" + values[i] + "</P>";
    const std::string number = std::to_string(i + 1);
    std::string escaped = values[i];
    for (std::size_t at; (at = escaped.find('\t')) != std::string::npos;) escaped.replace(at, 1, "[09]");
    expected += "1\t" + number + "\t" + number + "\t<P>\t" + escaped + "\r\n";
  }
  writeFile(path("long.html"), document);
  EXPECT_EQ(run(kToolH, {"long.html", "out.txt"}).exitCode, 0);
  EXPECT_EQ(readFile(path("out.txt")), expected);
}

TEST_F(ListingToolProgram, ReportsInUtf8OnAUtf8TerminalAndKeepsTheListingInShiftJis) {
  writeFile(path("j.html"), "<P>" + sjis("日本語") + "</P>");
  const auto utf8 = [&](const std::string& input) {
    return test::runProgram(kToolH, {"j.html", "out.txt"}, dir_, input, {"LC_ALL=C.UTF-8"});
  };
  if (!test::kDialogsOnTerminal) {
    // Message boxes take the Shift-JIS texts whatever the locale says.
    test::expectToolDialog(utf8(""), "", "ToolMqlInputH: " + sjis("正常に終了しました。") + " CODE = [SJIS]\n");
    EXPECT_EQ(readFile(path("out.txt")), "1\t1\t1\t<P>\t" + sjis("日本語") + "\r\n");
    return;
  }
  EXPECT_EQ(utf8("").out, "ToolMqlInputH: 正常に終了しました。 CODE = [SJIS]\n");
  EXPECT_EQ(readFile(path("out.txt")), "1\t1\t1\t<P>\t" + sjis("日本語") + "\r\n");
  EXPECT_EQ(utf8("no\n").err,
            "ToolMqlInputH: ファイルが存在します。上書きしてもよろしいですか？ [OK/Cancel] "
            "ToolMqlInputH: 処理は行われませんでした\n");
}

// Marquill reads back a listing that a tool wrote with the default separator and no header
// line, and refuses one with the header line at its first row.
TEST_F(ListingToolProgram, MarquillReadsBackAPlainListingOnly) {
  writeFile(path("p.html"), "<P>a<B>b</B>c</P>");
  ASSERT_EQ(run(kToolH, {"p.html", "plain.tsv"}).exitCode, 0);
  ASSERT_EQ(run(kToolH, {"p.html", "header.tsv", "/k"}).exitCode, 0);
  writeFile(path("def.txt"), "");
  const auto marquill = [&](const std::string& listing) {
    writeFile(path("s.ini"),
              "[LOG]\r\nWARLOGOUT=NO\r\n[OUTFILE]\r\nKIND=NORMAL\r\nOUTFILE=out.txt\r\n[SET]\r\nSTART=<%\r\nEND=%>\r\n"
              "[INFILE]\r\nCOUNT=1\r\nKIND=CSV\r\nINFILE1=" +
                  listing + "\r\n[OUTDEF]\r\nOUTDEF=def.txt\r\n");
    return test::runProgram(MQ_MARQUILL, {"./s.ini"}, dir_).exitCode;
  };
  EXPECT_EQ(marquill("plain.tsv"), 0);
  EXPECT_FALSE(test::fileExists(path("ERRLOG.LOG")));
  EXPECT_EQ(marquill("header.tsv"), 255);
  EXPECT_EQ(test::logEntries(readFile(path("ERRLOG.LOG"))),
            (std::vector<std::string>{"1021 " + sjis("入力ファイルの構造が不正です CONTENS = [ファイル番号が不正です] "
                                                     "ROWS = [1] COLS = [1]")}));
}

// Pages written in one code are read in it, byte for byte into Shift-JIS: kana, the code
// page's extensions and a lone kana stay as they are, and the report names the code found.
TEST_F(ListingToolProgram, APageInOneCodeIsReadInThatCode) {
  const std::string text = "<P>ｶﾀｶﾅ ﾃｽﾄ</P><P>髙橋 ⅰ</P><P>ｱ</P>";
  const std::string listing = sjis("1\t1\t1\t<P>\tｶﾀｶﾅ ﾃｽﾄ\r\n1\t2\t2\t<P>\t髙橋 ⅰ\r\n1\t3\t3\t<P>\tｱ\r\n");
  struct Case {
    std::string name, bytes, report, listing;
  };
  std::vector<Case> cases = {{"s.html", sjis(text), "SJIS", listing}};
  if (test::systemConvertsCodes()) {
    cases.push_back({"e.html", test::convert(text, "UTF-8", "EUC-JP-MS"), "EUC", listing});
    cases.push_back({"u.html", text, "UTF8", listing});
    // A character the code page lacks is 〓, counted in the report.
    cases.push_back({"x.html", "<P>caf\xC3\xA9 \xE6\x97\xA5</P>", "UTF8] " +
                     sjis("変換できない文字を置き換えました FILENAME = [x.html] COUNT = [1]"),
                     "1\t1\t1\t<P>\tcaf\x81\xAC " + sjis("日") + "\r\n"});
  }
  for (const Case& c : cases) {
    writeFile(path(c.name), c.bytes);
    std::remove(path("o.txt").c_str());
    const auto result = run(kToolH, {c.name, "o.txt"});
    EXPECT_EQ(result.exitCode, 0) << c.name;
    const std::string report = c.report.find(']') == std::string::npos ? c.report + "]" : c.report;
    test::expectToolDialog(result, "", "ToolMqlInputH: " + sjis("正常に終了しました。") + " CODE = [" + report + "\n");
    EXPECT_EQ(readFile(path("o.txt")), c.listing) << c.name;
  }
}

// On pages whose characters Shift-JIS holds, the UTF-8 listing is the Shift-JIS listing
// converted, byte for byte, whichever way the page is read: our sample pages and feeds, the
// demo's page, and random pages of kana, kanji and markup.
TEST_F(ListingToolProgram, AUtf8ListingIsTheShiftJisListingConverted) {
  if (!test::systemConvertsCodes()) GTEST_SKIP() << "UTF-8 needs the system's converter";
  const std::string samples = MQ_SAMPLES_DIR;
  std::vector<std::pair<std::string, std::string>> pages;  // file, bytes
  for (const char* name : {"news.html", "shop.html", "feed.xml", "catalog.xml", "atom.xml"}) {
    pages.emplace_back(name, readFile(samples + "/" + name));
  }
  pages.emplace_back("bakery.html", readFile(std::string(MQ_EXAMPLES_DIR) + "/bakery.html"));
  const std::string pieces[] = {"<P>", "</P>", "<TD CLASS=\"x\">", "</TD>", "<B>", "</B>", "日本語", "ｶﾀｶﾅ",
                                "髙橋", "ⅰ", "＄１２０", " ", "\r\n", "&amp;", "abc", "<!-- 注 -->"};
  std::mt19937 random(1601);
  int compared = 0;
  for (int n = 0; n < 40; ++n) {
    std::string page = "<HTML><BODY>";
    for (int i = 0; i < 30; ++i) page += pieces[random() % std::size(pieces)];
    std::string name = "r";
    name += std::to_string(n);
    name += ".html";
    pages.emplace_back(name, sjis(page + "</BODY></HTML>"));
  }
  for (const auto& [name, bytes] : pages) {
    writeFile(path(name), bytes);
    const std::string& tool = name.ends_with(".xml") ? kToolX : kToolH;
    for (const char* parser : {"", "/s"}) {
      if (parser[0] == '/' && !standardParserAvailable()) continue;
      std::vector<std::string> arguments = {name, "sjis.tsv"};
      if (parser[0] != '\0') arguments.push_back(parser);
      std::remove(path("sjis.tsv").c_str());
      const auto shiftJis = run(tool, arguments);
      arguments[1] = "utf8.tsv";
      arguments.push_back("/u");
      std::remove(path("utf8.tsv").c_str());
      const auto utf8 = run(tool, arguments);
      ASSERT_EQ(shiftJis.exitCode, utf8.exitCode) << name << " " << parser;
      if (shiftJis.exitCode != 0) continue;  // a page the classic scanner refuses
      // Only pages whose characters Shift-JIS holds; the classic way upper-cases the second
      // byte of a two-byte name in Shift-JIS (catalog.xml's 商品), so its names differ there.
      if (shiftJis.out.find(sjis("変換できない")) != std::string::npos) continue;
      if (parser[0] == '\0' && name == "catalog.xml") continue;
      EXPECT_EQ(readFile(path("utf8.tsv")), test::convert(readFile(path("sjis.tsv")), "CP932", "UTF-8"))
          << name << " " << parser;
      ++compared;
    }
  }
  EXPECT_GE(compared, 80);
}

TEST_F(ListingToolProgram, TheStandardParserReadsTodaysPagesInTheirOwnCode) {
  if (!standardParserAvailable()) {
    const auto refused = run(kToolH, {"/s", "c.html", "o.txt"});
    EXPECT_EQ(refused.exitCode, 255);
    test::expectToolDialog(refused, failure("パラメータの設定ミスです PARA=[/s]"), "");
    if (!test::systemConvertsCodes()) {
      // Without a converter a declared code cannot be read either.
      const auto declared = run(kToolH, {"/eutf8", "c.html", "o.txt"});
      EXPECT_EQ(declared.exitCode, 255);
      test::expectToolDialog(declared, failure("パラメータの設定ミスです PARA=[CODE]"), "");
    }
    GTEST_SKIP() << "built without the standard parser";
  }
  // A UTF-8 page the classic scanner refuses, with a character Shift-JIS lacks.
  writeFile(path("u.html"), "<!DOCTYPE html><html><body><p>caf\xC3\xA9 &amp; \xE6\x97\xA5<br />x</p></body></html>");
  // References without their ';' read as HTML reads them; script text kept as written.
  writeFile(path("r.html"),
            "<p title=\"a &lt b\" href=\"?x=1&copy=2\">i &lt n &amp;lt; &copyx</p>"
            "<script>s=\"</p>\"; t=\"&lt\";</script>");
  writeFile(path("f.xml"), test::convert("<?xml version=\"1.0\" encoding=\"EUC-JP\"?><r a=\"\xE6\x97\xA5\"><b/>t</r>",
                                         "UTF-8", "EUC-JP"));
  const std::string standard = "1\t1\t1\t<BODY>\t\r\n1\t2\t1\t<BODY><P>\tcaf\x81\xAC & " + sjis("日") +
                               "\r\n1\t3\t1\t<BODY><P><BR>\tx\r\n";
  struct Case {
    std::string tool;
    std::vector<std::string> arguments;
    int exitCode;
    std::string out, err, listing;
  };
  const std::string replacedReport =
      "ToolMqlInputH: " + sjis("正常に終了しました。 変換できない文字を置き換えました FILENAME = [u.html] COUNT = [1]") +
      "\n";
  // A code found rather than declared is named.
  const std::string foundReport =
      "ToolMqlInputH: " +
      sjis("正常に終了しました。 CODE = [UTF8] 変換できない文字を置き換えました FILENAME = [u.html] COUNT = [1]") + "\n";
  const std::vector<Case> cases = {
      {kToolH, {"/s", "u.html", "o.txt"}, 0, foundReport, "", standard},
      {kToolH, {"u.html", "o.txt", "/S", "/eutf8"}, 0, replacedReport, "", standard},
      {kToolH, {"/s", "r.html", "o.txt"}, 0, "ToolMqlInputH: " + sjis("正常に終了しました。 CODE = [UTF8]") + "\n", "",
       "1\t1\t1\t<BODY>\t\r\n1\t2\t1\t<BODY><P>\ti < n &lt; &copyx\r\n1\t3\t1\t<BODY><P><<TITLE>>\ta < b\r\n"
       "1\t4\t1\t<BODY><P><<HREF>>\t?x=1&copy=2\r\n1\t5\t1\t<BODY><SCRIPT>\ts=\"</p>\"; t=\"&lt\";\r\n"},
      {kToolX, {"f.xml", "o.txt", "/s"}, 0, "ToolMqlInputX: " + sjis("正常に終了しました。 CODE = [EUC]") + "\n", "",
       "1\t1\t1\t<R>\tt\r\n1\t2\t1\t<R><<A>>\t" + sjis("日") + "\r\n1\t3\t1\t<R><B>\t\r\n"},
      // The classic scanner reads a declared code converted (the column counts the 〓 of é
      // as two bytes); it still refuses <br />.
      {kToolH, {"/eUTF8", "u.html", "o.txt"}, 255, "",
       failure("入力ファイルの構造が不正です CONTENS = [無意味な\"/\"が見つかりました] ROWS = [1] COLS = [49]"), ""},
      {kToolH, {"/eUTF-8", "u.html", "o.txt"}, 255, "", failure("パラメータの設定ミスです PARA=[/eUTF-8]"), ""},
      {kToolH, {"/e", "u.html", "o.txt"}, 255, "", failure("パラメータの設定ミスです PARA=[/e]"), ""},
      {kToolH, {"/sx", "u.html", "o.txt"}, 255, "", failure("パラメータの設定ミスです PARA=[/sx]"), ""},
  };
  for (const Case& c : cases) {
    std::remove(path("o.txt").c_str());
    const auto result = run(c.tool, c.arguments);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments[0];
    EXPECT_EQ(result.out, c.out) << c.arguments[0];
    EXPECT_EQ(result.err, c.err) << c.arguments[0];
    EXPECT_EQ(test::fileExists(path("o.txt")) ? readFile(path("o.txt")) : "", c.listing) << c.arguments[0];
  }
}

// Pages and feeds of our own, written as sites write them today, each beside its expected
// listing (in UTF-8, so that it reads in a review).
TEST_F(ListingToolProgram, OurSamplePagesAndFeedsGiveTheirListings) {
  if (!standardParserAvailable()) GTEST_SKIP() << "built without the standard parser";
  const std::string samples = MQ_SAMPLES_DIR;
  const std::vector<std::string> names = {"news.html", "shop.html", "feed.xml", "catalog.xml", "atom.xml"};
  for (const std::string& name : names) {
    const bool html = name.ends_with(".html");
    std::remove(path("o.txt").c_str());
    const auto result = run(html ? kToolH : kToolX, {"/s", samples + "/" + name, path("o.txt")});
    EXPECT_EQ(result.exitCode, 0) << name << ": " << result.err;
    std::string listing = test::convert(readFile(path("o.txt")), "CP932", "UTF-8");
    std::erase(listing, '\r');
    EXPECT_EQ(listing, readFile(samples + "/" + name.substr(0, name.find('.')) + ".expected.txt")) << name;
  }
  // The shop page is one the classic scanner reads too: both ways give the same listing once
  // its code is named (recognised byte by byte, its title's first character, 髙, would be
  // read as EUC).
  ASSERT_EQ(run(kToolH, {samples + "/shop.html", path("classic.txt"), "/eSJIS"}).exitCode, 0);
  ASSERT_EQ(run(kToolH, {"/s", samples + "/shop.html", path("standard.txt")}).exitCode, 0);
  EXPECT_EQ(readFile(path("classic.txt")), readFile(path("standard.txt")));
}

}  // namespace
}  // namespace mq

namespace mq {
namespace {

// A document of some megabytes is read in pieces and its listing written while it is read:
// the root's text after 300,000 records is put back in its place, the listing is the one
// written to standard output after the load, and a fault at the end leaves the old listing
// and no other file.
TEST_F(ListingToolProgram, ABigDocumentIsListedWhileItIsRead) {
  std::string body;
  for (int i = 0; i < 150000; ++i) body += "<TD NOWRAP=\"x\">v\t" + std::to_string(i) + "</TD>";
  writeFile(path("good.xml"), "<DOC>" + body + "late</DOC>");
  writeFile(path("bad.xml"), "<DOC>" + body + "late></DOC>");
  writeFile(path("out.tsv"), "old");
  EXPECT_EQ(run(kToolX, {"/y", path("bad.xml"), path("out.tsv")}).exitCode, 255);
  EXPECT_EQ(readFile(path("out.tsv")), "old");
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"bad.xml", "c.html", "good.xml", "out.tsv"}));

  EXPECT_EQ(run(kToolX, {"/y", path("good.xml"), path("out.tsv")}).exitCode, 0);
  const test::ProgramResult piped = run(kToolX, {"-", "-"}, readFile(path("good.xml")));
  EXPECT_EQ(piped.exitCode, 0);
  const std::string listing = readFile(path("out.tsv"));
  EXPECT_EQ(listing.substr(0, 19), "1\t1\t1\t<DOC>\tlate\r\n1");
  EXPECT_TRUE(listing == piped.out) << "the listing written while reading differs from the one written after";
}

}  // namespace
}  // namespace mq
