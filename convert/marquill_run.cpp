#include "convert/marquill_run.h"
#include "convert/output_run.h"

#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "common/console.h"
#include "common/message_log.h"
#include "common/program_info.h"
#include "common/run_record.h"
#include "common/settings.h"
#include "common/texts.h"
#include "common/work_areas.h"
#include "convert/kept_values.h"
#include "convert/listing_stream.h"
#include "convert/output_areas.h"
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
      "Settings: [LOG] FILENAME WARLOGOUT CODE  [OUTFILE] KIND (NORMAL, NOCRLF, CSV) OUTFILE CODE\n"
      "  [SET] START END  [INFILE] COUNT KIND (HTML, XML, CSV) PARSER CODE INFILE1..INFILE9\n"
      "  [OUTDEF] OUTDEF (the template)  [REPLACE] REPDEF (the replacement file)\n"
      "Item: START, file number (1 digit), tag path, sequence number (4 digits), replacement\n"
      "  number (3 digits, 000 none), maximum length (3 digits, 000 all), END: <%%1<BODY><TD>0002000000%%>\n"
      "Log: one dated line per message in [LOG] FILENAME (%s when not given); the start and end\n"
      "lines and the warnings only with [LOG] WARLOGOUT=YES. A failure's text also goes to\n"
      "standard error, and so do each document that had characters replaced (5023), a log that\n"
      "cannot be written and a slip in the settings; a run without them writes nothing there:\n"
      "  Marquill: %s\n"
      "Exit codes: 0 success; 255 a failure: a wrong setting or command line, a file that cannot be\n"
      "read or written, a malformed input, no memory.\n"
      "Manual: man Marquill; the settings: man 5 marquill.ini; templates: man 5 marquill-template\n",
      kFallbackLogName, example);
}

// A failure is never silent: its text also goes to the terminal, cut as in the log, even
// when the log file could not be written. So is a loss of characters.
void showFailure(OutputRun& run) {
  char line[kProgramNameSize + 264];
  std::snprintf(line, sizeof line, "%s: %.256s\n", run.programName, run.messageText);
  if (messageTextCode(run) == TextCode::Utf8) {
    writeUtf8ToConsole(true, line);
  } else {
    writeToConsole(true, line);
  }
}

// A log that could not be written loses what it should have kept, on success too: the
// terminal is told its name once. The exit code stays the job's.
void sayUnwrittenLog(OutputRun& run) {
  if (run.unwrittenLog[0] == '\0') return;
  char text[kMessageTextSize];
  std::snprintf(text, sizeof text, kFmtWriteFailed, run.unwrittenLog);
  char line[kProgramNameSize + kMessageTextSize + 8];
  std::snprintf(line, sizeof line, "%s: %s\n", run.programName, text);
  writeToConsole(true, line);
}

}  // namespace

int startRun(OutputRun& run) {
  const int settingsResult = readSettings(run);
  // A slip in the settings file is told on the terminal; the run goes on as it would.
  for (const std::string& note : run.settingNotes) {
    writeToConsole(true, (std::string(run.programName) + ": " + run.args[0] + ": " + note + "\n").c_str());
  }
  if (settingsResult != 0) return settingsResult;
  // Messages carry values of the working code, so they are composed in it.
  setMessageCodes(run, run.settings.workingCode, run.settings.logCode);
  if (run.settings.warnLog) {
    setMessage(run, kCodeStarted, "%s", kTextStarted);
    writeLogLine(run, run.settings.logFileName);
  }
  if (allocateParseTables(run, run.settings.inputCount) != 0) {
    writeLogLine(run, run.settings.logFileName);
    return -1;
  }
  return 0;
}

namespace {

// Warnings are logged where they are met, when the settings ask for them. Replaced
// characters are changed text, so they are also shown on the terminal whatever the
// settings say.
void logWarning(OutputRun& run) {
  if (run.settings.warnLog) writeLogLine(run, run.settings.logFileName);
  if (run.messageCode == kCodeReplacedCharacters) showFailure(run);
}

}  // namespace

