#include "convert/settings_reader.h"
#include "convert/output_run.h"

#include <cstdio>
#include <cstring>
#include <vector>
#include <string>
#include <algorithm>

#include "common/scope_exit.h"
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

// The sections and keys Marquill reads; anything else in a settings file is a slip.
struct KnownSection {
  const char* name;
  std::vector<std::string> keys;
};

const std::vector<KnownSection>& knownSections() {
  static const std::vector<KnownSection> known = [] {
    std::vector<KnownSection> all = {{"LOG", {"FILENAME", "WARLOGOUT", "CODE"}},
                                     {"OUTFILE", {"KIND", "OUTFILE", "CODE"}},
                                     {"SET", {"START", "END"}},
                                     {"INFILE", {"COUNT", "KIND", "PARSER", "CODE"}},
                                     {"OUTDEF", {"OUTDEF"}},
                                     {"REPLACE", {"REPDEF"}}};
    for (int i = 1; i <= kMaxInputs; ++i) all[3].keys.push_back("INFILE" + std::to_string(i));
    return all;
  }();
  return known;
}

std::string upperCased(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  return upper;
}

// Edits (insertions, deletions, substitutions) from one name to the other, case ignored.
std::size_t editDistance(std::string_view a, std::string_view b) {
  const std::string x = upperCased(a), y = upperCased(b);
  std::vector<std::size_t> row(y.size() + 1);
  for (std::size_t j = 0; j <= y.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= x.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= y.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[y.size()];
}

template <class Names, class NameOf>
std::string nearest(std::string_view name, const Names& names, NameOf nameOf) {
  std::string best;
  std::size_t bestDistance = static_cast<std::size_t>(-1);
  for (const auto& candidate : names) {
    const std::size_t distance = editDistance(name, nameOf(candidate));
    if (distance < bestDistance) {
      bestDistance = distance;
      best = nameOf(candidate);
    }
  }
  return best;
}

// A line for each section or key that Marquill does not know, naming the nearest known one.
void noteUnknownNames(OutputRun& run, const IniFile& ini) {
  const std::vector<KnownSection>& known = knownSections();
  for (const IniSection& section : listIniNames(ini)) {
    const KnownSection* match = nullptr;
    for (const KnownSection& k : known) {
      if (upperCased(section.name) == k.name) match = &k;
    }
    if (match == nullptr) {
      std::string note = "unknown section [";
      note += section.name;
      note += "] (nearest: [";
      note += nearest(section.name, known, [](const KnownSection& k) { return std::string(k.name); });
      note += "])";
      run.settingNotes.push_back(note);
      continue;
    }
    for (const std::string& key : section.keys) {
      bool knownKey = false;
      for (const std::string& k : match->keys) knownKey = knownKey || upperCased(key) == k;
      if (!knownKey) {
        std::string note = "unknown key ";
        note += key;
        note += " in [";
        note += match->name;
        note += "] (nearest: ";
        note += nearest(key, match->keys, [](const std::string& k) { return k; });
        note += ")";
        run.settingNotes.push_back(note);
      }
    }
  }
}

// A line for each keyword whose value was taken by its first bytes only (NORMALIZE as NORMAL).
void noteKeywordsTakenInPart(OutputRun& run, const IniFile& ini) {
  const Settings& s = run.settings;
  const auto textCodeName = [](TextCode code) { return code == TextCode::Utf8 ? "UTF8" : "SJIS"; };
  const char* outputKinds[] = {"", "", "", "CSV", "NORMAL", "NOCRLF"};
  const char* inputKinds[] = {"", "XML", "HTML", "CSV"};
  const char* documentCodes[] = {"", "UTF8", "UTF16", "SJIS", "EUC", "JIS"};
  struct Keyword {
    const char* section;
    const char* key;
    const char* readAs;
  };
  std::vector<Keyword> keywords = {{"LOG", "WARLOGOUT", s.warnLog ? "YES" : "NO"},
                                   {"LOG", "CODE", textCodeName(s.logCode)},
                                   {"OUTFILE", "KIND", outputKinds[static_cast<int>(s.outputKind)]},
                                   {"OUTFILE", "CODE", textCodeName(s.workingCode)},
                                   {"INFILE", "KIND", inputKinds[static_cast<int>(s.inputKind)]}};
  if (s.inputKind != InputKind::Csv) {
    keywords.push_back({"INFILE", "PARSER", s.parser == ParserKind::Standard ? "STANDARD" : "CLASSIC"});
    keywords.push_back({"INFILE", "CODE", documentCodes[static_cast<int>(s.documentCode)]});
  }
  for (const Keyword& k : keywords) {
    std::string_view value;
    if (!findIniValue(ini, k.section, k.key, &value) || value.empty()) continue;
    if (upperCased(value) != k.readAs) {
      std::string note = "[";
      note += k.section;
      note += "] ";
      note += k.key;
      note += "=";
      note += value;
      note += " is read as ";
      note += k.readAs;
      run.settingNotes.push_back(note);
    }
  }
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
  const OnScopeExit close([&ini] { closeIniFile(&ini); });
  const int result = readAll(run, ini);
  noteUnknownNames(run, ini);
  if (result == 0) noteKeywordsTakenInPart(run, ini);
  return result;
}

}  // namespace mq
