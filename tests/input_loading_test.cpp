// Input loading: documents and listings into their slots, the first failure ending the
// load, the scratch given back whatever happens, and a document in memory loaded as a file is.
#include "markup/input_loading.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/byte_source.h"
#include "common/run_record.h"
#include "common/settings.h"
#include "common/work_areas.h"
#include "markup/parse_tables.h"
#include "markup/parser_scratch.h"
#include "tests/test_support.h"

namespace mq {
namespace {

using test::sjis;
using test::writeFile;
using Records = std::vector<std::string>;

class InputLoading : public test::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    setupRunRecord(testRun(), "", "test");
  }
  void TearDown() override {
    resetAllocationSeam();
    releaseParseTables(testRun());
    // Loading holds nothing beyond the tables, and the tables are all given back.
    EXPECT_EQ(mappedAreaCount(), 0);
    ScratchDir::TearDown();
  }
  // Names the files of the scratch folder as the inputs and takes their slots.
  InputSet inputs(InputKind kind, const std::vector<std::string>& names) {
    for (std::size_t k = 0; k < names.size(); ++k) {
      std::snprintf(fileNames_[k], kInputNameSize, "%s", path(names[k]).c_str());
    }
    const auto count = static_cast<int32_t>(names.size());
    releaseParseTables(testRun());
    EXPECT_EQ(allocateParseTables(testRun(), count), 0);
    return InputSet{kind, count, fileNames_};
  }
  static std::string message() { return testRun().messageText; }
  static bool scratchHeld() {
    return holdsAnyArea(testRun().scratch, kScratchAreas) || testRun().scratch.inputText != nullptr;
  }

 private:
  char fileNames_[kMaxInputs][kInputNameSize] = {};
};

TEST_F(InputLoading, AFaultInTheSecondDocumentKeepsTheFirstAndLoadsNoMore) {
  writeFile(path("1.html"), "<P>one</P>");
  writeFile(path("2.html"), "<P>\r\n</>");
  writeFile(path("3.html"), "<P>three</P>");
  EXPECT_EQ(loadInputs(testRun(), inputs(InputKind::Html, {"1.html", "2.html", "3.html"})), -1);
  EXPECT_EQ(testRun().messageCode, 1021);
  EXPECT_EQ(message(),
            sjis("入力ファイルの構造が不正です CONTENS = [タグ名が定義されていません] ROWS = [2] COLS = [3]"));
  EXPECT_EQ(test::listingLines(0), Records{"1\t1\t1\t<P>\tone"});
  EXPECT_EQ(testRun().tables[1].recordCount, 0);
  EXPECT_EQ(testRun().tables[2].recordCount, 0);
  EXPECT_FALSE(scratchHeld());
}

TEST_F(InputLoading, MissingAndEmptyFiles) {
  writeFile(path("empty.html"), "");
  EXPECT_EQ(loadInputs(testRun(), inputs(InputKind::Html, {"empty.html", "missing.html"})), -1);
  EXPECT_EQ(testRun().messageCode, 1003);
  EXPECT_EQ(message(), sjis("ファイルの読込みに失敗しました FILENAME = [" + path("missing.html") + "]"));
  EXPECT_EQ(testRun().tables[0].recordCount, 0);
  EXPECT_FALSE(scratchHeld());
}

TEST_F(InputLoading, EucAndJisDocumentsAreScannedAsShiftJis) {
  const std::string text = "日本語のページ";
  writeFile(path("e.html"), "<T>" + test::convert(text, "UTF-8", "EUC-JP") + "</T>");
  writeFile(path("j.html"), "<T>" + test::convert(text, "UTF-8", "ISO-2022-JP") + "</T>\r\n<T>" +
                                test::convert("漢字", "UTF-8", "ISO-2022-JP") + ">");
  EXPECT_EQ(loadInputs(testRun(), inputs(InputKind::Xml, {"e.html", "j.html"})), -1);
  EXPECT_EQ(test::listingLines(0), Records{"1\t1\t1\t<T>\t" + sjis(text)});
  // The column counts the converted text: the escape sequences are gone.
  EXPECT_EQ(message(), sjis("入力ファイルの構造が不正です CONTENS = [\">\"はタグ以外で使用しないで下さい] ROWS = "
                            "[2] COLS = [8]"));
}

TEST_F(InputLoading, ListingsFillTheirSlotsFromEmpty) {
  writeFile(path("a.tsv"), "2\t1\t1\t<B>\tb\r\n1\t1\t1\t<A>\ta\r\n");
  writeFile(path("b.tsv"), "2\t2\t1\t<C>\tc\r\n");
  const InputSet listings = inputs(InputKind::Csv, {"a.tsv", "b.tsv"});
  testRun().tables[0].recordCount = 5;  // whatever a slot held before, listings start it afresh
  ASSERT_EQ(loadInputs(testRun(), listings), 0);
  EXPECT_EQ(test::listingLines(0), Records{"1\t1\t1\t<A>\ta"});
  EXPECT_EQ(test::listingLines(1), (Records{"2\t1\t1\t<B>\tb", "2\t2\t1\t<C>\tc"}));
  EXPECT_FALSE(scratchHeld());
}

