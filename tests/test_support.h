// Shared by the tests: a scratch folder per test, whole-file reading and writing, Shift-JIS
// text from UTF-8 literals, running a program with its exit code and output, the console
// pointed at files, and the records of a parse-table slot as lines.
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
};

// Runs the program in `directory` with the arguments, feeding `input` on standard input.
// `environment` entries (NAME=VALUE) are added to a minimal C-locale environment.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& directory, const std::string& input = "",
                         const std::vector<std::string>& environment = {});

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
