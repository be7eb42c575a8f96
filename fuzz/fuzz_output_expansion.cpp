// A template expanded over a small fixed pair of documents: the output phase is run whole
// (areas, template, a fixed replacement file, output file, expansion, release) with an
// allocation failure injected where the first byte says; the second byte chooses the
// output kind, the replacement file, the warnings and the markers; the rest is the
// template. The output file and the warning lines are compared with a plain expansion of
// the same template over the same records.
//
// Document 1 comes through input loading from a small HTML page; document 2 is appended
// record by record, with what a page rarely gives: the same path and number twice, paths
// of one length with other bytes, values with TAB, CR, LF and NUL, no value at all, and a
// value longer than the work area.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/message_log.h"
#include "common/run_record.h"
#include "common/settings.h"
#include "common/texts.h"
#include "common/work_areas.h"
#include "convert/output_areas.h"
#include "convert/output_writer.h"
#include "fuzz/fuzz_support.h"
#include "markup/input_loading.h"
#include "markup/parse_tables.h"

namespace {

constexpr int kDocuments = 2;

const char kPage[] =
    "<HTML><HEAD><TITLE>Bakery \x88\x9f\x88\xa0\x88\xa1 news</TITLE></HEAD>\r\n"
    "<BODY BGCOLOR=\"#FFFFF0\"><!-- weekly -->\r\n"
    "<H1>This\tweek</H1>\r\n"
    "<P>Fresh\r\nbread<BR>every morning</P>\r\n"
    "<TABLE BORDER=1><TR><TH>Item</TH><TH>Price</TH></TR>\r\n"
    "<TR><TD>Apple pie</TD><TD ALIGN=right>180</TD></TR>\r\n"
    "<TR><TD>A</TD><TD>\x82\xa0\x82\xa2\x82\xa4</TD></TR>\r\n"
    "<TR><TD>first tart</TD><TD>second</TD></TR></TABLE>\r\n"
    "<UL><LI>one<LI>two<LI>sec three</UL>\r\n"
    "<p>lower <a href=\"map.html\">map</a> case</p>\r\n"
    "</BODY></HTML>\r\n";

struct PlainReplacement {
  int32_t number;
  std::string before;
  std::string after;
};

// The fixed replacement file, and the same entries as a person reads them.
const char kReplacementFile[] =
    "5\tA\tApple\r\n"
    "1\t\tEVERY\r\n"
    "2\tfirst\t\r\n"
    "7\t\x82\xa0\t\x88\xa0\x88\xa1\x88\xa2\r\n"
    "12\tsec\tSECOND!\n"
    "999\t\tlast without line end";
const PlainReplacement kReplacements[] = {
    {5, "A", "Apple"},
    {1, "", "EVERY"},
    {2, "first", ""},
    {7, "\x82\xa0", "\x88\xa0\x88\xa1\x88\xa2"},
    {12, "sec", "SECOND!"},
    {999, "", "last without line end"},
};

struct Markers {
  const char* start;
  const char* end;
};
const Markers kMarkers[] = {{"<%", "%>"}, {"[", "]"}, {"START", "END"}, {"@@", "@@"}};

std::string gScratch;  // prefix of this process's scratch files
std::string gTemplateFile, gReplacementName, gOutputName, gLogName;
std::vector<unsigned char> gTablesCopy;
char gStamp[21];  // the date and time that begin every log line

bool fixedClock(long long* seconds) {
  *seconds = 1000000000LL;
  return true;
}

void writeFile(const std::string& name, const char* bytes, std::size_t length) {
  std::FILE* file = std::fopen(name.c_str(), "wb");
  if (file == nullptr) __builtin_trap();
  if (length > 0 && std::fwrite(bytes, 1, length, file) != length) __builtin_trap();
  std::fclose(file);
}

std::string readFile(const std::string& name) {
  std::string bytes;
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (file == nullptr) return bytes;
  char buffer[65536];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
  std::fclose(file);
  return bytes;
}

int lowestFreeDescriptor() {
  const int descriptor = dup(0);
  if (descriptor >= 0) close(descriptor);
  return descriptor;
}

// Document 2, record by record.
void appendRecords() {
  struct Made {
    const char* path;
    int32_t seqNo;
    std::string value;
    bool hasValue;
  };
  const std::string longValue = [] {
    std::string v;
    for (int i = 0; i < 700; ++i) v += "line\r\n\t\x88\x9f";
    return v;
  }();
  const Made made[] = {
      {"<A>", 1, "first A", true},
      {"<A>", 1, "shadowed A", true},  // the same key again: the first record stands
      {"<B>", 1, "tab\there\r\ncrlf\n\rlfcr\rcr\nlf", true},
      {"<b>", 2, "lower path", true},  // never matched by an upper-cased item
      {"<C>", 2, "", false},
      {"<D>", 1, "", true},
      {"<E>", 1, std::string("before\0after", 12), true},
      {"<F>", 1, longValue, true},
      {"<G>", 1, "\x88\x9f\x88\xa0\x88\xa1", true},
      {"<G>", 9999, "Apple tart", true},
      {"<G>", 123456, "far G", true},
      {"<HTML><BODY>", 3, "sec\r\nond", true},
      {"<A><B>", 1, "A", true},
  };
  using namespace mq;
  mq::fuzzRun().cursor = TableCursor{1, 0, 0, 0};
  openTableCursor(mq::fuzzRun(), 1);
  int32_t objectNo = 0;
  for (const Made& m : made) {
    const int32_t pathOffset = mq::fuzzRun().cursor.tagNameUsed;
    const auto pathLength = static_cast<int32_t>(std::strlen(m.path));
    if (appendTagPath(mq::fuzzRun(), m.path, pathLength) != 0) __builtin_trap();
    const int32_t valueOffset = mq::fuzzRun().cursor.contentUsed;
    if (m.hasValue && appendContent(mq::fuzzRun(), m.value.data(), static_cast<int32_t>(m.value.size())) != 0) __builtin_trap();
    if (appendTagRecord(mq::fuzzRun(), ++objectNo, m.seqNo, pathOffset, pathLength, m.hasValue ? valueOffset : -1,
                        m.hasValue ? static_cast<int32_t>(m.value.size()) : 0) != 0) {
      __builtin_trap();
    }
  }
  storeTableCursor(mq::fuzzRun(), 1);
}

// Every byte of both documents' tables that a record reaches, to see that expansion only
// reads them.
std::vector<unsigned char> tableBytes() {
  std::vector<unsigned char> bytes;
  for (int k = 0; k < kDocuments; ++k) {
    const mq::ParseTableSlot& slot = mq::fuzzRun().tables[k];
    long pathEnd = 0;
    long valueEnd = 0;
    for (int32_t r = 0; r < slot.recordCount; ++r) {
      const mq::TagRecord& record = *mq::recordAt(slot, r);
      pathEnd = std::max(pathEnd, static_cast<long>(record.tagNameOffset) + record.tagNameLength + 1);
      if (record.contentOffset >= 0) valueEnd = std::max(valueEnd, static_cast<long>(record.contentOffset) + record.contentLength + 1);
    }
    bytes.insert(bytes.end(), slot.records, slot.records + slot.recordCount * static_cast<long>(sizeof(mq::TagRecord)));
    bytes.insert(bytes.end(), slot.tagNames, slot.tagNames + pathEnd);
    bytes.insert(bytes.end(), slot.contents, slot.contents + valueEnd);
  }
  return bytes;
}

bool isBlank(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }
bool allDigits(const std::string& s, std::size_t from, std::size_t count) {
  for (std::size_t i = from; i < from + count; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
  }
  return true;
}
int32_t valueOf(const std::string& s, std::size_t from, std::size_t count) {
  int32_t v = 0;
  for (std::size_t i = from; i < from + count; ++i) v = v * 10 + (s[i] - '0');
  return v;
}

std::string logLine(int32_t code, const char* text) {
  char line[400];
  std::snprintf(line, sizeof line, "%s%4.4d %.256s\r\n", gStamp, static_cast<int>(code), text);
  return line;
}

struct PlainExpansion {
  std::string output;
  std::string log;
  const char* detail = nullptr;  // the faulty item's detail, nullptr when there is none
  long rows = 0;
  long columns = 0;
};

// What one found value becomes in the output, and the warning it may log.
void writeValue(PlainExpansion& plain, std::string value, int32_t replaceNo, int32_t maxLength) {
  // A cut inside a two-byte character writes a space for its first byte.
  const auto cut = [maxLength](const std::string& s) {
    if (maxLength == 0 || s.size() <= static_cast<std::size_t>(maxLength)) return s;
    const auto limit = static_cast<std::size_t>(maxLength);
    if (mq::fuzzRun().settings.workingCode == mq::TextCode::Utf8) {
      // In UTF-8 the cut moves back over continuation bytes to a character's first byte.
      std::size_t at = limit;
      while (at > 0 && (static_cast<unsigned char>(s[at]) & 0xC0) == 0x80) --at;
      return s.substr(0, at);
    }
    std::size_t i = 0;
    while (i < limit) {
      const auto lead = static_cast<unsigned char>(s[i]);
      const auto trail = static_cast<unsigned char>(i + 1 < s.size() ? s[i + 1] : 0);
      const bool pair = ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) && trail >= 0x40 &&
                        trail != 0x7F && trail <= 0xFC;
      i += pair ? 2 : 1;
    }
    return i == limit ? s.substr(0, limit) : s.substr(0, limit - 1) + " ";
  };
  if (mq::fuzzRun().settings.outputKind == mq::OutputKind::NoCrlf) {
    std::string cleaned;
    for (std::size_t i = 0; i < value.size(); ++i) {
      const char c = value[i];
      if (c == '\t' || c == '\r' || c == '\n') {
        if ((c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ||
            (c == '\n' && i + 1 < value.size() && value[i + 1] == '\r')) {
          ++i;
        }
        cleaned += ' ';
      } else {
        cleaned += c;
      }
    }
    value = cleaned.substr(0, cleaned.find('\0'));  // the cleaned text ends at its first NUL
  }
  if (replaceNo == 0) {
    plain.output += cut(value);
    return;
  }
  for (const PlainReplacement& r : kReplacements) {
    if (r.number != replaceNo) continue;
    plain.output += value.compare(0, r.before.size(), r.before) == 0 && value.size() >= r.before.size() ? cut(r.after)
                                                                                                       : cut(value);
    return;
  }
  plain.output += '?';
  if (mq::fuzzRun().settings.warnLog) {
    const std::string shown = value.substr(0, value.find('\0')).substr(0, 256);
    char text[mq::kMessageTextSize];
    std::snprintf(text, sizeof text, mq::kFmtNotInReplace, static_cast<int>(replaceNo), shown.c_str());
    plain.log += logLine(mq::kCodeNotInReplace, text);
  }
}

// The item code (blanks dropped) looked up and written; false when the item is faulty.
bool expandItem(PlainExpansion& plain, const std::string& code) {
  using namespace mq;
  const std::size_t n = code.size();
  if (n < 1 || code[0] < '0' || code[0] > '9') {
    plain.detail = kDetailFileNo;
  } else if (n < 12) {
    plain.detail = kDetailTagName;
  }
  // The number runs from the path's last ">" when four or more bytes follow it there.
  std::size_t seqAt = n - 10;
  if (plain.detail == nullptr) {
    const std::size_t bracket = code.rfind('>', n - 7);
    if (bracket != std::string::npos && bracket >= 1 && n - 6 - (bracket + 1) >= 4) seqAt = bracket + 1;
  }
  const std::size_t seqLength = n - 6 - seqAt;
  // The number's value, 0 when it is past what a record can carry.
  long long seqValue = 0;
  if (plain.detail == nullptr && allDigits(code, seqAt, seqLength)) {
    const std::string digits = code.substr(seqAt, seqLength);
    const std::string significant = digits.substr(std::min(digits.find_first_not_of('0'), digits.size()));
    seqValue = significant.empty() ? 0 : significant.size() > 10 ? 0 : std::stoll(significant);
    if (seqValue > INT32_MAX) seqValue = 0;
  }
  if (plain.detail != nullptr) {
  } else if (seqValue < 1) {
    plain.detail = kDetailSeqNo;
  } else if (!allDigits(code, n - 6, 3)) {
    plain.detail = kDetailReplaceNo;
  } else if (!mq::fuzzRun().settings.useReplacement && valueOf(code, n - 6, 3) != 0) {
    plain.detail = kDetailReplaceNoWithoutFile;
  } else if (!allDigits(code, n - 3, 3)) {
    plain.detail = kDetailMaxLength;
  }
  if (plain.detail != nullptr) return false;
  const int fileNo = code[0] - '0';
  if (fileNo == 0 || fileNo > mq::fuzzRun().settings.inputCount) return true;
  std::string path = code.substr(1, seqAt - 1);
  for (char& c : path) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  const auto seqNo = static_cast<int32_t>(seqValue);
  const ParseTableSlot& slot = mq::fuzzRun().tables[fileNo - 1];
  bool sameShape = false;
  for (int32_t r = 0; r < slot.recordCount; ++r) {
    const TagRecord& record = *recordAt(slot, r);
    if (record.seqNo != seqNo || record.tagNameLength != static_cast<int32_t>(path.size())) continue;
    if (path.compare(0, path.size(), tagPathOf(slot, record), path.size()) != 0) {
      sameShape = true;
      continue;
    }
    std::string value;
    if (record.contentOffset >= 0 && record.contentLength > 0) {
      value.assign(contentOf(slot, record), static_cast<std::size_t>(record.contentLength));
    }
    writeValue(plain, value, valueOf(code, n - 6, 3), valueOf(code, n - 3, 3));
    return true;
  }
  if (mq::fuzzRun().settings.warnLog) {
    char text[kMessageTextSize];
    const std::string shown = path.substr(0, 256);
    std::snprintf(text, sizeof text, kFmtNotInInput, sameShape ? kDetailTagNameMismatch : kDetailSeqNoMismatch,
                  shown.c_str(), static_cast<long>(seqNo));
    plain.log += logLine(kCodeNotInInput, text);
  }
  return true;
}

// Row and column of a position: TAB four columns, CR, LF, CR LF and LF CR one line end.
void rowAndColumn(const std::string& text, std::size_t position, long* rows, long* columns) {
  *rows = 1;
  *columns = 1;
  for (std::size_t i = 0; i < position; ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      ++*rows;
      *columns = 1;
      if (i + 1 < position && text[i + 1] == (c == '\r' ? '\n' : '\r')) ++i;
    } else {
      *columns += c == '\t' ? 4 : 1;
    }
  }
}

