#include "common/tool_frame.h"

#include "common/console.h"
#include "common/file_reading.h"
#include "common/message_log.h"
#include "common/program_info.h"
#include "common/run_record.h"
#include "common/texts.h"

namespace mq {

namespace {

int reportAndExit(int result) {
  showFinalReport(gRunRecord.programName, gRunRecord.messageText, result != 0);
  return exitCodeOf(result);
}

// Options, the overwrite question and the areas: 0, the failing step's result, or -1 when
// the user declined to replace the output file.
int startTool(const ToolSteps& steps) {
  setMessageText(kTextFinishedNormally);
  const int parsed = steps.parseOptions();
  if (parsed != 0) return parsed;

  // Only an existing file with something in it is worth a question.
  long length = 0;
  if (getFileLength(&length, steps.outputFile) == 0 && length > 0 &&
      !askOkCancel(gRunRecord.programName, kTextOverwriteQuestion)) {
    setMessageText(kTextNothingDone);
    return -1;
  }
  return steps.takeAreas();
}

}  // namespace

int runTool(const char* commandLine, const char* programName, const ToolSteps& steps) {
  if (setupRunRecord(commandLine, programName) != 0) return reportAndExit(-1);
  if (steps.writeUsage != nullptr && answeredInfoRequest(steps.writeUsage)) return 0;
  if (startTool(steps) != 0) return reportAndExit(-1);
  const int result = steps.run();
  steps.releaseAreas();
  return reportAndExit(result);
}

}  // namespace mq
