#include "markup/parse_run.h"
#include "markup/standard_records.h"

#include <cstring>

#include "common/message_log.h"
#include "common/text_helpers.h"
#include "common/texts.h"
#include "common/work_areas.h"
#include "markup/open_elements.h"
#include "markup/parse_tables.h"
#include "markup/parser_scratch.h"
#include "markup/path_index.h"
#include "markup/scanner_tables.h"

namespace mq {

namespace {

// An element open in the parser: where it stands among the open elements of the records
// (-1: not registered), its record, and whether it closes at the next markup.
struct ParserEntry {
  int32_t level;
  int32_t objectNo;
  int32_t closesAtMarkup;
};


constexpr int32_t kEntriesStep = 4096;

ParserEntry* parserEntries(ParseRun& run) { return reinterpret_cast<ParserEntry*>(run.standard.entries); }

// The parser's UTF-8 in the working code: as CP932 through the encoder, or as it stands when
// the records are UTF-8 (no encoder).
int32_t writeWorking(ParseRun& run, const unsigned char* text, int32_t length, unsigned char* target) {
  if (run.standard.encoder != nullptr) return encodeCp932(run.standard.encoder, text, length, target);
  if (length > 0) std::memcpy(target, text, static_cast<std::size_t>(length));
  return length;
}

int32_t utf8Length(const unsigned char* text) { return static_cast<int32_t>(std::strlen(reinterpret_cast<const char*>(text))); }

// Puts "<NAME>" (brackets 1) or "<<NAME>>" (brackets 2) into the name buffer, upper-cased and
// written as CP932; returns its length, or -1 when the buffer cannot grow. Letters are
// upper-cased while the name is UTF-8, where no byte of a two-byte character is a letter.
int32_t bracketName(ParseRun& run, const unsigned char* name, int brackets) {
  const int32_t length = utf8Length(name);
  const int32_t upperAt = length + 2 * brackets + 8;
  if (ensureFieldRoom(run, run.scratch, kNameBufferArea, static_cast<long>(upperAt) + length + 16) != 0) return -1;
  unsigned char* buffer = run.scratch.nameBuffer;
  toUpperAscii(reinterpret_cast<char*>(buffer + upperAt), reinterpret_cast<const char*>(name), length);
  int32_t used = 0;
  for (int i = 0; i < brackets; ++i) buffer[used++] = '<';
  used += writeWorking(run, buffer + upperAt, length, buffer + used);
  for (int i = 0; i < brackets; ++i) buffer[used++] = '>';
  std::memset(buffer + used, 0, static_cast<std::size_t>(upperAt + length - used));
  return used;
}

// Registers the name in the name buffer (already upper-cased) as a record and opens it, as the
// classic scanner does.
int registerName(ParseRun& run, int32_t nameLength) {
  ++run.standard.objectCounter;
  return openElement(run, nameLength, run.standard.objectCounter, &run.standard.openCount);
}

// An attribute: a record that encloses nothing, with its value as content when it has one.
int registerAttribute(ParseRun& run, const unsigned char* name, const unsigned char* value) {
  const int32_t nameLength = bracketName(run, name, 2);
  if (nameLength < 0 || registerName(run, nameLength) != 0) return -1;
  --run.standard.openCount;
  if (value == nullptr || value[0] == 0) return 0;
  const int32_t length = utf8Length(value);
  ParseTableSlot& slot = cursorSlot(run);
  if (ensureFieldRoom(run, slot, kContentsArea, static_cast<long>(length) + run.cursor.contentUsed + 16) != 0) return -1;
  unsigned char* target = slot.contents + run.cursor.contentUsed;
  // Values are kept as written, blanks included, as quoted values are.
  const int32_t written = writeWorking(run, value, length, target);
  target[written] = 0;
  const int32_t offset = run.cursor.contentUsed;
  run.cursor.contentUsed += written + 1;
  return written > 0 ? setRecordContent(run, run.standard.objectCounter, offset, written) : 0;
}

int attachText(ParseRun& run, int32_t offset, int32_t length) {
  return attachToInnermost(run, run.standard.openCount, &run.standard.objectCounter, offset, length);
}

// The text run ends: written as CP932, trimmed of blanks, attached to the innermost element.
int flushText(ParseRun& run) {
  StandardState& v = run.standard;
  if (v.textLength == 0) return 0;
  // A text outside every element has no record to belong to; it is dropped.
  if (v.openCount > 0) {
    ParseTableSlot& slot = cursorSlot(run);
    if (ensureFieldRoom(run, slot, kContentsArea, static_cast<long>(v.textLength) + run.cursor.contentUsed + 16) != 0) {
      return -1;
    }
    unsigned char* target = slot.contents + run.cursor.contentUsed;
    const int32_t written = writeWorking(run, run.scratch.textBuffer, v.textLength, target);
    int32_t first = 0;
    while (first < written && isBlank(target[first])) ++first;
    int32_t last = written;
    while (last > first && isBlank(target[last - 1])) --last;
    const int32_t length = last - first;
    if (first > 0) std::memmove(target, target + first, static_cast<std::size_t>(length));
    target[length] = 0;
    if (length > 0 && attachText(run, run.cursor.contentUsed, length) != 0) return -1;
    run.cursor.contentUsed += length + 1;
  }
  std::memset(run.scratch.textBuffer, 0, static_cast<std::size_t>(v.textLength));
  v.textLength = 0;
  return 0;
}

void closeEmptyElement(ParseRun& run) { closeEmptyInnermost(run, &run.standard.openCount); }

// What every markup does first, as the classic scanner does at every "<".
int atMarkup(ParseRun& run) {
  if (flushText(run) != 0) return -1;
  if (run.standard.html) closeEmptyElement(run);
  return handOnRecords(run, run.standard.openCount);
}

bool isRootHtml(ParseRun& run, const unsigned char* name) {
  if (!run.standard.html || run.standard.depth != 1) return false;
  const char expected[] = "html";
  for (int i = 0; i < 4; ++i) {
    const unsigned char byte = name[i];
    if (byte == 0 || (byte | 0x20) != static_cast<unsigned char>(expected[i])) return false;
  }
  return name[4] == 0;
}

}  // namespace

int beginStandardRecords(ParseRun& run, InputKind kind, Cp932Encoder* encoder) {
  run.standard = StandardState{};
  run.standard.html = kind == InputKind::Html;
  run.standard.encoder = encoder;
  startRecordFlow(run);
  clearParserScratch(run);
  clearPathIndex(run);
  run.standard.entriesSize = kEntriesStep;
  return takeArea(run, &run.standard.entries, run.standard.entriesSize, kAreaStandardParser);
}

void endStandardRecords(ParseRun& run) {
  releaseArea(&run.standard.entries);
  run.standard.entriesSize = 0;
}

int32_t standardDepth(ParseRun& run) { return run.standard.depth; }

int standardStartElement(ParseRun& run, const unsigned char* name, const unsigned char* const* attributes) {
  StandardState& v = run.standard;
  if (atMarkup(run) != 0) return -1;
  const long needed = (static_cast<long>(v.depth) + 2) * static_cast<long>(sizeof(ParserEntry));
  if (ensureAreaRoom(run, &v.entries, &v.entriesSize, needed, kEntriesStep, kAreaStandardParser) != 0) return -1;
  ++v.depth;
  ParserEntry entry{-1, 0, 0};
  if (!isRootHtml(run, name)) {
    const int32_t nameLength = bracketName(run, name, 1);
    if (nameLength < 0) return -1;
    entry.level = v.openCount;
    if (registerName(run, nameLength) != 0) return -1;
    entry.objectNo = v.objectCounter;
    const OpenTagEntry& opened = openTags(run)[entry.level];
    entry.closesAtMarkup = v.html && isEmptyElementName(run.scratch.openTagNames + opened.nameOffset,
                                                         opened.nameLength);
  }
  parserEntries(run)[v.depth - 1] = entry;
  for (int i = 0; attributes != nullptr && attributes[i] != nullptr; i += 2) {
    if (registerAttribute(run, attributes[i], attributes[i + 1]) != 0) return -1;
  }
  return 0;
}

int standardEndElement(ParseRun& run, const unsigned char* /*name*/, bool written) {
  StandardState& v = run.standard;
  if (v.depth == 0) return 0;
  const ParserEntry entry = parserEntries(run)[--v.depth];
  // Such an element closes at the next markup: an end tag of its own is one, an end the
  // parser implies is none.
  if (entry.closesAtMarkup != 0) return written ? atMarkup(run) : 0;
  if (atMarkup(run) != 0) return -1;
  if (entry.level >= 0 && entry.level < v.openCount && openTags(run)[entry.level].objectNo == entry.objectNo) {
    v.openCount = entry.level;
  }
  return 0;
}

int standardText(ParseRun& run, const unsigned char* text, int32_t length) {
  StandardState& v = run.standard;
  if (length <= 0) return 0;
  if (ensureFieldRoom(run, run.scratch, kTextBufferArea, static_cast<long>(v.textLength) + length + 16) != 0) return -1;
  std::memcpy(run.scratch.textBuffer + v.textLength, text, static_cast<std::size_t>(length));
  v.textLength += length;
  return 0;
}

int standardMarkup(ParseRun& run) { return atMarkup(run); }

int finishStandardRecords(ParseRun& run) { return flushText(run); }

}  // namespace mq