PlainExpansion expandPlainly(const std::string& text, const Markers& markers) {
  PlainExpansion plain;
  const std::string searchable = text.substr(0, text.find('\0'));  // markers are not seen past a NUL
  const std::string start = markers.start;
  const std::string end = markers.end;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t begin = at < searchable.size() ? searchable.find(start, at) : std::string::npos;
    if (begin == std::string::npos) {
      plain.output += text.substr(at);
      break;
    }
    plain.output += text.substr(at, begin - at);
    const std::size_t item = begin + start.size();
    const std::size_t close = searchable.find(end, item);
    // An item must end at its END before the template ends and before another START.
    const std::size_t nested = searchable.find(start, item);
    if (close == std::string::npos || nested < close) {
      plain.detail = mq::kDetailItemNotClosed;
      rowAndColumn(text, begin, &plain.rows, &plain.columns);
      return plain;
    }
    const std::string raw = text.substr(item, close == std::string::npos ? std::string::npos : close - item);
    std::string code;
    for (char c : raw) {
      if (!isBlank(c)) code += c;
    }
    if (!expandItem(plain, code)) {
      rowAndColumn(text, begin, &plain.rows, &plain.columns);
      return plain;
    }
    at = close == std::string::npos ? text.size() : close + end.size();
  }
  return plain;
}

