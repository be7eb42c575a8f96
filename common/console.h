// The tools' console: the overwrite question, the final report, the rule that tells a file
// name from an option, and how texts reach the terminal. The question and the report go
// through the platform's dialogs (message boxes, or the terminal where a system has none);
// the terminal versions below serve that case and the tests.
#pragma once

#include <cstddef>
#include <cstdio>

namespace mq {

// How texts reach the terminal. Detect asks the platform once; the others fix the choice.
// The texts are Shift-JIS: a UTF-8 or EUC terminal gets them converted.
enum class ConsoleCode { Detect, ShiftJis, Utf8, Euc };

// The terminal's code for a code set's or a locale's name ("UTF-8", "ja_JP.eucJP",
// "C.utf8@euro", "SJIS"): Shift-JIS for Shift-JIS and CP932, EUC for EUC-JP, UTF-8 for every
// other name, the C locale's included.
ConsoleCode consoleCodeOfName(const char* name);

struct ConsoleStreams {
  std::FILE* in;
  std::FILE* out;
  std::FILE* err;
  ConsoleCode code;
};

// Tests point the console at files of their own, and the tools' dialogs with it; resetConsole
// goes back to the standard streams, to detection and to the platform's dialogs.
void setConsole(const ConsoleStreams& streams);
void resetConsole();

// The dialogs the tools use: the platform's, or the terminal's while the console is set.
struct UserDialogs {
  bool (*askOkCancel)(const char* caption, const char* question);
  void (*showFinalReport)(const char* caption, const char* text, bool failed);
};

// An absolute path begins with "/" like an option does; one that holds another "/" at its
// fourth byte or later is taken as a file name.
bool isPathArgument(const char* argument);

// The overwrite question with OK and Cancel; true only for OK.
bool askOkCancel(const char* caption, const char* question);
// The final report with OK alone; `failed` tells a failure's report from success.
void showFinalReport(const char* caption, const char* text, bool failed);

// The terminal's question: "<caption>: <question> [OK/Cancel] " on the error stream, then one
// answer line. True only for OK, O, Y or YES (blanks around it and ASCII case ignored);
// anything else, the end of input or a read error declines.
bool askOnTerminal(const char* caption, const char* question);
// "<caption>: <text>" and a line end, on the output stream after success, on the error
// stream after a failure. Does not wait for the user.
void reportOnTerminal(const char* caption, const char* text, bool failed);

// Writes Shift-JIS bytes to the console's output or error stream in the terminal's code.
void writeToConsole(bool toError, const char* text);

// Writes UTF-8 bytes to the console's output or error stream in the terminal's code (a
// character Shift-JIS lacks shown as 〓 on a Shift-JIS terminal).
void writeUtf8ToConsole(bool toError, const char* text);

// Writes Shift-JIS bytes to a console stream in the console's code; bytes that cannot be
// converted are written as they are.
void writeConsoleText(std::FILE* stream, const char* text, std::size_t length);

}  // namespace mq