// KIND CSV writes its lines while the documents are read, to a file that takes the output's
// name only after a good run; nothing else changes. Listings read back are loaded whole.
// 1: the output is written after the load.
int loadWithCsvStream(OutputRun& run, const InputSet& inputs) {
  const Settings& s = run.settings;
  if (s.outputKind != OutputKind::Csv || s.inputKind == InputKind::Csv || run.outputText != nullptr || !run.readsLean ||
      takeOutputAreas(run) != 0) {
    return 1;
  }
  ListingStream stream(run, s.outputFile,
                       LineStyle{[&run](const ParseTableSlot& slot, const TagRecord& record, LineValue* value) {
                                   return csvValueOf(run, slot, record, value);
                                 },
                                 // Cleaning never lengthens a value.
                                 [&run](int32_t length) {
                                   return run.listingShortcut && length + 16 < run.output.workSize;
                                 },
                                 csvValueMade, false, '\t', true, nullptr, false});
  int result = 1;
  if (stream.open()) {
    {
      const SinkScope sink(run.flow, &stream);
      result = loadInputs(run, inputs);
    }
    if (result == 0) result = stream.finish();
    if (result != 0) writeLogLine(run, run.settings.logFileName);
  }
  releaseOutputAreas(run);
  return result;
}

int processRun(OutputRun& run) {
  const Settings& s = run.settings;
  const InputSet inputs{s.inputKind,    s.inputCount, s.inputFiles, s.parser, s.documentCode, [&run] { logWarning(run); },
                        nullptr,        s.workingCode};
  const int streamed = loadWithCsvStream(run, inputs);
  if (streamed != 1) return streamed;
  // A fill keeps of its documents only what its template asks for.
  KeptValues kept;
  const bool keeping = s.outputKind != OutputKind::Csv && s.inputKind != InputKind::Csv && run.readsLean &&
                       kept.readTemplate(run);
  int loaded = 0;
  {
    const SinkScope sink(run.flow, keeping ? &kept : nullptr);
    loaded = loadInputs(run, inputs);
  }
  if (keeping && loaded == 0) loaded = kept.fillTables(run);
  if (loaded != 0) {
    writeLogLine(run, run.settings.logFileName);
    return loaded;
  }
  if (keeping) run.answers = &kept;
  const int written = runOutputPhase(run);
  run.answers = nullptr;
  if (written != 0) {
    writeLogLine(run, run.settings.logFileName);
    return written;
  }
  return 0;
}

int endRun(OutputRun& run) {
  releaseParseTables(run);
  if (run.settings.warnLog) {
    setMessage(run, kCodeEnded, "%s", kTextEnded);
    writeLogLine(run, run.settings.logFileName);
  }
  return 0;
}

namespace {

// A lack of memory thrown out of the run, on any of its threads: reported and logged as the
// areas' lack is, with what the run held given back.
int reportThrownLack(OutputRun& run) {
  run.answers = nullptr;  // the fill's, gone with it
  releaseOutputAreas(run);
  reportLackOfMemory(run);
  if (run.settings.logFileName[0] != '\0') writeLogLine(run, run.settings.logFileName);
  return -1;
}

// The run after its record was set up from the command line (`setUp` its result).
int runAfterSetUp(OutputRun& run, int setUp) {
  if (setUp != 0) {
    writeLogLine(run, kFallbackLogName);
    showFailure(run);
    sayUnwrittenLog(run);
    return exitCodeOf(-1);
  }
  if (answeredInfoRequest(run, writeMarquillUsage)) return 0;
  int result = -1;
  try {
    if (startRun(run) != 0) {
      showFailure(run);
      sayUnwrittenLog(run);
      return exitCodeOf(-1);
    }
    result = processRun(run);
  } catch (const std::bad_alloc&) {
    result = reportThrownLack(run);
  }
  // Before the end phase, whose end line replaces the current message.
  if (result != 0) showFailure(run);
  endRun(run);
  sayUnwrittenLog(run);
  return exitCodeOf(result);
}

}  // namespace

int runMarquill(int count, const char* const* arguments) {
  const auto run = std::make_unique<OutputRun>();
  return runAfterSetUp(*run, setupRunRecord(*run, count, arguments, "Marquill"));
}

int runMarquill(const char* commandLine) {
  const auto run = std::make_unique<OutputRun>();
  return runAfterSetUp(*run, setupRunRecord(*run, commandLine, "Marquill"));
}

}  // namespace mq
