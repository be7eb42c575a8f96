#include "common/message_log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/run_record.h"
#include "common/texts.h"
#include "common/unicode_conversion.h"
#include "tests/test_support.h"

namespace mq {
namespace {

// 2000-04-01 09:30:05 in the local time zone of the test process (TZ is forced to UTC).
bool fixedClock(long long* seconds) {
  *seconds = 954581405LL;
  return true;
}
bool brokenClock(long long*) { return false; }

class MessageLogTest : public test::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    test::useUtcTimeZone();
    setClockReader(fixedClock);
    setupRunRecord(testRun(), "", "Marquill");
  }
  void TearDown() override {
    setClockReader(nullptr);
    ScratchDir::TearDown();
  }
};

TEST_F(MessageLogTest, WritesDatedCodedLinesEndingInCrLf) {
  const std::string log = path("ERRLOG.LOG");
  setMessage(testRun(), kCodeStarted, "%s", kTextStarted);
  EXPECT_EQ(writeLogLine(testRun(), log.c_str()), 0);
  setMessage(testRun(), kCodeTakeFailed, kFmtTakeFailed, kAreaContents, 1048576L);
  writeLogLine(testRun(), log.c_str());
  EXPECT_EQ(test::readFile(log),
            "2000/04/01 09:30:05 0001 " + test::sjis("プログラムを開始しました") + "\r\n" +
                "2000/04/01 09:30:05 1011 " +
                test::sjis("メモリの取得に失敗しました CONTENTS = [入力解析内容領域] MEMORYSIZE = [1048576]") + "\r\n");
}

TEST_F(MessageLogTest, CutsTheTextAfterItsByte256AndKeepsTheTabOf5022) {
  const std::string log = path("cut.log");
  const std::string exact(256, 'x');
  setMessage(testRun(), kCodeNotInInput, "%s", exact.c_str());
  writeLogLine(testRun(), log.c_str());
  setMessage(testRun(), kCodeNotInInput, "%s", (exact + "yz").c_str());
  writeLogLine(testRun(), log.c_str());
  setMessage(testRun(), kCodeNotInReplace, kFmtNotInReplace, 3, "v");
  writeLogLine(testRun(), log.c_str());
  const auto entries = test::logEntries(test::readFile(log));
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0], "5021 " + exact);
  EXPECT_EQ(entries[1], "5021 " + exact);
  EXPECT_EQ(entries[2], "5022 " + test::sjis("読替定義ファイルに存在しません") + "\tNO = [3] VALUE = [v]");
  EXPECT_EQ(std::string(testRun().messageText).find('\t') != std::string::npos, true);
}

// Messages of a UTF-8 run: fixed texts converted, values in UTF-8 kept, Shift-JIS values read
// as such, a precision that never splits a character; each log written in its own code.
TEST_F(MessageLogTest, MessagesOfAUtf8RunKeepTheirValuesInEitherLog) {
  if (!platformConvertsCodes()) GTEST_SKIP() << "UTF-8 needs the system's converter";
  const std::string utf8Log = path("u.log");
  const std::string sjisLog = path("s.log");
  std::string kanji;
  for (int i = 0; i < 100; ++i) kanji += "\xE6\x97\xA5";  // 日, three bytes each
  struct Case {
    MessageCode code;
    std::string utf8;  // the message text composed in UTF-8
  };
  setMessageCodes(testRun(), TextCode::Utf8, TextCode::Utf8);
  std::vector<Case> cases;
  setMessage(testRun(), kCodeNotInInput, kFmtNotInInput, kDetailTagNameMismatch, "<\xC3\x89>", 2L);
  cases.push_back({kCodeNotInInput, "入力ファイルに存在しません CONTENTS = [タグ名が一致しません] TAGNAME = [<É>] SEQNO = [2]"});
  EXPECT_EQ(std::string(testRun().messageText), cases.back().utf8);
  writeLogLine(testRun(), utf8Log.c_str());
  setMessageCodes(testRun(), TextCode::Utf8, TextCode::Sjis);
  writeLogLine(testRun(), sjisLog.c_str());
  // %.256s of 300 bytes of three-byte characters keeps 85 whole ones.
  setMessageCodes(testRun(), TextCode::Utf8, TextCode::Utf8);
  setMessage(testRun(), kCodeNotInReplace, kFmtNotInReplace, 7, kanji.c_str());
  EXPECT_EQ(std::string(testRun().messageText), "読替定義ファイルに存在しません\tNO = [7] VALUE = [" + kanji.substr(0, 255) + "]");
  // A Shift-JIS value (a file name written in Shift-JIS) is read as Shift-JIS.
  setMessage(testRun(), kCodeReadFailed, kFmtReadFailed, test::sjis("表.html").c_str());
  EXPECT_EQ(std::string(testRun().messageText), "ファイルの読込みに失敗しました FILENAME = [表.html]");
  writeLogLine(testRun(), utf8Log.c_str());
  const auto inUtf8 = test::logEntries(test::readFile(utf8Log));
  ASSERT_EQ(inUtf8.size(), 2u);
  EXPECT_EQ(inUtf8[0], "5021 " + cases[0].utf8);
  EXPECT_EQ(inUtf8[1], "1003 ファイルの読込みに失敗しました FILENAME = [表.html]");
  // In a Shift-JIS log the character the code page lacks is 〓.
  EXPECT_EQ(test::logEntries(test::readFile(sjisLog)),
            std::vector<std::string>{"5021 " + test::sjis("入力ファイルに存在しません CONTENTS = [タグ名が一致しません] TAGNAME = [<〓>] SEQNO = [2]")});
  // A UTF-8 log's line is cut at 256 bytes on a character's first byte.
  setMessage(testRun(), kCodeNotInInput, "%s", kanji.c_str());
  std::remove(utf8Log.c_str());
  writeLogLine(testRun(), utf8Log.c_str());
  EXPECT_EQ(test::logEntries(test::readFile(utf8Log)), std::vector<std::string>{"5021 " + kanji.substr(0, 255)});
  setMessageCodes(testRun(), TextCode::Sjis, TextCode::Sjis);
}

