#include "markup/parse_run.h"
#include "markup/listing_reader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/byte_source.h"
#include "common/message_log.h"
#include "common/platform.h"
#include "common/text_helpers.h"
#include "common/texts.h"
#include "common/work_areas.h"
#include "markup/parse_tables.h"
#include "markup/parser_scratch.h"

namespace mq {

namespace {

constexpr int kSeparatorCount = 4;     // five fields
constexpr int kNumberBufferSize = 20;  // 19 digits and the NUL
constexpr long long kLargestNo = 2147483647;

enum LineResult { kLineFailed = -1, kEndOfFile = 0, kLineRead = 1 };

struct Line {
  int32_t length = 0;         // the bytes read, line end included
  int32_t contentLength = 0;  // the bytes before the line end
};

// Reads the next line whole into the name buffer, growing the buffer in its own step so
// that no line is ever cut. The line ends at its LF, and a CR just before that LF belongs
// to the line end; a last line without LF keeps all of its bytes. Bytes are taken one by
// one so that a NUL inside a line is kept like any other byte.
LineResult readLine(ParseRun& run, ByteSource& file, const char* fileName, Line* line) {
  ParserScratch& scratch = run.scratch;
  // The buffer is all NUL beyond the line it holds.
  std::memset(scratch.nameBuffer, 0, static_cast<std::size_t>(line->length));
  line->length = 0;
  long length = 0;
  bool ended = false;
  int byte;
  while ((byte = file.next()) != EOF) {
    // Room for this byte and the NUL after the line.
    if (ensureFieldRoom(run, scratch, kNameBufferArea, length + 1) != 0) return kLineFailed;
    scratch.nameBuffer[length++] = static_cast<unsigned char>(byte);
    if (byte == '\n') {
      ended = true;
      break;
    }
  }
  if (!ended && file.failed()) {
    // A read that broke off is no end of the listing.
    setMessage(run, kCodeReadFailed, kFmtReadFailed, fileName);
    return kLineFailed;
  }
  if (length == 0) return kEndOfFile;
  long content = length;
  if (ended) {
    --content;
    if (content > 0 && scratch.nameBuffer[content - 1] == '\r') --content;
  }
  line->length = static_cast<int32_t>(length);
  line->contentLength = static_cast<int32_t>(content);
  return kLineRead;
}

// The value of a number field: digits only, at most 19 of them (what the number buffer
// holds), and no more than `largest`; an empty field is 0. -1 when the field is refused.
long long fieldNumber(const char* field, int32_t length, long long largest) {
  if (length >= kNumberBufferSize || checkNumber(field, length, kDigitsOnly) != 0) return -1;
  char digits[kNumberBufferSize] = {};
  std::memcpy(digits, field, static_cast<std::size_t>(length));
  const long long value = std::strtoll(digits, nullptr, 10);  // 19 nines clamp, and are refused below
  return value <= largest ? value : -1;
}

int structureError(ParseRun& run, const char* detail, long row, long column) {
  setStructureMessage(run, kCodeInputStructure, kFmtInputStructure, detail, row, column);
  return -1;
}

// Checks one line and appends its record to the slot it names.
int takeLine(ParseRun& run, const char* line, int32_t length, long row, int32_t slotCount) {
  int32_t tab[kSeparatorCount];
  int32_t from = 0;
  for (int i = 0; i < kSeparatorCount; ++i) {
    const void* found = std::memchr(line + from, '\t', static_cast<std::size_t>(length - from));
    if (found == nullptr) return structureError(run, kDetailTooFewItems, row, 1);
    tab[i] = static_cast<int32_t>(static_cast<const char*>(found) - line);
    from = tab[i] + 1;
  }
  if (std::memchr(line + from, '\t', static_cast<std::size_t>(length - from)) != nullptr) {
    return structureError(run, kDetailTooManyItems, row, 1);
  }

  const long long fileNo = fieldNumber(line, tab[0], slotCount);
  if (fileNo < 1) return structureError(run, kDetailFileNo, row, 1);
  // Columns count bytes from 1: a field starts one byte after its TAB.
  const long long objectNo = fieldNumber(line + tab[0] + 1, tab[1] - tab[0] - 1, kLargestNo);
  if (objectNo < 0) return structureError(run, kDetailObjectNo, row, tab[0] + 2);
  const long long seqNo = fieldNumber(line + tab[1] + 1, tab[2] - tab[1] - 1, kLargestNo);
  if (seqNo < 0) return structureError(run, kDetailSeqNo, row, tab[1] + 2);

  const int slot = static_cast<int>(fileNo - 1);
  openTableCursor(run, slot);
  const int32_t tagNameOffset = run.cursor.tagNameUsed;
  const int32_t tagNameLength = tab[3] - tab[2] - 1;
  if (appendTagPath(run, line + tab[2] + 1, tagNameLength) != 0) return -1;
  const int32_t contentOffset = run.cursor.contentUsed;
  const int32_t contentLength = length - tab[3] - 1;
  if (appendContent(run, line + tab[3] + 1, contentLength) != 0) return -1;
  // A failed growth after the record was written leaves the count unstored: the slot
  // keeps only the lines that were taken whole.
  if (appendTagRecord(run, static_cast<int32_t>(objectNo), static_cast<int32_t>(seqNo), tagNameOffset, tagNameLength,
                      contentOffset, contentLength) != 0) {
    return -1;
  }
  storeTableCursor(run, slot);
  return 0;
}

}  // namespace

int readTagListingFrom(ParseRun& run, ByteSource& file, const char* fileName, int32_t slotCount) {
  long row = 1;
  Line line;
  for (;;) {
    const LineResult read = readLine(run, file, fileName, &line);
    if (read == kEndOfFile) return 0;
    if (read == kLineFailed ||
        takeLine(run, reinterpret_cast<const char*>(run.scratch.nameBuffer), line.contentLength, row, slotCount) != 0) {
      return -1;
    }
    ++row;
  }
}

int readTagListing(ParseRun& run, const char* fileName, int32_t slotCount) {
  std::FILE* file = std::fopen(fileName, "rb");
  if (file == nullptr) {
    setMessage(run, kCodeReadFailed, kFmtReadFailed, fileName);
    return -1;
  }
  ByteSource source(file);
  const int result = readTagListingFrom(run, source, fileName, slotCount);
  std::fclose(file);
  return result;
}

}  // namespace mq
