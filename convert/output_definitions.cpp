#include "convert/output_definitions.h"
#include "convert/output_run.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "common/message_log.h"
#include "common/settings.h"
#include "common/file_reading.h"
#include "common/text_helpers.h"
#include "common/texts.h"
#include "common/work_areas.h"
#include "convert/output_areas.h"
#include "convert/output_writer.h"
#include "convert/record_index.h"
#include "markup/document_code.h"

namespace mq {

namespace {

// Whether the bytes are all digits, and their number: -1 past the largest number a record
// can carry.
bool readDigits(const char* text, int length, int32_t* number) {
  int64_t value = 0;
  for (int i = 0; i < length; ++i) {
    const int digit = text[i] - '0';
    if (digit < 0 || digit > 9) return false;
    // Past the largest, the rest are still checked to be digits.
    if (value >= 0) value = value * 10 + digit;
    if (value > INT32_MAX) value = -1;
  }
  *number = static_cast<int32_t>(value);
  return true;
}

// Where the sequence number of an item of n bytes begins: right after the path's last ">"
// (a large page has more than 9999 of a path, and a record's path always ends in ">"), so
// every byte between it and the last six belongs to the number and must be a digit. Fewer
// than four such bytes, or a path without ">", leave the four bytes before the last six,
// as it always was.
int32_t sequenceStart(const char* code, int32_t n) {
  const int32_t fieldsAt = n - 6;
  for (int32_t at = fieldsAt - 1; at >= 1; --at) {
    if (code[at] == '>') return fieldsAt - at - 1 >= 4 ? at + 1 : n - 10;
  }
  return n - 10;
}

}  // namespace

Marker markerOf(const char* text) {
  const auto length = static_cast<int32_t>(std::strlen(text));
  int32_t key = 0;
  while (key < length && (text[key] == '<' || text[key] == '>')) ++key;
  if (key == length) key = 0;
  return Marker{text, length, key};
}

StretchMarkers stretchMarkersOf(const OutputRun& run) {
  return StretchMarkers{markerOf(run.settings.startMarker), markerOf(run.settings.endMarker)};
}

int32_t findMarker(const char* text, int32_t from, int32_t end, const Marker& marker) {
  const int32_t length = marker.length;
  const int32_t key = marker.key;
  if (end - from < length) return -1;
  const char* last = text + end - length + key;  // where the key byte of the last place can be
  for (const char* at = text + from + key; at <= last;) {
    at = static_cast<const char*>(std::memchr(at, marker.text[key], static_cast<std::size_t>(last - at + 1)));
    if (at == nullptr) return -1;
    if (std::memcmp(at - key, marker.text, static_cast<std::size_t>(length)) == 0)
      return static_cast<int32_t>(at - key - text);
    ++at;
  }
  return -1;
}

namespace {

int definitionUnread(OutputRun& run) {
  releaseArea(&run.output.definition);
  setMessage(run, kCodeReadFailed, kFmtReadFailed, run.settings.outputDefinitionFile);
  releaseOutputAreas(run);
  return -1;
}

}  // namespace

int loadOutputDefinition(OutputRun& run) {
  OutputAreas& a = run.output;
  if (run.answers != nullptr && run.answers->takeTemplate(&a.definition, &a.definitionSize, &a.definitionTextLength)) {
    return 0;
  }
  WholeFile file;
  return openOutputDefinition(run, &file) == 0 ? readOutputDefinition(run, &file) : -1;
}

int openOutputDefinition(OutputRun& run, WholeFile* file) {
  *file = WholeFile{};
  if (run.templateText != nullptr) return 0;
  return openWholeFile(file, run.settings.outputDefinitionFile) == 0 ? 0 : definitionUnread(run);
}

int readOutputDefinition(OutputRun& run, WholeFile* file) {
  OutputAreas& a = run.output;
  const std::string* text = run.templateText;
  const int read = text != nullptr ? copyWholeText(&a.definition, &a.definitionSize,
                                                   reinterpret_cast<const unsigned char*>(text->data()), text->size())
                                   : readOpenedFile(file, &a.definition, &a.definitionSize);
  if (read != 0) return definitionUnread(run);
  // A UTF-8 template may begin with a byte-order mark, which is no part of its text.
  SourceCode marked = SourceCode::Utf8;
  const int32_t mark = byteOrderMarkOf(a.definition, a.definitionSize, &marked);
  if (run.settings.workingCode == TextCode::Utf8 && mark > 0 && marked == SourceCode::Utf8) {
    a.definitionSize -= mark;
    std::memmove(a.definition, a.definition + mark, static_cast<std::size_t>(a.definitionSize));
    std::memset(a.definition + a.definitionSize, 0, static_cast<std::size_t>(mark));
  }
  // The markers are searched as texts: no search looks past a NUL byte of the template.
  const void* nul = std::memchr(a.definition, 0, static_cast<std::size_t>(a.definitionSize));
  a.definitionTextLength =
      nul == nullptr ? a.definitionSize : static_cast<int32_t>(static_cast<const unsigned char*>(nul) - a.definition);
  return 0;
}

TemplateStretch nextStretch(const OutputRun& run, int32_t from, const StretchMarkers& markers) {
  const auto* text = reinterpret_cast<const char*>(run.output.definition);
  const int32_t size = run.output.definitionSize;
  const int32_t searchEnd = run.output.definitionTextLength;
  TemplateStretch s{from, 0, false, false, 0, 0, 0, size};
  const int32_t start = from < searchEnd ? findMarker(text, from, searchEnd, markers.start) : -1;
  if (start < 0) {
    s.literalLength = size - from;
    return s;
  }
  s.literalLength = start - from;
  s.hasItem = true;
  s.markerOffset = start;
  s.itemOffset = start + markers.start.length;
  const int32_t end = findMarker(text, s.itemOffset, searchEnd, markers.end);
  if (end < 0) {
    s.itemLength = size - s.itemOffset;
    s.next = size;
    return s;
  }
  s.itemLength = end - s.itemOffset;
  s.next = end + markers.end.length;
  // A START before the END means this item was left open. Only the item's own bytes are
  // searched, so the template is still looked over once.
  const int32_t reach = end + markers.start.length - 1;
  const int32_t nested = findMarker(text, s.itemOffset, reach < searchEnd ? reach : searchEnd, markers.start);
  s.closed = nested < 0 || nested >= end;
  return s;
}

const char* checkOutputItem(OutputRun& run, const char* code, int32_t n, OutputItem* item) {
  if (n < 1 || code[0] < '0' || code[0] > '9') return kDetailFileNo;
  if (n < kShortestItem) return kDetailTagName;
  const int32_t seqAt = sequenceStart(code, n);
  const int seqLength = n - 6 - seqAt;
  const char* seq = code + seqAt;
  const char* replace = code + n - 6;
  const char* maximum = code + n - 3;
  int32_t seqNo = 0;
  int32_t replaceNo = 0;
  int32_t maxLength = 0;
  if (!readDigits(seq, seqLength, &seqNo) || seqNo < 1) return kDetailSeqNo;
  if (!readDigits(replace, 3, &replaceNo)) return kDetailReplaceNo;
  if (!run.settings.useReplacement && replaceNo != 0) return kDetailReplaceNoWithoutFile;
  if (!readDigits(maximum, 3, &maxLength)) return kDetailMaxLength;
  *item = OutputItem{code[0] - '0', 1, seqAt - 1, seqNo, replaceNo, maxLength};
  return nullptr;
}

int reportItemFault(OutputRun& run, const char* detail, int32_t markerOffset) {
  long rows = 0;
  long columns = 0;
  countRowsCols(&rows, &columns, reinterpret_cast<const char*>(run.output.definition), markerOffset);
  setStructureMessage(run, kCodeOutputDefStructure, kFmtOutputDefStructure, detail, rows, columns);
  return -1;
}

int parseOutputItem(OutputRun& run, int32_t length, int32_t markerOffset) {
  char* code = workText(run);
  OutputItem item{};
  const char* detail = checkOutputItem(run, code, length, &item);
  if (detail != nullptr) return reportItemFault(run, detail, markerOffset);
  upperCaseItemPath(run, item, code + item.tagNameOffset);
  return emitItem(run, item);
}

void upperCaseItemPath(OutputRun& run, const OutputItem& item, char* path) {
  // The path is upper-cased as the names of the document it names were.
  if (item.fileNo >= 1 && item.fileNo <= run.settings.inputCount &&
      nameRuleOf(run, item.fileNo - 1) == NameRule::CharacterWise) {
    toUpperShiftJis(path, item.tagNameLength);
  } else {
    toUpperAscii(path, path, item.tagNameLength);
  }
}

}  // namespace mq