TEST_F(MessageLogTest, ReportsAnUnopenableLogAndWritesNothingWithoutAClock) {
  EXPECT_EQ(writeLogLine(testRun(), path("missing/dir/x.log").c_str()), -1);
  setClockReader(brokenClock);
  const std::string log = path("clockless.log");
  EXPECT_EQ(writeLogLine(testRun(), log.c_str()), 0);
  EXPECT_EQ(test::readFile(log), "");
}

TEST_F(MessageLogTest, FormatsEachDateTimeKindAndRefusesOthers) {
  const struct {
    DateTimeKind kind;
    const char* expected;
  } cases[] = {
      {kDateCompact, "20000401"}, {kDateSlashed, "2000/04/01"}, {kTimeCompact, "093005"}, {kTimeColoned, "09:30:05"}};
  for (const auto& c : cases) {
    char destination[16];
    std::memset(destination, '#', sizeof destination);
    ASSERT_EQ(formatDateTime(c.kind, destination), 0);
    const std::size_t n = std::strlen(c.expected);
    EXPECT_EQ(std::string(destination, n), c.expected);
    EXPECT_EQ(destination[n], '#') << "no NUL is written after the stamp";
  }
  char untouched[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(formatDateTime(static_cast<DateTimeKind>(0), untouched), -1);
  EXPECT_EQ(formatDateTime(static_cast<DateTimeKind>(5), untouched), -1);
  EXPECT_EQ(std::string(untouched, 4), "abcd");
  setClockReader(brokenClock);
  EXPECT_EQ(formatDateTime(kDateSlashed, untouched), -2);
}

TEST(MessageTexts, AreShiftJisBytesWrittenOutIndependently) {
  EXPECT_EQ(std::string(kTextNoError), "\x83\x47\x83\x89\x81\x5B\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1");
  // 書込み: 8F 91 8D 9E 82 DD; 失敗: 8E B8 94 73.
  EXPECT_NE(std::string(kFmtWriteFailed).find("\x8F\x91\x8D\x9E\x82\xDD"), std::string::npos);
  EXPECT_NE(std::string(kFmtWriteFailed).find("\x8E\xB8\x94\x73"), std::string::npos);
  // ＩＮＩ: 82 68 82 6D 82 68.
  EXPECT_EQ(std::string(kFmtSettingError).substr(0, 6), "\x82\x68\x82\x6D\x82\x68");
  EXPECT_EQ(std::string(kDetailSeqNo), test::sjis("シーケンス番号が不正です"));
  EXPECT_EQ(std::string(kFaultGreaterOutsideTag), test::sjis("\">\"はタグ以外で使用しないで下さい"));
  EXPECT_EQ(std::string(kTextOverwriteQuestion), test::sjis("ファイルが存在します。上書きしてもよろしいですか？"));
}

}  // namespace
}  // namespace mq
