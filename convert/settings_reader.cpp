#include "convert/settings_reader.h"
#include "convert/output_run.h"

#include <cstdio>
#include <cstring>

#include "common/message_log.h"
#include "common/run_record.h"
#include "common/settings.h"
#include "common/text_helpers.h"
#include "common/texts.h"
#include "common/unicode_conversion.h"
#include "convert/ini_reader.h"
#include "markup/standard_parser.h"

namespace mq {

namespace {

constexpr int kKeywordSize = 99;
constexpr int kFileNameTooLong = -2;

int settingError(OutputRun& run, const char* section, const char* key, const char* logName) {
  setMessage(run, kCodeSettingError, kFmtSettingError, section, key);
  writeLogLine(run, logName);
  return -1;
}

// A file name is never cut: a shortened path would open another file than the one meant.
int readFileName(const IniFile& ini, const char* section, const char* key, char* destination) {
  std::string_view value;
  std::memset(destination, 0, kFileNameSize);
  if (!findIniValue(ini, section, key, &value)) return 0;
  if (value.size() > static_cast<std::size_t>(kFileNameSize - 1)) return kFileNameTooLong;
  std::memcpy(destination, value.data(), value.size());
  return static_cast<int>(value.size());
}

bool startsWith(const char* value, const char* keyword) {
  return std::strncmp(value, keyword, std::strlen(keyword)) == 0;
}

// Reads one keyword value upper-cased over its first `compared` bytes; 0 when absent.
int readKeyword(const IniFile& ini, const char* section, const char* key, char* value, int compared) {
  const int count = readIniString(ini, section, key, value, kKeywordSize);
  toUpperAscii(value, value, compared);
  return count;
}

// [section] CODE: SJIS (also when absent) or UTF8, by their first bytes; UTF-8 needs the
// system's converter for the Shift-JIS it meets (messages, documents in other codes).
int readTextCode(OutputRun& run, const IniFile& ini, const char* section, TextCode* code, const char* log) {
  char value[kKeywordSize];
  *code = TextCode::Sjis;
  if (readKeyword(ini, section, "CODE", value, 4) == 0 || startsWith(value, "SJIS")) return 0;
  if (!startsWith(value, "UTF8")) return settingError(run, section, "CODE", log);
  if (!platformConvertsCodes()) {
    char setting[32];
    std::snprintf(setting, sizeof setting, "[%s] CODE=UTF8", section);
    setMessage(run, kCodeParameterError, kFmtParameterError, setting);
    writeLogLine(run, log);
    return -1;
  }
  *code = TextCode::Utf8;
  return 0;
}

int readAll(OutputRun& run, const IniFile& ini) {
  Settings& s = run.settings;
  const int logNameLength = readFileName(ini, "LOG", "FILENAME", s.logFileName);
  if (logNameLength == kFileNameTooLong) {
    std::strcpy(s.logFileName, kFallbackLogName);
    return settingError(run, "LOG", "FILENAME", kFallbackLogName);
  }
  if (logNameLength == 0) std::strcpy(s.logFileName, kFallbackLogName);
  const char* log = s.logFileName;

  if (readTextCode(run, ini, "LOG", &s.logCode, log) != 0) return -1;
  // From here on the log is written in its code.
  setMessageCodes(run, TextCode::Sjis, s.logCode);

  char value[kKeywordSize];
  if (readKeyword(ini, "LOG", "WARLOGOUT", value, 3) == 0) return settingError(run, "LOG", "WARLOGOUT", log);
  s.warnLog = startsWith(value, "YES");

  if (readKeyword(ini, "OUTFILE", "KIND", value, 6) == 0) return settingError(run, "OUTFILE", "KIND", log);
  if (startsWith(value, "NORMAL")) {
    s.outputKind = OutputKind::Normal;
  } else if (startsWith(value, "NOCRLF")) {
    s.outputKind = OutputKind::NoCrlf;
  } else if (startsWith(value, "CSV")) {
    s.outputKind = OutputKind::Csv;
  } else {
    return settingError(run, "OUTFILE", "KIND", log);
  }
  if (readTextCode(run, ini, "OUTFILE", &s.workingCode, log) != 0) return -1;

  if (s.outputKind != OutputKind::Csv) {
    if (readIniString(ini, "SET", "START", s.startMarker, kMarkerSize) == 0) return settingError(run, "SET", "START", log);
    if (readIniString(ini, "SET", "END", s.endMarker, kMarkerSize) == 0) return settingError(run, "SET", "END", log);
  }

  s.inputCount = readIniInt(ini, "INFILE", "COUNT", 0);
  if (s.inputCount <= 0) return settingError(run, "INFILE", "COUNT", log);
  if (s.inputCount > kMaxInputs) s.inputCount = kMaxInputs;

  if (readKeyword(ini, "INFILE", "KIND", value, 4) == 0) return settingError(run, "INFILE", "KIND", log);
  if (startsWith(value, "XML")) {
    s.inputKind = InputKind::Xml;
  } else if (startsWith(value, "HTML")) {
    s.inputKind = InputKind::Html;
  } else if (startsWith(value, "CSV")) {
    s.inputKind = InputKind::Csv;
  } else {
    return settingError(run, "INFILE", "KIND", log);
  }

  // How documents are read; listings have no parser and no code.
  if (s.inputKind != InputKind::Csv) {
    if (readKeyword(ini, "INFILE", "PARSER", value, 8) == 0 || startsWith(value, "CLASSIC")) {
      s.parser = ParserKind::Classic;
    } else if (startsWith(value, "STANDARD")) {
      s.parser = ParserKind::Standard;
      if (!standardParserAvailable()) {
        refuseStandardParser(run, "[INFILE] PARSER=STANDARD");
        writeLogLine(run, log);
        return -1;
      }
    } else {
      return settingError(run, "INFILE", "PARSER", log);
    }
    if (readKeyword(ini, "INFILE", "CODE", value, 5) == 0) {
      s.documentCode = DocumentCode::Detect;
    } else if (!documentCodeFromName(value, &s.documentCode)) {
      return settingError(run, "INFILE", "CODE", log);
    }
  }

  for (int i = 1; i <= s.inputCount; ++i) {
    char key[24];
    std::snprintf(key, sizeof key, "INFILE%d", i);
    if (readFileName(ini, "INFILE", key, s.inputFiles[i - 1]) <= 0) return settingError(run, "INFILE", key, log);
  }

  if (readFileName(ini, "OUTFILE", "OUTFILE", s.outputFile) <= 0) return settingError(run, "OUTFILE", "OUTFILE", log);
  if (s.outputKind == OutputKind::Csv) return 0;

  if (readFileName(ini, "OUTDEF", "OUTDEF", s.outputDefinitionFile) <= 0) {
    return settingError(run, "OUTDEF", "OUTDEF", log);
  }
  const int replacementLength = readFileName(ini, "REPLACE", "REPDEF", s.replacementDefinitionFile);
  if (replacementLength == kFileNameTooLong) return settingError(run, "REPLACE", "REPDEF", log);
  s.useReplacement = replacementLength > 0;
  return 0;
}

}  // namespace

int readSettings(OutputRun& run) {
  run.settings = Settings{};
  const char* path = run.args[0];
  if (path[0] == '\0') {
    setMessage(run, kCodeParameterError, kFmtParameterError, path);
    writeLogLine(run, kFallbackLogName);
    return -1;
  }
  IniFile ini;
  if (openIniFile(&ini, path) != 0) {
    setMessage(run, kCodeReadFailed, kFmtReadFailed, path);
    writeLogLine(run, kFallbackLogName);
    return -1;
  }
  const int result = readAll(run, ini);
  closeIniFile(&ini);
  return result;
}

}  // namespace mq
