#include "common/tool_frame.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "common/console.h"
#include "common/file_reading.h"
#include "common/message_log.h"
#include "common/program_info.h"
#include "common/run_record.h"
#include "common/texts.h"
#include "common/work_areas.h"

namespace mq {

namespace {

// A success's report goes where a failure's does when the output took standard output.
int reportAndExit(const RunRecord& record, int result, const char* outputFile = "") {
  const bool outputOnStandardOutput = std::strcmp(outputFile, kStandardStreamName) == 0;
  showFinalReport(record.programName, record.messageText, result != 0 || outputOnStandardOutput);
  return exitCodeOf(result);
}

// Options, the overwrite question and the areas: 0, the failing step's result, or -1 when
// the user declined to replace the output file.
int startTool(RunRecord& record, const ToolSteps& steps) {
  setMessageText(record, kTextFinishedNormally);
  const int parsed = steps.parseOptions();
  if (parsed != 0) return parsed;

  // Only an existing file with something in it is worth a question, unless /y answered it.
  long length = 0;
  if (!record.overwriteAgreed && std::strcmp(steps.outputFile, kStandardStreamName) != 0 &&
      getFileLength(&length, steps.outputFile) == 0 && length > 0 &&
      !askOkCancel(record.programName, kTextOverwriteQuestion)) {
    setMessageText(record, kTextNothingDone);
    return -1;
  }
  return steps.takeAreas();
}

}  // namespace

int splitToolArguments(RunRecord& record, int (*applyOption)(const char* argument), char* firstFile,
                       char* secondFile) {
  int fileNames = 0;
  for (const char* argument : record.args) {
    if (std::strcmp(argument, "/y") == 0 || std::strcmp(argument, "/Y") == 0) {
      record.overwriteAgreed = true;
    } else if (argument[0] == '/' && !isPathArgument(argument)) {
      if (applyOption(argument) != 0) return -1;
    } else if (argument[0] != '\0') {
      // Slots hold at most 255 bytes, so both names fit their fields whole.
      if (fileNames == 0) std::strcpy(firstFile, argument);
      if (fileNames == 1) std::strcpy(secondFile, argument);
      ++fileNames;
    }
  }
  if (fileNames < 2) {
    setMessage(record, kCodeParameterError, kFmtParameterError, kDetailFilesNotGiven);
    return -1;
  }
  return 0;
}

void setSuccessReport(RunRecord& record, const char* codeName, const char* warning) {
  char text[kMessageTextSize];
  int used = std::snprintf(text, sizeof text, "%s", kTextFinishedNormally);
  if (codeName[0] != '\0' && used >= 0 && static_cast<std::size_t>(used) < sizeof text) {
    used += std::snprintf(text + used, sizeof text - static_cast<std::size_t>(used), " CODE = [%s]", codeName);
  }
  if (warning[0] != '\0') {
    setMessage(record, kCodeReplacedCharacters, "%s %s", text, warning);
  } else {
    setMessageText(record, text);
  }
}

namespace {

int runSteps(RunRecord& record, const ToolSteps& steps) {
  if (steps.writeUsage != nullptr && answeredInfoRequest(record, steps.writeUsage)) return 0;
  if (startTool(record, steps) != 0) return reportAndExit(record, -1);
  int result = -1;
  try {
    result = steps.run();
  } catch (const std::bad_alloc&) {
    // On any of the run's threads: reported as the areas' lack is, not by ending the program.
    reportLackOfMemory(record);
  }
  steps.releaseAreas();
  return reportAndExit(record, result, steps.outputFile);
}

}  // namespace

int runTool(RunRecord& record, int count, const char* const* arguments, const char* programName,
            const ToolSteps& steps) {
  if (setupRunRecord(record, count, arguments, programName) != 0) return reportAndExit(record, -1);
  return runSteps(record, steps);
}

int runTool(RunRecord& record, const char* commandLine, const char* programName, const ToolSteps& steps) {
  if (setupRunRecord(record, commandLine, programName) != 0) return reportAndExit(record, -1);
  return runSteps(record, steps);
}

}  // namespace mq
