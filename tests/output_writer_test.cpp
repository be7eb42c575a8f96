// The output phase's units: the record index against the plain walk, the listing output
// against a reference written with the C library's formatting, and every memory failure.
#include "convert/output_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "common/run_record.h"
#include "common/settings.h"
#include "common/work_areas.h"
#include "convert/output_areas.h"
#include "convert/record_index.h"
#include "markup/parse_tables.h"
#include "tests/test_support.h"

namespace mq {
namespace {

using test::sjis;

class OutputUnits : public test::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    setupRunRecord(testRun(), "", "test");
    testRun().settings = Settings{};
    testRun().settings.outputKind = OutputKind::Normal;
    testRun().settings.inputCount = 2;
    ASSERT_EQ(allocateParseTables(testRun(), testRun().settings.inputCount), 0);
  }
  void TearDown() override {
    resetAllocationSeam();
    setRecordIndexEnabled(testRun(), true);
    setListingShortcutEnabled(testRun(), true);
    releaseOutputAreas(testRun());
    releaseParseTables(testRun());
    EXPECT_EQ(mappedAreaCount(), 0);
    ScratchDir::TearDown();
  }
  // Appends one record to the slot, its path and value stored as the loaders store them.
  static void add(int slot, const std::string& tagPath, int32_t seqNo, const std::string& value, bool hasValue = true) {
    openTableCursor(testRun(), slot);
    const int32_t pathOffset = testRun().cursor.tagNameUsed;
    ASSERT_EQ(appendTagPath(testRun(), tagPath.data(), static_cast<int32_t>(tagPath.size())), 0);
    int32_t contentOffset = -1;
    if (hasValue) {
      contentOffset = testRun().cursor.contentUsed;
      ASSERT_EQ(appendContent(testRun(), value.data(), static_cast<int32_t>(value.size())), 0);
    }
    ASSERT_EQ(appendTagRecord(testRun(), testRun().cursor.recordCount + 1, seqNo, pathOffset, static_cast<int32_t>(tagPath.size()),
                              contentOffset, hasValue ? static_cast<int32_t>(value.size()) : 0),
              0);
    storeTableCursor(testRun(), slot);
  }
  // Each slot fills its own texts from 0; the cursor keeps only one slot's used lengths.
  static void startSlot(int slot) {
    testRun().cursor = TableCursor{};
    testRun().tables[slot].recordCount = 0;
  }
  static std::string message() { return testRun().messageText; }
  // Writes the file in the scratch folder and names it in the settings field.
  void setFile(char* field, const std::string& name, const std::string& bytes) {
    test::writeFile(path(name), bytes);
    std::snprintf(field, kFileNameSize, "%s", path(name).c_str());
  }
};

TEST_F(OutputUnits, TheIndexFindsWhatTheWalkFindsWithTheSameWarningDetail) {
  // Few names of colliding lengths, few numbers, and repeats, so that every answer occurs:
  // found first of several, same length and number with other bytes, and neither.
  const std::vector<std::string> paths = {"<A>", "<B>", "<AB>", "<BA>", "<A><B>", "<B><A>", "<ABCDEFGHIJ>",
                                          "<ABCDEFGHIK>", ""};
  std::mt19937 random(7);
  for (int round = 0; round < 60; ++round) {
    startSlot(0);
    const int records = static_cast<int>(random() % 300);
    for (int r = 0; r < records; ++r) {
      add(0, paths[random() % paths.size()], static_cast<int32_t>(random() % 4 + 1), std::to_string(r));
    }
    ASSERT_EQ(takeOutputAreas(testRun()), 0);
    for (int q = 0; q < 200; ++q) {
      const std::string& path = paths[random() % paths.size()];
      const auto seqNo = static_cast<int32_t>(random() % 5 + 1);
      const auto length = static_cast<int32_t>(path.size());
      RecordMatch fast{};
      ASSERT_EQ(findRecord(testRun(), 0, path.data(), length, seqNo, &fast), 0);
      const RecordMatch plain = findRecordByWalk(testRun(), 0, path.data(), length, seqNo);
      ASSERT_EQ(fast.record, plain.record) << round << " " << path << " " << seqNo;
      if (plain.record < 0) {
        ASSERT_EQ(fast.tagDiffers, plain.tagDiffers) << round << " " << path << " " << seqNo;
      }
    }
    releaseOutputAreas(testRun());
  }
}

