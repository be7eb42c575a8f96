// The run record: the ten argument slots of the command line, the program's name and the
// one current message, with the codes it is composed and logged in. Every run owns one;
// every step that can fail is handed it and leaves its message there.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/settings.h"

namespace mq {

inline constexpr int kArgumentSlots = 10;
inline constexpr int kArgumentSize = 256;
inline constexpr int kProgramNameSize = 32;
inline constexpr int kMessageTextSize = 512;

struct RunRecord {
  char args[kArgumentSlots][kArgumentSize];
  char programName[kProgramNameSize];
  int32_t messageCode;
  char messageText[kMessageTextSize];
  long messageRow;     // where a structure fault (1021, 1022, 1023) was met; 0 otherwise
  long messageColumn;
  TextCode composeCode;  // the code messages are composed in
  TextCode logCode;      // the code log lines are written in
  // The first log that could not be opened or written, for the program to say so; empty
  // while every line reached its log.
  char unwrittenLog[kFileNameSize];
  bool overwriteAgreed;  // the tools' /y: an existing output is replaced without a question
};

// The file name that stands for standard input (as an input) or standard output (as an output).
inline constexpr char kStandardStreamName[] = "-";

// Clears the record and fills it from one command-line text: the slots, the program name and the
// "no error" message. Returns 0, or -1 with message 1031 when a stretch that would fill a
// slot is longer than 255 bytes after trimming (it would otherwise name another file).
int setupRunRecord(RunRecord& record, const char* commandLine, const char* programName);

// The process's exit code for a run's result: 0 after success; otherwise the result cut to
// 0-255, and 255 where that cut would read as success.
int exitCodeOf(int result);

// Clears the record and fills its slots from the arguments as the program received them (on
// Windows split by the C runtime's rules, double quotes grouping): each one fills a slot as it
// stands, blanks and all; arguments beyond the tenth are not looked at. Returns 0, or -1 with
// message 1031 for an argument longer than 255 bytes.
int setupRunRecord(RunRecord& record, int count, const char* const* arguments, const char* programName);

}  // namespace mq
