#include "markup/input_loading.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/run_record.h"
#include "common/settings.h"
#include "common/work_areas.h"
#include "markup/parse_tables.h"
#include "test_support.h"

namespace mq {
namespace {

using test::sjis;
using test::writeFile;

class InputLoading : public test::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    resetSettings();
  }
  void TearDown() override {
    resetAllocationSeam();
    releaseParseTables();
    // Loading holds nothing beyond the tables, and the tables are all given back.
    EXPECT_EQ(mappedAreaCount(), 0);
    ScratchDir::TearDown();
  }
  void configure(InputKind kind, std::initializer_list<std::string> names) {
    gSettings.inputKind = kind;
    gSettings.inputCount = static_cast<int32_t>(names.size());
    int k = 0;
    for (const std::string& name : names)
      std::snprintf(gSettings.inputFiles[k++], kInputNameSize, "%s", path(name).c_str());
    ASSERT_EQ(allocateParseTables(), 0);
  }
  static std::string content(int slot, int32_t index) {
    const ParseTableSlot& s = gParseTables[slot];
    const TagRecord& r = *recordAt(s, index);
    return r.contentOffset == -1 ? "" : std::string(contentOf(s, r), static_cast<std::size_t>(r.contentLength));
  }
  static std::string message() { return gRunRecord.messageText; }
};

TEST_F(InputLoading, AFaultInTheSecondDocumentKeepsTheFirstAndLoadsNoMore) {
  writeFile(path("1.html"), "<P>one</P>");
  writeFile(path("2.html"), "<P>\r\n</>");
  writeFile(path("3.html"), "<P>three</P>");
  configure(InputKind::Html, {"1.html", "2.html", "3.html"});
  EXPECT_EQ(loadInputs(), -1);
  EXPECT_EQ(gRunRecord.messageCode, 1021);
  EXPECT_EQ(message(),
            sjis("入力ファイルの構造が不正です CONTENS = [タグ名が定義されていません] ROWS = [2] COLS = [3]"));
  EXPECT_EQ(gParseTables[0].recordCount, 1);
  EXPECT_EQ(content(0, 0), "one");
  EXPECT_EQ(gParseTables[1].recordCount, 0);
  EXPECT_EQ(gParseTables[2].recordCount, 0);
  EXPECT_EQ(gParserScratch.openTagStack, nullptr);
  EXPECT_EQ(gParserScratch.inputText, nullptr);
}

TEST_F(InputLoading, MissingAndEmptyFiles) {
  writeFile(path("empty.html"), "");
  configure(InputKind::Html, {"empty.html", "missing.html"});
  EXPECT_EQ(loadInputs(), -1);
  EXPECT_EQ(gRunRecord.messageCode, 1003);
  EXPECT_EQ(message(), sjis("ファイルの読込みに失敗しました FILENAME = [" + path("missing.html") + "]"));
  EXPECT_EQ(gParseTables[0].recordCount, 0);
}

TEST_F(InputLoading, EucAndJisDocumentsAreScannedAsShiftJis) {
  const std::string text = "日本語のページ";
  writeFile(path("e.html"), "<T>" + test::convert(text, "UTF-8", "EUC-JP") + "</T>");
  writeFile(path("j.html"), "<T>" + test::convert(text, "UTF-8", "ISO-2022-JP") + "</T>\r\n<T>" +
                                test::convert("漢字", "UTF-8", "ISO-2022-JP") + ">");
  configure(InputKind::Xml, {"e.html", "j.html"});
  EXPECT_EQ(loadInputs(), -1);
  EXPECT_EQ(content(0, 0), sjis(text));
  // The column counts the converted text: the escape sequences are gone.
  EXPECT_EQ(message(), sjis("入力ファイルの構造が不正です CONTENS = [\">\"はタグ以外で使用しないで下さい] ROWS = "
                            "[2] COLS = [8]"));
}

TEST_F(InputLoading, ListingsFillTheirSlotsFromEmpty) {
  writeFile(path("a.tsv"), "2\t1\t1\t<B>\tb\r\n1\t1\t1\t<A>\ta\r\n");
  writeFile(path("b.tsv"), "2\t2\t1\t<C>\tc\r\n");
  configure(InputKind::Csv, {"a.tsv", "b.tsv"});
  gParseTables[0].recordCount = 5;  // whatever a slot held before, listings start it afresh
  ASSERT_EQ(loadInputs(), 0);
  EXPECT_EQ(gParseTables[0].recordCount, 1);
  EXPECT_EQ(gParseTables[1].recordCount, 2);
  EXPECT_EQ(content(1, 1), "c");
}

TEST_F(InputLoading, FailedTakesNameTheirAreaAndReleaseTheScratch) {
  writeFile(path("a.html"), "<P>x</P>");
  configure(InputKind::Html, {"a.html"});
  AllocationSeam seam;
  seam.failAt = 1;
  setAllocationSeam(seam);
  EXPECT_EQ(loadInputs(), -1);
  EXPECT_EQ(message(), sjis("メモリの取得に失敗しました CONTENTS = [タグ親構造領域] MEMORYSIZE = [4096]"));

  seam.failAt = 9;  // seven scratch areas, the input block, then the unconverted copy
  setAllocationSeam(seam);
  EXPECT_EQ(loadInputs(), -1);
  EXPECT_EQ(message(), sjis("メモリの取得に失敗しました CONTENTS = [コード変換一時領域] MEMORYSIZE = [24]"));
  EXPECT_EQ(gParserScratch.inputText, nullptr);
  EXPECT_EQ(gParserScratch.textBuffer, nullptr);
}

// A document that grows its slot's areas and then fails leaves the slot holding the grown
// areas, so that releasing the tables frees each block once (checked by the sanitizer build).
TEST_F(InputLoading, AFailureAfterGrowthLeavesTheSlotConsistent) {
  std::string doc;
  for (int i = 0; i < 50000; ++i) doc += "<A>x</A>";
  doc += "<A =>";
  writeFile(path("a.html"), doc);
  configure(InputKind::Html, {"a.html"});
  EXPECT_EQ(loadInputs(), -1);
  EXPECT_EQ(gParseTables[0].recordCount, 0);
  EXPECT_GT(gParseTables[0].recordCapacity, kTableAreaSize);
}

}  // namespace
}  // namespace mq
