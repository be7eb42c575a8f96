#include "markup/listing_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "common/run_record.h"
#include "common/settings.h"
#include "common/work_areas.h"
#include "markup/parse_tables.h"
#include "tests/test_support.h"

namespace mq {
namespace {

using test::sjis;

// FileNo:No/SeaNo/path=value@contentOffset for every record of slot k.
std::string dump(int k) {
  std::string out;
  const ParseTableSlot& slot = gParseTables[k];
  for (int32_t i = 0; i < slot.recordCount; ++i) {
    const TagRecord& r = *recordAt(slot, i);
    out += std::to_string(k + 1) + ":" + std::to_string(r.objectNo) + "/" + std::to_string(r.seqNo) + "/" +
           std::string(tagPathOf(slot, r), static_cast<std::size_t>(r.tagNameLength)) + "=" +
           std::string(contentOf(slot, r), static_cast<std::size_t>(r.contentLength)) +
           "@" + std::to_string(r.contentOffset) + " ";
  }
  return out;
}

class ListingReaderTest : public test::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    setupRunRecord("", "test");
    resetSettings();
    gSettings.inputCount = 3;
    gTableCursor = TableCursor{};
    ASSERT_EQ(allocateParseTables(), 0);
    ASSERT_EQ(allocateParserScratch(), 0);
  }
  void TearDown() override {
    resetAllocationSeam();
    releaseParserScratch();
    releaseParseTables();
    ScratchDir::TearDown();
  }
  int read(const std::string& bytes, const std::string& name = "listing.txt") {
    test::writeFile(path(name), bytes);
    return readTagListing(path(name).c_str());
  }
  std::string message() const { return gRunRecord.messageText; }
};

TEST_F(ListingReaderTest, LinesGoToTheirSlotsInOrderWithTextsRunningOnAcrossSlotsAndFiles) {
  ASSERT_EQ(read(""), 0);
  ASSERT_EQ(read("2\t7\t1\t<BODY><P>\t" + sjis("日本") + "[09]x\r\n1\t\t\t<a>\t\r\n2\t8\t1\t<BODY><P>\t" + sjis("表") +
                 "\r\n"),
            0);
  ASSERT_EQ(read("2\t0000000000000000009\t2147483647\t<BODY><P>\tv\r\n", "second.txt"), 0);
  EXPECT_EQ(dump(0), "1:0/0/<a>=@10 ");  // an empty value is a text of its own
  EXPECT_EQ(dump(1), "2:7/1/<BODY><P>=" + sjis("日本") + "[09]x@0 2:8/1/<BODY><P>=" + sjis("表") +
                         "@11 2:9/2147483647/<BODY><P>=v@14 ");
  EXPECT_EQ(gTableCursor.tagNameUsed, 34);
  EXPECT_EQ(dump(2), "");
}

TEST_F(ListingReaderTest, FaultyLinesNameTheirDetailRowAndColumnInFieldOrder) {
  const std::string good = "1\t1\t1\t<A>\tv\r\n";
  const struct {
    std::string listing;
    const char* detail;
    long row, column;
  } cases[] = {
      {"FileNo\tNo\tSeaNo\tTagName\tValue\r\n", "ファイル番号が不正です", 1, 1},
      {good + "\r\n", "項目数が足りません", 2, 1},
      {good + "1\t1\t1\t<A>\n", "項目数が足りません", 2, 1},
      {good + good + "x\t-1\t-1\t<A>\tv\tw\r\n", "項目数が多すぎます", 3, 1},
      {good + "x\t-1\t-1\t<A>\tv\r\n", "ファイル番号が不正です", 2, 1},
      {"0\t1\t1\t<A>\tv\r\n", "ファイル番号が不正です", 1, 1},
      {"4\t1\t1\t<A>\tv\r\n", "ファイル番号が不正です", 1, 1},
      {"00000000000000000001\t1\t1\t<A>\tv\r\n", "ファイル番号が不正です", 1, 1},
      {good + "1\t-5\t-1\t<A>\tv", "オブジェクト番号が不正です", 2, 3},
      {"01\t2147483648\t1\t<A>\tv\r\n", "オブジェクト番号が不正です", 1, 4},
      {good + "1\t12\t+1\t<A>\tv\r\n", "シーケンス番号が不正です", 2, 6},
      {"1\t1\t9999999999999999999\t<A>\tv\r\n", "シーケンス番号が不正です", 1, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.listing);
    gParseTables[0].recordCount = 0;
    EXPECT_EQ(read(c.listing), -1);
    EXPECT_EQ(gRunRecord.messageCode, 1021);
    EXPECT_EQ(message(), sjis("入力ファイルの構造が不正です CONTENS = [" + std::string(c.detail) + "] ROWS = [" +
                              std::to_string(c.row) + "] COLS = [" + std::to_string(c.column) + "]"));
    EXPECT_EQ(gParseTables[0].recordCount, c.row - 1) << "only the lines before the faulty one are kept";
  }
}

