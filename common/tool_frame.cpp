#include "common/tool_frame.h"

#include "common/console.h"
#include "common/message_log.h"
#include "common/run_record.h"
#include "common/text_helpers.h"
#include "common/texts.h"

namespace mq {

namespace {

// A failure must never leave the process with the success code, whatever its result.
int exitCodeOf(int result) {
  if (result == 0) return 0;
  const int code = result & 0xFF;
  return code != 0 ? code : 0xFF;
}

int reportAndExit(int result) {
  showFinalReport(gRunRecord.programName, gRunRecord.messageText, result != 0);
  return exitCodeOf(result);
}

}  // namespace

int startTool(const ToolSteps& steps) {
  setMessage(gRunRecord.messageCode, "%s", kTextFinishedNormally);
  const int parsed = steps.parseOptions();
  if (parsed != 0) return parsed;

  // Only an existing file with something in it is worth a question.
  long length = 0;
  if (getFileLength(&length, steps.outputFile) == 0 && length > 0 &&
      !askOkCancel(gRunRecord.programName, kTextOverwriteQuestion)) {
    setMessage(gRunRecord.messageCode, "%s", kTextNothingDone);
    return -1;
  }
  return steps.takeAreas();
}

int runTool(const char* commandLine, const char* programName, const ToolSteps& steps) {
  if (setupRunRecord(commandLine, programName) != 0) return reportAndExit(-1);
  if (startTool(steps) != 0) return reportAndExit(-1);
  const int result = steps.run();
  steps.releaseAreas();
  return reportAndExit(result);
}

}  // namespace mq
