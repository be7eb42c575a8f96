#include "common/program_info.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/console.h"
#include "common/run_record.h"

namespace mq {

namespace {

constexpr int kUsageSize = 4096;

}  // namespace

bool answeredInfoRequest(const RunRecord& record, void (*writeUsage)()) {
  const char* first = record.args[0];
  if (std::strcmp(first, "--help") == 0 || std::strcmp(first, "-h") == 0) {
    writeUsage();
    return true;
  }
  if (std::strcmp(first, "--version") == 0) {
    char line[kProgramNameSize + 128];
    std::snprintf(line, sizeof line, "%s %s\nstandard parser (PARSER=STANDARD, /s): %s\n", record.programName,
                  MQ_VERSION, MQ_STANDARD_PARSER_TEXT);
    writeToConsole(false, line);
    return true;
  }
  return false;
}

void writeUsageText(const char* format, ...) {
  char text[kUsageSize];
  va_list values;
  va_start(values, format);
  std::vsnprintf(text, sizeof text, format, values);
  va_end(values);
  writeToConsole(false, text);
}

}  // namespace mq
