#include "convert/output_definitions.h"

#include <cstring>

#include "common/message_log.h"
#include "common/settings.h"
#include "common/file_reading.h"
#include "common/text_helpers.h"
#include "common/texts.h"
#include "common/work_areas.h"
#include "convert/output_areas.h"
#include "convert/output_writer.h"

namespace mq {

namespace {

constexpr int32_t kShortestItem = 12;  // file number, one tag byte and the ten digits

bool allDigits(const char* text, int length) { return checkNumber(text, length, kDigitsOnly) == 0; }

// Fixed-width digits as a number; the caller has checked that they are digits.
int32_t digitsValue(const char* text, int length) {
  int32_t value = 0;
  for (int i = 0; i < length; ++i) value = value * 10 + (text[i] - '0');
  return value;
}

// The first occurrence of the marker in [from, end), or -1.
int32_t findMarker(const char* text, int32_t from, int32_t end, const char* marker) {
  const std::size_t markerLength = std::strlen(marker);
  if (end - from < static_cast<int32_t>(markerLength)) return -1;
  const char* last = text + end - markerLength;  // the last place the marker can begin
  for (const char* at = text + from; at <= last;) {
    at = static_cast<const char*>(std::memchr(at, marker[0], static_cast<std::size_t>(last - at + 1)));
    if (at == nullptr) return -1;
    if (std::memcmp(at, marker, markerLength) == 0) return static_cast<int32_t>(at - text);
    ++at;
  }
  return -1;
}

}  // namespace

int loadOutputDefinition() {
  OutputAreas& a = gOutputAreas;
  if (readWholeFile(&a.definition, &a.definitionSize, gSettings.outputDefinitionFile) != 0) {
    releaseArea(&a.definition);
    setMessage(kCodeReadFailed, kFmtReadFailed, gSettings.outputDefinitionFile);
    releaseOutputAreas();
    return -1;
  }
  // The markers are searched as texts: no search looks past a NUL byte of the template.
  const void* nul = std::memchr(a.definition, 0, static_cast<std::size_t>(a.definitionSize));
  a.definitionTextLength =
      nul == nullptr ? a.definitionSize : static_cast<int32_t>(static_cast<const unsigned char*>(nul) - a.definition);
  return 0;
}

TemplateStretch nextStretch(int32_t from) {
  const auto* text = reinterpret_cast<const char*>(gOutputAreas.definition);
  const int32_t size = gOutputAreas.definitionSize;
  const int32_t searchEnd = gOutputAreas.definitionTextLength;
  TemplateStretch s{from, 0, false, 0, 0, 0, size};
  const int32_t start = from < searchEnd ? findMarker(text, from, searchEnd, gSettings.startMarker) : -1;
  if (start < 0) {
    s.literalLength = size - from;
    return s;
  }
  s.literalLength = start - from;
  s.hasItem = true;
  s.markerOffset = start;
  s.itemOffset = start + static_cast<int32_t>(std::strlen(gSettings.startMarker));
  const int32_t end = findMarker(text, s.itemOffset, searchEnd, gSettings.endMarker);
  if (end < 0) {
    s.itemLength = size - s.itemOffset;
    s.next = size;
  } else {
    s.itemLength = end - s.itemOffset;
    s.next = end + static_cast<int32_t>(std::strlen(gSettings.endMarker));
  }
  return s;
}

const char* checkOutputItem(const char* code, int32_t n, OutputItem* item) {
  if (n < 1 || code[0] < '0' || code[0] > '9') return kDetailFileNo;
  if (n < kShortestItem) return kDetailTagName;
  const char* seq = code + n - 10;
  const char* replace = code + n - 6;
  const char* maximum = code + n - 3;
  if (!allDigits(seq, 4) || digitsValue(seq, 4) < 1) return kDetailSeqNo;
  if (!allDigits(replace, 3)) return kDetailReplaceNo;
  const int32_t replaceNo = digitsValue(replace, 3);
  if (!gSettings.useReplacement && replaceNo != 0) return kDetailReplaceNoWithoutFile;
  if (!allDigits(maximum, 3)) return kDetailMaxLength;
  *item = OutputItem{code[0] - '0', 1, n - 11, digitsValue(seq, 4), replaceNo, digitsValue(maximum, 3)};
  return nullptr;
}

int parseOutputItem(int32_t length, int32_t markerOffset) {
  char* code = workText();
  OutputItem item{};
  const char* detail = checkOutputItem(code, length, &item);
  if (detail != nullptr) {
    long rows = 0;
    long columns = 0;
    countRowsCols(&rows, &columns, reinterpret_cast<const char*>(gOutputAreas.definition), markerOffset);
    setMessage(kCodeOutputDefStructure, kFmtOutputDefStructure, detail, rows, columns);
    return -1;
  }
  toUpperAscii(code + item.tagNameOffset, code + item.tagNameOffset, item.tagNameLength);
  return emitItem(item);
}

}  // namespace mq
