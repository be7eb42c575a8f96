#include "convert/marquill_run.h"

#include "common/message_log.h"
#include "common/run_record.h"
#include "common/settings.h"
#include "common/texts.h"
#include "convert/output_writer.h"
#include "convert/settings_reader.h"
#include "markup/input_loading.h"
#include "markup/parse_tables.h"

namespace mq {

int startRun() {
  const int settingsResult = readSettings();
  if (settingsResult != 0) return settingsResult;
  if (gSettings.warnLog) {
    setMessage(kCodeStarted, "%s", kTextStarted);
    writeLogLine(gSettings.logFileName);
  }
  if (allocateParseTables(gSettings.inputCount) != 0) {
    writeLogLine(gSettings.logFileName);
    return -1;
  }
  return 0;
}

namespace {

// Warnings are logged where they are met, when the settings ask for them.
void logWarning() {
  if (gSettings.warnLog) writeLogLine(gSettings.logFileName);
}

}  // namespace

int processRun() {
  const InputSet inputs{gSettings.inputKind, gSettings.inputCount, gSettings.inputFiles, gSettings.parser,
                        gSettings.documentCode, logWarning};
  const int loaded = loadInputs(inputs);
  if (loaded != 0) {
    writeLogLine(gSettings.logFileName);
    return loaded;
  }
  const int written = runOutputPhase();
  if (written != 0) {
    writeLogLine(gSettings.logFileName);
    return written;
  }
  return 0;
}

int endRun() {
  releaseParseTables();
  if (gSettings.warnLog) {
    setMessage(kCodeEnded, "%s", kTextEnded);
    writeLogLine(gSettings.logFileName);
  }
  return 0;
}

int runMarquill(const char* commandLine) {
  if (setupRunRecord(commandLine, "Marquill") != 0) {
    writeLogLine(kFallbackLogName);
    return exitCodeOf(-1);
  }
  if (startRun() != 0) return exitCodeOf(-1);
  const int result = processRun();
  endRun();
  return exitCodeOf(result);
}

}  // namespace mq
