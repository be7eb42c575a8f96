// Shared by the tests: a scratch folder per test, whole-file reading and writing, Shift-JIS
// text from UTF-8 literals, running a program with its exit code, output and dialogs, the
// console pointed at files, and the records of a parse-table slot as lines. The tests run
// on Linux and, built for Windows, under Wine; what differs between the two is said here.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/console.h"
#include "convert/output_run.h"

namespace mq {

// The one run the unit tests drive the library's steps with, as a program drives its own.
OutputRun& testRun();

}  // namespace mq

namespace mq::test {

// UTF-8 text converted to Shift-JIS (CP932), for building expected bytes readably.
std::string sjis(const std::string& utf8);
// Text converted between two iconv codes, e.g. "UTF-8" to "EUC-JP" or "ISO-2022-JP".
std::string convert(const std::string& text, const char* from, const char* to);

// "93 FA 41" -> those bytes, and the bytes written that way.
std::string hex(const char* text);
std::string hexOf(const std::string& bytes);

std::string readFile(const std::string& path);
// A new file for reading and writing, removed when it is closed. (The C library's tmpfile
// of Windows gives out after some thousand files in one run.)
std::FILE* temporaryFile();
void writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);

struct ProgramResult {
  int exitCode = -1;
  std::string out;
  std::string err;
  // The message boxes the program showed, in turn, each as the terminal would show it:
  // "<caption>: <text> [OK/Cancel] " for a question, "<caption>: <text>" and LF for a report.
  // Read from the debugger output that every box also goes to; empty where there are none.
  std::string boxes;
};

// Runs the program in `directory` with the arguments as they stand (on Windows joined by
// single spaces, one with blanks in double quotes), feeding
// `input` on standard input. `environment` entries (NAME=VALUE) are added to a minimal
// C-locale environment on Linux, to the inherited one on Windows.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& directory, const std::string& input = "",
                         const std::vector<std::string>& environment = {});

// Text as a program writes it to its terminal: each LF as CR LF on Windows, whose standard
// streams are in text mode.
std::string onTerminal(const std::string& text);

// Checks what a tool showed its user. On a terminal: `err` on the error stream (the question
// and a failure's report) and `out` on the output stream (a success's report). In message
// boxes: the same texts box by box, and nothing on either stream.
void expectToolDialog(const ProgramResult& result, const std::string& err, const std::string& out);

// Whether the system converts between named codes (UTF-16, a document's label, ...); where
// it does not, documents in such codes are refused and their tests are skipped.
bool systemConvertsCodes();

// Whether an answer line accepts the overwrite question (OK, O, Y or YES in any case).
bool acceptsQuestion(const std::string& answer);

#ifdef _WIN32
inline constexpr bool kDialogsOnTerminal = false;
// The terminal's code is the console's code page; a program without a console is given
// the texts' own Shift-JIS bytes.
inline constexpr bool kTerminalCodeFromEnvironment = false;
// Under Wine without a display a message box returns at once with an answer that is not OK,
// so every overwrite question is declined; the OK path has a test of its own under Xvfb.
inline constexpr bool kQuestionsCanBeAnswered = false;
// The system hands a program the command line after its path and the blanks behind it, so
// leading blanks never reach the run frame's splitting.
inline constexpr bool kLeadingBlanksReachTheProgram = false;
#else
inline constexpr bool kDialogsOnTerminal = true;
inline constexpr bool kTerminalCodeFromEnvironment = true;
inline constexpr bool kQuestionsCanBeAnswered = true;
inline constexpr bool kLeadingBlanksReachTheProgram = true;
#endif

// A file that takes no byte, standing for a full disk: every write to it fails. Windows has
// no such file, so the cases that need one are left out there.
#ifdef _WIN32
inline constexpr const char* kFullDisk = nullptr;
#else
inline constexpr const char* kFullDisk = "/dev/full";
#endif

// A device that takes every byte: output written to it is written in place, not beside it.
#ifdef _WIN32
inline constexpr const char* kNullDevice = "NUL";
#else
inline constexpr const char* kNullDevice = "/dev/null";
#endif

// The folder in which a settings file named without a folder is looked up: the current one
// for our own INI reader, the Windows folder for the system's INI functions.
std::string bareSettingsFolder(const std::string& currentFolder);

// Local time is UTC for this process from now on.
void useUtcTimeZone();

int currentProcessId();

// The log's lines without their 20-byte date and time stamp, CR LF removed.
std::vector<std::string> logEntries(const std::string& logBytes);

// The records of parse-table slot `slot` as the fields of their listing lines: FileNo, No,
// SeaNo, TagName and Value joined by TAB, the value as it stands (empty without content).
std::vector<std::string> listingLines(int slot);

// The console pointed at temporary files, with `answer` waiting on its input, for as long
// as the capture lives.
class ConsoleCapture {
 public:
  explicit ConsoleCapture(const std::string& answer = "", ConsoleCode code = ConsoleCode::ShiftJis);
  ~ConsoleCapture();
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;
  std::string out() { return drain(files_[1]); }
  std::string err() { return drain(files_[2]); }
  std::FILE* in() { return files_[0]; }

 private:
  static std::string drain(std::FILE* file);
  std::FILE* files_[3];
};

// A fresh folder for each test, removed afterwards; the current directory is not changed.
class ScratchDir : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  std::string dir_;
};

}  // namespace mq::test