// The listing line as the C library's formatting writes it, the value cleaned by hand.
std::string referenceListing() {
  std::string expected;
  for (int f = 0; f < testRun().settings.inputCount; ++f) {
    const ParseTableSlot& slot = testRun().tables[f];
    for (int32_t r = 0; r < slot.recordCount; ++r) {
      const TagRecord& record = *recordAt(slot, r);
      std::string cleaned;
      if (record.contentOffset >= 0) {
        const std::string value(contentOf(slot, record), static_cast<std::size_t>(record.contentLength));
        for (std::size_t i = 0; i < value.size(); ++i) {
          const char c = value[i];
          if (c == '\t' || c == '\r' || c == '\n') {
            if (c != '\t' && i + 1 < value.size() && value[i + 1] == (c == '\r' ? '\n' : '\r')) ++i;
            cleaned += ' ';
          } else {
            cleaned += c;
          }
        }
      }
      std::vector<char> line(cleaned.size() + 600);
      const int n = std::snprintf(line.data(), line.size(), "%d\t%ld\t%ld\t%s\t%s%c%c", f + 1,
                                  static_cast<long>(record.objectNo), static_cast<long>(record.seqNo),
                                  tagPathOf(slot, record), cleaned.c_str(), 13, 10);
      expected.append(line.data(), static_cast<std::size_t>(n));
    }
  }
  return expected;
}

TEST_F(OutputUnits, ListingOutputEqualsTheFormattedLinesWithAndWithoutItsShortcut) {
  testRun().settings.outputKind = OutputKind::Csv;
  std::snprintf(testRun().settings.outputFile, kFileNameSize, "%s", path("out.tsv").c_str());
  const std::string bytes[] = {"a", "\t", "\r", "\n", "\r\n", "\n\r", std::string(1, '\0'), sjis("表"), " "};
  std::mt19937 random(11);
  for (int round = 0; round < 40; ++round) {
    for (int slot = 0; slot < 2; ++slot) {
      startSlot(slot);
      const int records = static_cast<int>(random() % 40);
      for (int r = 0; r < records; ++r) {
        std::string value;
        // Some values run past the work area's first size, so that cleaning grows it.
        const int pieces = random() % 10 == 0 ? 3000 : static_cast<int>(random() % 12);
        for (int p = 0; p < pieces; ++p) value += bytes[random() % std::size(bytes)];
        // And one byte to clean after a clean run of any length.
        if (random() % 5 == 0) value = std::string(random() % 20, 'a') + bytes[random() % std::size(bytes)] + "z";
        add(slot, "<P><B>", static_cast<int32_t>(random() % 900 + 1), value, random() % 8 != 0);
      }
    }
    const std::string expected = referenceListing();
    for (const bool shortcut : {true, false}) {
      setListingShortcutEnabled(testRun(), shortcut);
      ASSERT_EQ(runOutputPhase(testRun()), 0);
      ASSERT_EQ(test::readFile(path("out.tsv")), expected) << round << (shortcut ? " shortcut" : " plain");
    }
  }
}

TEST_F(OutputUnits, EveryAreaThatCannotBeHadIsNamedWithItsSize) {
  const struct {
    OutputKind kind;
    long failAt;
    std::string text;
  } cases[] = {
      {OutputKind::Normal, 1, "メモリの取得に失敗しました CONTENTS = [出力領域] MEMORYSIZE = [20480]"},
      {OutputKind::Normal, 2, "メモリの取得に失敗しました CONTENTS = [読替構造体領域] MEMORYSIZE = [20480]"},
      {OutputKind::Normal, 3, "メモリの取得に失敗しました CONTENTS = [読替内容領域] MEMORYSIZE = [524288]"},
      {OutputKind::NoCrlf, 4, "メモリの取得に失敗しました CONTENTS = [作業領域] MEMORYSIZE = [4096]"},
      {OutputKind::Csv, 1, "メモリの取得に失敗しました CONTENTS = [作業領域] MEMORYSIZE = [4096]"},
  };
  for (const auto& c : cases) {
    testRun().settings.outputKind = c.kind;
    setAllocationSeam(AllocationSeam{c.failAt});
    EXPECT_EQ(runOutputPhase(testRun()), -1);
    EXPECT_EQ(testRun().messageCode, 1011);
    EXPECT_EQ(message(), sjis(c.text)) << c.failAt;
    EXPECT_EQ(testRun().output.outputBuffer, nullptr);
    EXPECT_EQ(testRun().output.replaceEntries, nullptr);
    EXPECT_EQ(testRun().output.replaceTexts, nullptr);
    EXPECT_EQ(testRun().output.work, nullptr);
  }
}

