// The tools' console: the overwrite question, the final report, and the rule that tells a
// file name from an option. Programs written for a window system showed these in message
// boxes; this layer is the one place that knows how they reach the user, so another
// platform can put its own dialogs behind the same calls.
#pragma once

#include <cstdio>

namespace mq {

// How texts reach the terminal. Detect asks the locale once (UTF-8 terminals get the
// Shift-JIS texts converted); the other two fix the choice.
enum class ConsoleCode { Detect, ShiftJis, Utf8 };

struct ConsoleStreams {
  std::FILE* in;
  std::FILE* out;
  std::FILE* err;
  ConsoleCode code;
};

// Tests point the console at files of their own; resetConsole goes back to the standard
// streams and to detection.
void setConsole(const ConsoleStreams& streams);
void resetConsole();

// An absolute path begins with "/" like an option does; one that holds another "/" at its
// fourth byte or later is taken as a file name.
bool isPathArgument(const char* argument);

// Shows "<caption>: <question> [OK/Cancel] " on the error stream and reads one answer line.
// True only for OK, O, Y or YES (blanks around it and ASCII case ignored); anything else,
// the end of input or a read error declines.
bool askOkCancel(const char* caption, const char* question);

// "<caption>: <text>" and a line end, on the output stream after success, on the error
// stream after a failure. Does not wait for the user.
void showFinalReport(const char* caption, const char* text, bool failed);

// Writes Shift-JIS bytes to a console stream in the console's code; bytes that cannot be
// converted are written as they are.
void writeConsoleText(std::FILE* stream, const char* text, std::size_t length);

}  // namespace mq
