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

namespace mq::test {

// UTF-8 text converted to Shift-JIS (CP932), for building expected bytes readably.
std::string sjis(const std::string& utf8);
// Text converted between two iconv codes, e.g. "UTF-8" to "EUC-JP" or "ISO-2022-JP".
std::string convert(const std::string& text, const char* from, const char* to);

std::string readFile(const std::string& path);
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

// Runs the program in `directory` with the arguments joined by single spaces, feeding
// `input` on standard input. `environment` entries (NAME=VALUE) are added to a minimal
// C-locale environment on Linux, to the inherited one on Windows.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& directory, const std::string& input = "",
                         const std::vector<std::string>& environment = {});

// What a tool showed its user: its message boxes where it has them, else its terminal
// dialog (the question and a failure on the error stream, a success on the output stream).
std::string shownToUser(const ProgramResult& result);

#ifdef _WIN32
// Under Wine without a display a message box returns at once with an answer that is not OK,
// so every overwrite question is declined; the OK path has a test of its own under Xvfb.
inline constexpr bool kQuestionsCanBeAnswered = false;
// The system hands a program the command line after its path and the blanks behind it, so
// leading blanks never reach the run frame's splitting.
inline constexpr bool kLeadingBlanksReachTheProgram = false;
#else
inline constexpr bool kQuestionsCanBeAnswered = true;
inline constexpr bool kLeadingBlanksReachTheProgram = true;
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