TEST_F(InputLoading, FailedTakesNameTheirAreaAndReleaseTheScratch) {
  writeFile(path("a.html"), "<P>x</P>");
  const InputSet documents = inputs(InputKind::Html, {"a.html"});
  setAllocationSeam({.failAt = 1});
  EXPECT_EQ(loadInputs(testRun(), documents), -1);
  EXPECT_EQ(message(), sjis("メモリの取得に失敗しました CONTENTS = [タグ親構造領域] MEMORYSIZE = [4096]"));

  // A mixture of codes is converted where it stands beside an area of its size; a document
  // in one code is converted into an area of the largest size its conversion can take.
  const struct {
    std::string document;
    const char* size;
  } converted[] = {
      {"<P>\x93\xFA\xC6\xFC</P>", "27"},                 // Shift-JIS 日, then EUC 日: valid in neither code
      {"<P>\xC6\xFC\xCB\xDC</P>", "44"},                 // EUC 日本: 2 * 11 + 6 + 16
      {"<P>\x1B$BF|\x1B(B</P>", "52"},                     // JIS 日: 2 * 15 + 6 + 16
  };
  for (const auto& c : converted) {
    writeFile(path("a.html"), c.document);
    setAllocationSeam({.failAt = 9});  // seven scratch areas, the input block, then the conversion's
    EXPECT_EQ(loadInputs(testRun(), documents), -1);
    EXPECT_EQ(message(), sjis("メモリの取得に失敗しました CONTENTS = [コード変換一時領域] MEMORYSIZE = [") + c.size + "]")
        << c.document;
    EXPECT_FALSE(scratchHeld());
  }
}

// A document that grows its slot's areas and then fails leaves the slot holding the grown
// areas, so that releasing the tables frees each block once (checked by the sanitizer build).
TEST_F(InputLoading, AFailureAfterGrowthLeavesTheSlotConsistent) {
  std::string doc;
  for (int i = 0; i < 50000; ++i) doc += "<A>x</A>";
  doc += "<A =>";
  writeFile(path("a.html"), doc);
  EXPECT_EQ(loadInputs(testRun(), inputs(InputKind::Html, {"a.html"})), -1);
  EXPECT_EQ(testRun().tables[0].recordCount, 0);
  EXPECT_GT(testRun().tables[0].recordCapacity, kTableAreaSize);
}

// A text three times the contents area's step is kept whole: the area grows to hold it.
TEST_F(InputLoading, ATextLongerThanTheContentsAreaIsKeptWhole) {
  const std::string text(3 * kTableAreaSize, 'x');
  writeFile(path("a.html"), "<P>" + text + "</P>");
  ASSERT_EQ(loadInputs(testRun(), inputs(InputKind::Html, {"a.html"})), 0);
  const ParseTableSlot& table = testRun().tables[0];
  ASSERT_EQ(table.recordCount, 1);
  const TagRecord& record = *recordAt(table, 0);
  EXPECT_EQ(std::string(contentOf(table, record), static_cast<std::size_t>(record.contentLength)), text);
}

// The fuzz targets feed documents and listings from memory; they must load as files do.
TEST_F(InputLoading, DocumentsAndListingsFromMemoryLoadAsFilesDo) {
  const std::string documents[] = {"<P>a<B>b</B>c</P>", test::convert("<T>日本</T>\r\n<T>", "UTF-8", "EUC-JP") + ">",
                                   ""};
  for (const std::string& document : documents) {
    writeFile(path("d.html"), document);
    setupRunRecord(testRun(), "", "test");
    const int fromFile = loadInputs(testRun(), inputs(InputKind::Html, {"d.html"}));
    const std::string fileMessage = message();
    const Records fileRecords = test::listingLines(0);
    setupRunRecord(testRun(), "", "test");
    const int fromMemory = loadDocumentText(testRun(), InputKind::Html, reinterpret_cast<const unsigned char*>(document.data()),
                                            static_cast<int32_t>(document.size()));
    EXPECT_EQ(fromMemory, fromFile);
    EXPECT_EQ(message(), fileMessage);
    EXPECT_EQ(test::listingLines(0), fileRecords);
    EXPECT_FALSE(scratchHeld());
  }

  const std::string listing = "3\t1\t1\t<C>\tc\r\n1\t2\t1\t<A>\ta\r\n1\tx\t1\t<A>\ta\r\n";
  writeFile(path("l.tsv"), listing);
  setupRunRecord(testRun(), "", "test");
  const int fromFile = loadInputs(testRun(), inputs(InputKind::Csv, {"l.tsv", "l.tsv", "l.tsv"}));
  const std::string fileMessage = message();
  const Records fileRecords = test::listingLines(0);
  std::FILE* stream = test::temporaryFile();
  ASSERT_NE(stream, nullptr);
  std::fwrite(listing.data(), 1, listing.size(), stream);
  std::rewind(stream);
  setupRunRecord(testRun(), "", "test");
  ByteSource source(stream);
  EXPECT_EQ(loadListing(testRun(), source, path("l.tsv").c_str(), 3), fromFile);
  std::fclose(stream);
  EXPECT_EQ(message(), fileMessage);
  EXPECT_EQ(test::listingLines(0), fileRecords);
  EXPECT_EQ(test::listingLines(2), Records{"3\t1\t1\t<C>\tc"});
}

}  // namespace
}  // namespace mq
