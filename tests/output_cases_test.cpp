// Marquill's output phase end to end, one golden folder per case: cases/NAME/input/ is
// copied into a scratch folder and Marquill runs there with ./settings.ini (named with its
// folder, since the Windows build's INI functions look for a bare name elsewhere); then
// cases/NAME/expected/ says what must hold: exit-code, every other file byte for byte (logs
// line by line with their time stamps masked), and the files named in `absent` missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "markup/standard_parser.h"
#include "tests/test_support.h"

namespace mq {
namespace {

namespace fs = std::filesystem;
using test::readFile;

const fs::path kCases = MQ_CASES_DIR;

std::vector<std::string> caseNames() {
  std::vector<std::string> names;
  if (!fs::is_directory(kCases)) return names;
  for (const fs::directory_entry& entry : fs::directory_iterator(kCases)) {
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool isLog(const std::string& name) {
  return name == "ERRLOG.LOG" || (name.size() > 4 && name.compare(name.size() - 4, 4, ".log") == 0);
}

// The lines of a log, each with its line end; a leading date-time stamp of the log's shape
// is replaced by the mask that the expected logs carry.
std::vector<std::string> maskedLines(const std::string& bytes) {
  static const std::string shape = "9999/99/99 99:99:99 ";
  static const std::string mask = "YYYY/MM/DD hh:mm:ss ";
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < bytes.size();) {
    std::size_t end = bytes.find('\n', at);
    end = end == std::string::npos ? bytes.size() : end + 1;
    std::string line = bytes.substr(at, end - at);
    const bool stamped =
        line.size() >= shape.size() && std::equal(shape.begin(), shape.end(), line.begin(), [](char s, char c) {
          return s == '9' ? std::isdigit(static_cast<unsigned char>(c)) != 0 : s == c;
        });
    if (stamped) line.replace(0, mask.size(), mask);
    lines.push_back(line);
    at = end;
  }
  return lines;
}

// Up to 24 bytes from `at`, non-printing bytes as \xHH, for a readable failure.
std::string excerpt(const std::string& bytes, std::size_t at) {
  std::ostringstream out;
  for (std::size_t i = at; i < bytes.size() && i < at + 24; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte >= 0x20 && byte < 0x7F) {
      out << bytes[i];
    } else {
      static const char hex[] = "0123456789ABCDEF";
      out << "\\x" << hex[byte >> 4] << hex[byte & 15];
    }
  }
  return out.str();
}

// Empty when the bytes are equal; otherwise where and how they first differ.
std::string difference(const std::string& expected, const std::string& actual) {
  if (expected == actual) return "";
  const auto [e, a] = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
  const auto at = static_cast<std::size_t>(e - expected.begin());
  std::ostringstream out;
  out << "expected " << expected.size() << " bytes, got " << actual.size() << "; first difference at byte " << at
      << ": expected \"" << excerpt(expected, at) << "\", got \"" << excerpt(actual, at) << "\"";
  return out.str();
}

class OutputCase : public test::ScratchDir, public ::testing::WithParamInterface<std::string> {};

TEST_P(OutputCase, LeavesTheExpectedFiles) {
  SCOPED_TRACE("case " + GetParam());
  const fs::path folder = kCases / GetParam();
  const fs::path expected = folder / "expected";
  ASSERT_TRUE(fs::is_regular_file(expected / "exit-code"));
  if (test::kFullDisk == nullptr && readFile((folder / "input" / "settings.ini").string()).find("/dev/full") != std::string::npos) {
    GTEST_SKIP() << "no file stands for a full disk here";
  }
  if (!test::systemConvertsCodes() && fs::exists(expected / "needs-converter")) {
    GTEST_SKIP() << "the system has no converter between named codes";
  }
  if (!standardParserAvailable() &&
      readFile((folder / "input" / "settings.ini").string()).find("PARSER=STANDARD") != std::string::npos) {
    GTEST_SKIP() << "built without the standard parser";
  }
  fs::copy(folder / "input", dir_, fs::copy_options::recursive);

  const test::ProgramResult result = test::runProgram(MQ_MARQUILL, {"./settings.ini"}, dir_);
  EXPECT_EQ(result.exitCode, std::stoi(readFile((expected / "exit-code").string())));

  for (const fs::directory_entry& entry : fs::directory_iterator(expected)) {
    const std::string name = entry.path().filename().string();
    if (name == "exit-code" || name == "absent" || name == "needs-converter") continue;
    const std::string written = path(name);
    if (!fs::exists(written)) {
      ADD_FAILURE() << name << " was not written";
      continue;
    }
    const std::string want = readFile(entry.path().string());
    if (isLog(name)) {
      EXPECT_EQ(maskedLines(readFile(written)), maskedLines(want)) << name;
    } else {
      EXPECT_EQ(difference(want, readFile(written)), "") << name;
    }
  }

  std::istringstream absent(fs::exists(expected / "absent") ? readFile((expected / "absent").string()) : "");
  for (std::string name; std::getline(absent, name);) {
    if (!name.empty()) {
      EXPECT_FALSE(fs::exists(path(name))) << name << " should not exist";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, OutputCase, ::testing::ValuesIn(caseNames()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           std::string name = param.param;
                           for (char& c : name) {
                             if (std::isalnum(static_cast<unsigned char>(c)) == 0) c = '_';
                           }
                           return name;
                         });

// The cases run are those the build listed: every folder on disk, each with its expected/.
TEST(OutputCases, TheBuildListedEveryCaseFolder) {
  std::string names;
  for (const std::string& name : caseNames()) names += (names.empty() ? "" : ",") + name;
  EXPECT_FALSE(names.empty()) << kCases;
  EXPECT_EQ(names, MQ_CASE_NAMES) << "a folder without expected/, or the build is older than the folders";
}

}  // namespace
}  // namespace mq
