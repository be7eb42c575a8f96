#include "convert/marquill_run.h"

#include <cstdio>

#include "common/console.h"
#include "common/message_log.h"
#include "common/program_info.h"
#include "common/run_record.h"
#include "common/settings.h"
#include "common/texts.h"
#include "convert/output_writer.h"
#include "convert/settings_reader.h"
#include "markup/input_loading.h"
#include "markup/parse_tables.h"

namespace mq {

namespace {

void writeMarquillUsage() {
  char example[kMessageTextSize];
  std::snprintf(example, sizeof example, kFmtSettingError, "LOG", "WARLOGOUT");
  writeUsageText(
      "Usage: Marquill SETTINGS\n"
      "Fills a template with the values it addresses in up to nine Japanese web documents (HTML or\n"
      "XML in Shift-JIS, EUC, JIS or UTF-8) or tag listings, or writes a tag listing of every record, as\n"
      "the INI settings file SETTINGS says.\n"
      "  SETTINGS      the settings file, named with its folder (./run.ini): a bare name is looked\n"
      "                for where the system's INI reading looks (on Windows, the Windows folder)\n"
      "  -h, --help    show this text\n"
      "  --version     show the version\n"
      "Log: one dated line per message in [LOG] FILENAME (%s when not given); the start and end\n"
      "lines and the warnings only with [LOG] WARLOGOUT=YES. A failure's text also goes to\n"
      "standard error, even when the log cannot be written, and so does each document that had\n"
      "characters replaced (5023); a successful run without replacements writes nothing there:\n"
      "  Marquill: %s\n"
      "Exit codes: 0 success; 255 a failure: a wrong setting or command line, a file that cannot be\n"
      "read or written, a malformed input, no memory.\n",
      kFallbackLogName, example);
}

// A failure is never silent: its text also goes to the terminal, cut as in the log, even
// when the log file could not be written. So is a loss of characters.
void showFailure() {
  char line[kProgramNameSize + 264];
  std::snprintf(line, sizeof line, "%s: %.256s\n", gRunRecord.programName, gRunRecord.messageText);
  if (messageTextCode() == TextCode::Utf8) {
    writeUtf8ToConsole(true, line);
  } else {
    writeToConsole(true, line);
  }
}

}  // namespace

int startRun() {
  const int settingsResult = readSettings();
  if (settingsResult != 0) return settingsResult;
  // Messages carry values of the working code, so they are composed in it.
  setMessageCodes(gSettings.workingCode, gSettings.logCode);
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

// Warnings are logged where they are met, when the settings ask for them. Replaced
// characters are changed text, so they are also shown on the terminal whatever the
// settings say.
void logWarning() {
  if (gSettings.warnLog) writeLogLine(gSettings.logFileName);
  if (gRunRecord.messageCode == kCodeReplacedCharacters) showFailure();
}

}  // namespace

int processRun() {
  const InputSet inputs{gSettings.inputKind,   gSettings.inputCount, gSettings.inputFiles, gSettings.parser,
                        gSettings.documentCode, logWarning,           nullptr,              gSettings.workingCode};
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
    showFailure();
    return exitCodeOf(-1);
  }
  if (answeredInfoRequest(writeMarquillUsage)) return 0;
  if (startRun() != 0) {
    showFailure();
    return exitCodeOf(-1);
  }
  const int result = processRun();
  // Before the end phase, whose end line replaces the current message.
  if (result != 0) showFailure();
  endRun();
  return exitCodeOf(result);
}

}  // namespace mq