TEST_F(ListingReaderTest, LinesEndAtLfWithAnOptionalCrAndAreNeverCut) {
  const std::string wide(100000, 'w');
  ASSERT_EQ(read("1\t1\t1\t<A>\tcrlf\r\n1\t2\t1\t<A>\tlf\n1\t3\t1\t<A>\tcr\r\r\n1\t4\t1\t<" + wide + ">\t" + wide +
                 "\r\n1\t5\t1\t<A>\tlast\r"),
            0);
  EXPECT_EQ(dump(0), "1:1/1/<A>=crlf@0 1:2/1/<A>=lf@5 1:3/1/<A>=cr\r@8 1:4/1/<" + wide + ">=" + wide +
                         "@12 1:5/1/<A>=last\r@100013 ");
  EXPECT_EQ(gParserScratch.nameBufferSize, 4096 + 3 * 65536);
  EXPECT_EQ(read("1\t1\t1\t" + wide + "\t" + wide + "\n-\t\t\t\t\n"), -1);
  EXPECT_NE(message().find("ROWS = [2] COLS = [1]"), std::string::npos) << "a long line is one row";
}

TEST_F(ListingReaderTest, ASlotsFirstLineFitsAfterOtherSlotsGrewSeveralSteps) {
  const std::string big(1000000, 'b');
  ASSERT_EQ(
      read("1\t1\t1\t<A>\t" + big + "\r\n1\t2\t1\t<A>\t" + big + "\r\n1\t3\t1\t<A>\t" + big + "\r\n3\t1\t1\t<Z>\tz"),
      0);
  EXPECT_EQ(dump(2), "3:1/1/<Z>=z@3000003 ");
  EXPECT_EQ(gParseTables[2].contentCapacity, 3 * 1048576);
}

TEST_F(ListingReaderTest, FailuresToGrowOrToReadNameTheAreaOrTheFile) {
  const std::string line = "1\t1\t1\t<A>\t\r\n";
  std::string manyLines;
  for (int i = 0; i < 43690; ++i) manyLines += line;
  const struct {
    std::string listing;
    long failAbove;
    const char* area;
    int32_t kept;
  } cases[] = {
      {line + "1\t1\t1\t<A>\t" + std::string(5000, 'v'), 4096, "タグ名一時待避領域] MEMORYOFFSET = [69632]", 1},
      {line + "1\t1\t1\t<A>\t" + std::string(1048560, 'c'), 2000000, "入力解析内容領域] MEMORYOFFSET = [2097152]", 1},
      {manyLines, 2000000, "入力解析構造領域] MEMORYOFFSET = [2097152]", 43689},
  };
  for (const auto& c : cases) {
    gParseTables[0].recordCount = 0;
    gTableCursor = TableCursor{};
    setAllocationSeam({.failAbove = c.failAbove});
    EXPECT_EQ(read(c.listing), -1);
    EXPECT_EQ(gRunRecord.messageCode, 1014);
    EXPECT_EQ(message(), sjis(std::string("メモリの拡張に失敗しました CONTENTS = [") + c.area));
    EXPECT_EQ(gParseTables[0].recordCount, c.kept) << c.area;
  }
  for (const std::string& name : {path("missing.txt"), dir_}) {  // a folder opens, but reading it fails
    EXPECT_EQ(readTagListing(name.c_str()), -1);
    EXPECT_EQ(gRunRecord.messageCode, 1003);
    EXPECT_EQ(message(), sjis("ファイルの読込みに失敗しました FILENAME = [" + name + "]"));
  }
}

}  // namespace
}  // namespace mq