TEST_F(OutputUnits, GrowthFailuresOfTheWorkAreaAndTheIndexEndThePhase) {
  startSlot(0);
  add(0, "<P>", 1, "a\r\nb" + std::string(5000, 'x'));
  setFile(testRun().settings.outputDefinitionFile, "def.txt", "[<%1<P>0001000000%>]");
  std::snprintf(testRun().settings.outputFile, kFileNameSize, "%s", path("out.txt").c_str());
  std::snprintf(testRun().settings.startMarker, kMarkerSize, "<%%");
  std::snprintf(testRun().settings.endMarker, kMarkerSize, "%%>");

  // NOCRLF cleans the 5003-byte value into the work area, which must grow once.
  testRun().settings.outputKind = OutputKind::NoCrlf;
  setAllocationSeam(AllocationSeam{0, -1, [](std::size_t size) { return size == 8192; }});
  EXPECT_EQ(runOutputPhase(testRun()), -1);
  EXPECT_EQ(message(), sjis("メモリの拡張に失敗しました CONTENTS = [作業領域] MEMORYOFFSET = [8192]"));
  EXPECT_EQ(test::readFile(path("out.txt")), "");

  // The index of the document is the phase's fifth allocation in NORMAL.
  testRun().settings.outputKind = OutputKind::Normal;
  setAllocationSeam(AllocationSeam{6});
  EXPECT_EQ(runOutputPhase(testRun()), -1);
  EXPECT_EQ(testRun().messageCode, 1011);
  EXPECT_EQ(message(), sjis("メモリの取得に失敗しました CONTENTS = [入力解析構造領域] MEMORYSIZE = [64]"));

  resetAllocationSeam();
  ASSERT_EQ(runOutputPhase(testRun()), 0);
  EXPECT_EQ(test::readFile(path("out.txt")), "[a\r\nb" + std::string(5000, 'x') + "]");
  testRun().settings.outputKind = OutputKind::NoCrlf;
  ASSERT_EQ(runOutputPhase(testRun()), 0);
  EXPECT_EQ(test::readFile(path("out.txt")), "[a b" + std::string(5000, 'x') + "]");
}

TEST_F(OutputUnits, TheFirstRefusedWriteEndsTheExpansionBeforeAnyLaterItemIsReported) {
  if (test::kFullDisk == nullptr) GTEST_SKIP() << "no file stands for a full disk here";
  startSlot(0);
  add(0, "<P>", 1, "v");
  testRun().settings.warnLog = true;
  testRun().settings.useReplacement = true;
  std::snprintf(testRun().settings.logFileName, kFileNameSize, "%s", path("log.txt").c_str());
  std::snprintf(testRun().settings.startMarker, kMarkerSize, "<%%");
  std::snprintf(testRun().settings.endMarker, kMarkerSize, "%%>");
  std::snprintf(testRun().settings.outputFile, kFileNameSize, "/dev/full");
  setFile(testRun().settings.replacementDefinitionFile, "rep.txt", "");
  // The first literal overflows the output buffer, so its write is refused before the item
  // missing from the document is looked at; the second fills the buffer to its last byte, so
  // that the "?" of the number without an entry is the write refused, before its warning.
  const std::string cases[] = {std::string(30000, 'x') + "<%1<Q>0001000000%>",
                               std::string(20479, 'x') + "<%1<P>0001005000%>"};
  for (const std::string& item : cases) {
    setFile(testRun().settings.outputDefinitionFile, "def.txt", item);
    EXPECT_EQ(runOutputPhase(testRun()), -1);
    EXPECT_EQ(testRun().messageCode, 1002);
    EXPECT_EQ(message(), sjis("ファイルの書込みに失敗しました FILENAME = [/dev/full]"));
    EXPECT_FALSE(test::fileExists(path("log.txt"))) << item.size();
  }
  // A short template fails only when the buffer is written out at the end.
  setFile(testRun().settings.outputDefinitionFile, "def.txt", "<%1<P>0001000000%>");
  EXPECT_EQ(runOutputPhase(testRun()), -1);
  EXPECT_EQ(testRun().messageCode, 1002);
}

// A cut never leaves the first byte of a two-byte character: it is written as a space.
// Half-width katakana are one byte, and a first byte without a second is one too.
TEST_F(OutputUnits, ACutInsideATwoByteCharacterWritesASpaceForItsFirstByte) {
  ASSERT_EQ(takeOutputAreas(testRun()), 0);
  const struct {
    std::string value;
    int32_t maxLength;
    std::string written;
  } cases[] = {
      {sjis("山田文具店"), 5, sjis("山田") + " "},
      {sjis("山田文具店"), 4, sjis("山田")},
      {sjis("山田文具店"), 0, sjis("山田文具店")},
      {sjis("山田文具店"), 10, sjis("山田文具店")},
      {sjis("山田文具店"), 11, sjis("山田文具店")},
      {sjis("山"), 1, " "},
      {sjis("a山"), 2, "a "},
      {"\xB1\xB2\xB3", 2, "\xB1\xB2"},                  // ｱｲｳ
      {"\xB1\x93\xFA", 2, "\xB1 "},                     // ｱ日
      {"\x93 \x93\xFA", 3, "\x93  "},                  // a first byte alone, then 日
      {"\x8B\x7F\x93\xFA", 2, "\x8B\x7F"},             // 7F is no second byte
      {"ab\x81\x40" "cd", 3, "ab "},
  };
  for (const auto& c : cases) {
    testRun().output.outputUsed = 0;
    ASSERT_EQ(writeCut(testRun(), c.value.data(), static_cast<int32_t>(c.value.size()), c.maxLength), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(testRun().output.outputBuffer),
                          static_cast<std::size_t>(testRun().output.outputUsed)),
              c.written)
        << c.value << " cut to " << c.maxLength;
  }
}

}  // namespace
}  // namespace mq