bool allReleased() {
  const mq::OutputAreas& a = mq::fuzzRun().output;
  if (a.outputBuffer != nullptr || a.replaceEntries != nullptr || a.replaceTexts != nullptr || a.work != nullptr ||
      a.definition != nullptr) {
    return false;
  }
  for (const mq::RecordIndex& index : a.indexes) {
    for (const mq::IndexTables& tables : index.tiers) {
      if (tables.slots != nullptr || tables.pairs != nullptr) return false;
    }
  }
  return true;
}

bool startsWith(const std::string& whole, const std::string& part) { return whole.compare(0, part.size(), part) == 0; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  using namespace mq;
  gScratch = "/tmp/mq-fuzz-expansion-" + std::to_string(getpid());
  gTemplateFile = gScratch + ".template";
  gReplacementName = gScratch + ".replace";
  gOutputName = gScratch + ".out";
  gLogName = gScratch + ".log";
  const std::string pageName = gScratch + ".html";
  writeFile(pageName, kPage, sizeof kPage - 1);
  writeFile(gReplacementName, kReplacementFile, sizeof kReplacementFile - 1);

  mq::fuzzRun().settings = Settings{};
  mq::fuzzRun().settings.inputKind = InputKind::Html;
  mq::fuzzRun().settings.inputCount = kDocuments;
  std::snprintf(mq::fuzzRun().settings.inputFiles[0], kInputNameSize, "%s", pageName.c_str());
  if (allocateParseTables(mq::fuzzRun(), mq::fuzzRun().settings.inputCount) != 0) __builtin_trap();
  mq::fuzzRun().settings.inputCount = 1;  // the page fills slot 1 only
  if (loadInputs(mq::fuzzRun(), InputSet{InputKind::Html, 1, mq::fuzzRun().settings.inputFiles}) != 0) __builtin_trap();
  appendRecords();
  std::remove(pageName.c_str());
  gTablesCopy = tableBytes();

  setClockReader(fixedClock);
  char date[11] = {};
  char time[9] = {};
  if (formatDateTime(kDateSlashed, date) != 0 || formatDateTime(kTimeColoned, time) != 0) __builtin_trap();
  std::snprintf(gStamp, sizeof gStamp, "%s %s ", date, time);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace mq;
  if (size < 2) return 0;
  const uint8_t options = data[1];
  const Markers& markers = kMarkers[(options >> 3) & 3];
  // Settings as the settings file would leave them; the tables stay loaded.
  const Settings kept = mq::fuzzRun().settings;
  mq::fuzzRun().settings.inputCount = kDocuments;
  mq::fuzzRun().settings.outputKind = (options & 1) != 0 ? OutputKind::NoCrlf : OutputKind::Normal;
  mq::fuzzRun().settings.useReplacement = (options & 2) != 0;
  // 0x20: UTF-8 as the working code. Its messages are held against their texts by the unit
  // tests; here the output is, so warnings stay off.
  mq::fuzzRun().settings.workingCode = (options & 0x20) != 0 ? TextCode::Utf8 : TextCode::Sjis;
  mq::fuzzRun().settings.warnLog = (options & 4) != 0 && mq::fuzzRun().settings.workingCode == TextCode::Sjis;
  std::snprintf(mq::fuzzRun().settings.startMarker, kMarkerSize, "%s", markers.start);
  std::snprintf(mq::fuzzRun().settings.endMarker, kMarkerSize, "%s", markers.end);
  std::snprintf(mq::fuzzRun().settings.outputDefinitionFile, kFileNameSize, "%s", gTemplateFile.c_str());
  std::snprintf(mq::fuzzRun().settings.replacementDefinitionFile, kFileNameSize, "%s", gReplacementName.c_str());
  std::snprintf(mq::fuzzRun().settings.outputFile, kFileNameSize, "%s", gOutputName.c_str());
  std::snprintf(mq::fuzzRun().settings.logFileName, kFileNameSize, "%s", gLogName.c_str());

  // Taken now, not once at the start: the fuzzer's own files come and go between runs.
  const int freeDescriptor = lowestFreeDescriptor();
  const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
  writeFile(gTemplateFile, text.data(), text.size());
  std::remove(gOutputName.c_str());
  std::remove(gLogName.c_str());
  // A UTF-8 template's byte-order mark is no part of its text.
  const bool marked = mq::fuzzRun().settings.workingCode == TextCode::Utf8 && text.compare(0, 3, "\xEF\xBB\xBF") == 0;
  const PlainExpansion plain = expandPlainly(marked ? text.substr(3) : text, markers);
  setMessage(mq::fuzzRun(), kCodeNoError, "%s", "");

  fuzz::chooseAllocationFailure(data[0]);
  const long failAt = data[0] < 16 ? 0 : data[0] % 16 + 1;
  const int result = runOutputPhase(mq::fuzzRun());
  const bool refused = failAt > 0 && allocationCount() >= failAt;
  resetAllocationSeam();

  const std::string output = readFile(gOutputName);
  const std::string log = readFile(gLogName);
  char faultText[kMessageTextSize] = {};
  if (plain.detail != nullptr) {
    std::snprintf(faultText, sizeof faultText, kFmtOutputDefStructure, plain.detail, plain.rows, plain.columns);
  }
  const bool faultReported =
      plain.detail != nullptr && mq::fuzzRun().messageCode == kCodeOutputDefStructure && std::strcmp(mq::fuzzRun().messageText, faultText) == 0;
  if (result == 0) {
    // A whole expansion: exactly the plain output and warnings, and no refused allocation.
    if (refused || plain.detail != nullptr || output != plain.output || log != plain.log) __builtin_trap();
  } else {
    // Cut short: only a start of the plain output and warnings, for a reason that holds.
    if (!startsWith(plain.output, output) || !startsWith(plain.log, log)) __builtin_trap();
    const int32_t code = mq::fuzzRun().messageCode;
    const bool memory = code == kCodeTakeFailed || code == kCodeGrowFailed || code == kCodeReadFailed;
    if (refused ? !memory : !faultReported || log != plain.log) __builtin_trap();
  }
  if (!allReleased()) __builtin_trap();
  if (lowestFreeDescriptor() != freeDescriptor) __builtin_trap();  // output and log files closed
  if (tableBytes() != gTablesCopy) __builtin_trap();
  mq::fuzzRun().settings = kept;
  return 0;
}
