#include "convert/replacement_definitions.h"
#include "convert/output_run.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/byte_source.h"
#include "common/message_log.h"
#include "common/platform.h"
#include "common/settings.h"
#include "common/text_helpers.h"
#include "common/texts.h"
#include "common/work_areas.h"

namespace mq {

namespace {

constexpr int kLongestNumberText = 19;  // what a 20-byte buffer holds with its NUL

// Reads one line, its LF included, into the cleared work area, growing it for long lines.
// Returns 1 for a line, 0 at the end of the file, -1 (message set) when the area cannot
// grow or the file cannot be read.
int readLine(OutputRun& run, ByteSource& file) {
  OutputAreas& a = run.output;
  clearWorkArea(run);
  int byte = 0;
  while ((byte = file.next()) != EOF) {
    a.work[a.workUsed++] = static_cast<unsigned char>(byte);
    if (ensureAreaRoom(run, &a.work, &a.workSize, static_cast<long>(a.workUsed) + 16, kWorkAreaSize, kAreaWork) != 0) {
      return -1;
    }
    if (byte == '\n') break;
  }
  if (file.failed()) {
    setMessage(run, kCodeReadFailed, kFmtReadFailed, run.settings.replacementDefinitionFile);
    return -1;
  }
  return a.workUsed > 0 ? 1 : 0;
}

// The line without its end: an LF and a CR just before it. A last line without LF keeps
// every byte.
int32_t contentLength(OutputRun& run) {
  const char* line = workText(run);
  int32_t length = run.output.workUsed;
  if (length > 0 && line[length - 1] == '\n') {
    --length;
    if (length > 0 && line[length - 1] == '\r') --length;
  }
  return length;
}

int structureError(OutputRun& run, const char* detail, long line) {
  setStructureMessage(run, kCodeReplaceDefStructure, kFmtReplaceDefStructure, detail, line, 1L);
  return -1;
}

// The replacement number of field 1, or a detail text through *detail.
int32_t readNumber(const char* field, int32_t length, const char** detail) {
  if (checkNumber(field, length, kDigitsOnly) != 0 || length > kLongestNumberText) {
    *detail = kDetailReplaceNo;
    return 0;
  }
  char digits[kLongestNumberText + 1] = {};
  std::memcpy(digits, field, static_cast<std::size_t>(length));
  const long value = std::strtol(digits, nullptr, 10);
  if (value < 1 || value > kLargestReplaceNo) {
    *detail = kDetailReplaceNoRange;
    return 0;
  }
  return static_cast<int32_t>(value);
}

// Appends a text and its NUL to the text area, which has room (checked per line).
int32_t storeText(OutputRun& run, const char* text, int32_t length) {
  OutputAreas& a = run.output;
  const int32_t offset = a.replaceTextsUsed;
  if (length > 0) std::memcpy(a.replaceTexts + offset, text, static_cast<std::size_t>(length));
  a.replaceTexts[offset + length] = 0;
  a.replaceTextsUsed += length + 1;
  return offset;
}

// Splits and checks the line in the work area and appends its entry. 0, or -1 with the
// message set.
int addEntry(OutputRun& run, int32_t lineNo) {
  OutputAreas& a = run.output;
  const char* line = workText(run);
  const int32_t length = contentLength(run);
  const auto* firstTab = static_cast<const char*>(std::memchr(line, '\t', static_cast<std::size_t>(length)));
  const char* secondTab = nullptr;
  if (firstTab != nullptr) {
    secondTab = static_cast<const char*>(std::memchr(firstTab + 1, '\t', static_cast<std::size_t>(line + length - firstTab - 1)));
  }
  if (secondTab == nullptr) return structureError(run, kDetailTooFewItems, lineNo);
  if (std::memchr(secondTab + 1, '\t', static_cast<std::size_t>(line + length - secondTab - 1)) != nullptr) {
    return structureError(run, kDetailTooManyItems, lineNo);
  }

  const char* detail = nullptr;
  const int32_t number = readNumber(line, static_cast<int32_t>(firstTab - line), &detail);
  if (detail != nullptr) return structureError(run, detail, lineNo);

  const auto textBytes = static_cast<long>(line + length - (firstTab + 1));
  if (ensureAreaRoom(run, &a.replaceTexts, &a.replaceTextsSize, a.replaceTextsUsed + textBytes + 16, kReplaceTextsSize,
                     kAreaReplaceTexts) != 0) {
    return -1;
  }
  // The area may have moved: the line itself is in the work area, which did not.
  const auto beforeLength = static_cast<int32_t>(secondTab - firstTab - 1);
  const auto afterLength = static_cast<int32_t>(line + length - secondTab - 1);
  const int32_t beforeOffset = storeText(run, firstTab + 1, beforeLength);
  const int32_t afterOffset = storeText(run, secondTab + 1, afterLength);
  *replacementAt(run, a.replaceCount) = ReplacementEntry{lineNo, number, beforeOffset, beforeLength, afterOffset, afterLength};
  ++a.replaceCount;
  const long needed = (static_cast<long>(a.replaceCount) + 1) * static_cast<long>(sizeof(ReplacementEntry));
  return ensureAreaRoom(run, &a.replaceEntries, &a.replaceEntriesSize, needed, kReplaceEntriesSize, kAreaReplaceEntries);
}

// The first entry whose number comes again, reported at the line of its next occurrence;
// one pass over the entries, remembering the first two entries of each number.
int checkDuplicates(OutputRun& run) {
  OutputAreas& a = run.output;
  int32_t* first = a.entryOfNumber;  // entry + 1 of the first occurrence, used as scratch
  int32_t second[kLargestReplaceNo + 1] = {};
  std::memset(first, 0, sizeof a.entryOfNumber);
  for (int32_t i = 0; i < a.replaceCount; ++i) {
    const int32_t number = replacementAt(run, i)->number;
    if (first[number] == 0) {
      first[number] = i + 1;
    } else if (second[number] == 0) {
      second[number] = i + 1;
    }
  }
  int32_t earliest = 0;  // entry + 1 of the first entry that has a second
  int32_t repeatLine = 0;
  for (int32_t number = 1; number <= kLargestReplaceNo; ++number) {
    if (second[number] != 0 && (earliest == 0 || first[number] < earliest)) {
      earliest = first[number];
      repeatLine = replacementAt(run, second[number] - 1)->line;
    }
  }
  if (earliest != 0) return structureError(run, kDetailReplaceNoTwice, repeatLine);
  return 0;
}

}  // namespace

int loadReplacementTable(OutputRun& run) {
  OutputAreas& a = run.output;
  a.replaceCount = 0;
  a.replaceTextsUsed = 0;
  std::memset(a.entryOfNumber, 0, sizeof a.entryOfNumber);
  // The library hands the table over as text; the program names its file.
  const std::string* text = run.replacementText;
  std::FILE* opened = text != nullptr ? nullptr : std::fopen(run.settings.replacementDefinitionFile, "rb");
  if (text == nullptr && opened == nullptr) {
    setMessage(run, kCodeReadFailed, kFmtReadFailed, run.settings.replacementDefinitionFile);
    return -1;
  }
  int result = 0;
  ByteSource file = text != nullptr
                        ? ByteSource(reinterpret_cast<const unsigned char*>(text->data()), text->size())
                        : ByteSource(opened);
  if (run.settings.workingCode == TextCode::Utf8) file.skipUtf8Mark();
  for (int32_t lineNo = 1;; ++lineNo) {
    const int got = readLine(run, file);
    if (got <= 0) {
      result = got;
      break;
    }
    result = addEntry(run, lineNo);
    if (result != 0) break;
  }
  if (result == 0) result = checkDuplicates(run);
  if (opened != nullptr) std::fclose(opened);
  clearWorkArea(run);
  if (result != 0) std::memset(a.entryOfNumber, 0, sizeof a.entryOfNumber);
  return result;
}

const ReplacementEntry* findReplacement(OutputRun& run, int32_t number) {
  if (number < 1 || number > kLargestReplaceNo) return nullptr;
  const int32_t entry = run.output.entryOfNumber[number];
  return entry == 0 ? nullptr : replacementAt(run, entry - 1);
}

}  // namespace mq
