// The current message (code and text in the run record), the dated log line that
// passes it on, and the date and time stamps of that line.
#pragma once

#include <cstdint>

#include "common/run_record.h"
#include "common/settings.h"

namespace mq {

enum MessageCode : int32_t {
  kCodeNoError = 0,
  kCodeStarted = 1,
  kCodeEnded = 2,
  kCodeOpenFailed = 1001,
  kCodeWriteFailed = 1002,
  kCodeReadFailed = 1003,
  kCodeTakeFailed = 1011,  // shared with the settings error
  kCodeSettingError = 1011,
  kCodeGrowFailed = 1014,
  kCodeInputStructure = 1021,
  kCodeOutputDefStructure = 1022,
  kCodeReplaceDefStructure = 1023,
  kCodeParameterError = 1031,
  kCodeNotInInput = 5021,
  kCodeNotInReplace = 5022,
  kCodeReplacedCharacters = 5023,
};

enum DateTimeKind : int {
  kDateCompact = 1,  // YYYYMMDD
  kDateSlashed = 2,  // YYYY/MM/DD
  kTimeCompact = 3,  // hhmmss
  kTimeColoned = 4,  // hh:mm:ss
};

// The log of a failure met before any settings could name one, in every program.
inline constexpr char kFallbackLogName[] = "ERRLOG.LOG";

// The code messages are composed in (the run's working code) and the code log lines are
// written in. Shift-JIS both by default. Messages composed in UTF-8 have their fixed texts
// (written in Shift-JIS) converted, and every %s value that is not valid UTF-8 read as
// Shift-JIS; a line whose codes differ is converted, a character Shift-JIS lacks as 〓.
void setMessageCodes(RunRecord& record, TextCode message, TextCode log);
inline TextCode messageTextCode(const RunRecord& record) { return record.composeCode; }

// Sets the current message from a printf format; the text is cut to fit its field.
void setMessage(RunRecord& record, MessageCode code, const char* format, ...) __attribute__((format(printf, 3, 4)));
// Replaces the current message's text and leaves its code as it is.
void setMessageText(RunRecord& record, const char* text);
// A structure fault (1021, 1022, 1023): the message, with its row and column kept apart.
void setStructureMessage(RunRecord& record, MessageCode code, const char* format, const char* detail, long row,
                         long column);

// Appends "date time code text" and CR LF to the named file, opening and closing it
// for this one line. Returns -1 when the file cannot be opened or the line not written, and
// keeps the first such log's name in the record; nothing else is reported.
int writeLogLine(RunRecord& record, const char* fileName);

// Writes exactly the kind's characters (8, 10, 6 or 8) to the destination, no NUL.
// Returns -1 for an unknown kind and -2 when the clock cannot be read.
int formatDateTime(DateTimeKind kind, char* destination);

// Tests pin the clock through this seam; by default the real clock is read.
using ClockReader = bool (*)(long long* secondsSinceEpoch);
void setClockReader(ClockReader reader);

}  // namespace mq
