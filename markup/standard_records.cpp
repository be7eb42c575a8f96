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

struct StandardState {
  bool html = false;
  int32_t objectCounter = 0;  // objectNo of the latest record
  int32_t openCount = 0;      // open elements of the records
  int32_t textLength = 0;     // UTF-8 bytes in the text buffer
  int32_t depth = 0;          // open elements of the parser
  Cp932Encoder* encoder = nullptr;
  unsigned char* entries = nullptr;  // a ParserEntry per element open in the parser
  int32_t entriesSize = 0;
};

StandardState gState;

constexpr int32_t kEntriesStep = 4096;

ParserEntry* parserEntries() { return reinterpret_cast<ParserEntry*>(gState.entries); }

// The parser's UTF-8 in the working code: as CP932 through the encoder, or as it stands when
// the records are UTF-8 (no encoder).
int32_t writeWorking(const unsigned char* text, int32_t length, unsigned char* target) {
  if (gState.encoder != nullptr) return encodeCp932(gState.encoder, text, length, target);
  if (length > 0) std::memcpy(target, text, static_cast<std::size_t>(length));
  return length;
}

int32_t utf8Length(const unsigned char* text) { return static_cast<int32_t>(std::strlen(reinterpret_cast<const char*>(text))); }

// Puts "<NAME>" (brackets 1) or "<<NAME>>" (brackets 2) into the name buffer, upper-cased and
// written as CP932; returns its length, or -1 when the buffer cannot grow. Letters are
// upper-cased while the name is UTF-8, where no byte of a two-byte character is a letter.
int32_t bracketName(const unsigned char* name, int brackets) {
  const int32_t length = utf8Length(name);
  const int32_t upperAt = length + 2 * brackets + 8;
  if (ensureFieldRoom(gParserScratch, kNameBufferArea, static_cast<long>(upperAt) + length + 16) != 0) return -1;
  unsigned char* buffer = gParserScratch.nameBuffer;
  toUpperAscii(reinterpret_cast<char*>(buffer + upperAt), reinterpret_cast<const char*>(name), length);
  int32_t used = 0;
  for (int i = 0; i < brackets; ++i) buffer[used++] = '<';
  used += writeWorking(buffer + upperAt, length, buffer + used);
  for (int i = 0; i < brackets; ++i) buffer[used++] = '>';
  std::memset(buffer + used, 0, static_cast<std::size_t>(upperAt + length - used));
  return used;
}

// Registers the name in the name buffer (already upper-cased) as a record and opens it, as the
// classic scanner does.
int registerName(int32_t nameLength) {
  ++gState.objectCounter;
  return openElement(nameLength, gState.objectCounter, &gState.openCount);
}

// An attribute: a record that encloses nothing, with its value as content when it has one.
int registerAttribute(const unsigned char* name, const unsigned char* value) {
  const int32_t nameLength = bracketName(name, 2);
  if (nameLength < 0 || registerName(nameLength) != 0) return -1;
  --gState.openCount;
  if (value == nullptr || value[0] == 0) return 0;
  const int32_t length = utf8Length(value);
  ParseTableSlot& slot = cursorSlot();
  if (ensureFieldRoom(slot, kContentsArea, static_cast<long>(length) + gTableCursor.contentUsed + 16) != 0) return -1;
  unsigned char* target = slot.contents + gTableCursor.contentUsed;
  // Values are kept as written, blanks included, as quoted values are.
  const int32_t written = writeWorking(value, length, target);
  target[written] = 0;
  if (written > 0) attachContent(gState.objectCounter - 1, gTableCursor.contentUsed, written);
  gTableCursor.contentUsed += written + 1;
  return 0;
}

int attachText(int32_t offset, int32_t length) {
  return attachToInnermost(gState.openCount, &gState.objectCounter, offset, length);
}

// The text run ends: written as CP932, trimmed of blanks, attached to the innermost element.
int flushText() {
  StandardState& v = gState;
  if (v.textLength == 0) return 0;
  // A text outside every element has no record to belong to; it is dropped.
  if (v.openCount > 0) {
    ParseTableSlot& slot = cursorSlot();
    if (ensureFieldRoom(slot, kContentsArea, static_cast<long>(v.textLength) + gTableCursor.contentUsed + 16) != 0) {
      return -1;
    }
    unsigned char* target = slot.contents + gTableCursor.contentUsed;
    const int32_t written = writeWorking(gParserScratch.textBuffer, v.textLength, target);
    int32_t first = 0;
    while (first < written && isBlank(target[first])) ++first;
    int32_t last = written;
    while (last > first && isBlank(target[last - 1])) --last;
    const int32_t length = last - first;
    if (first > 0) std::memmove(target, target + first, static_cast<std::size_t>(length));
    target[length] = 0;
    if (length > 0 && attachText(gTableCursor.contentUsed, length) != 0) return -1;
    gTableCursor.contentUsed += length + 1;
  }
  std::memset(gParserScratch.textBuffer, 0, static_cast<std::size_t>(v.textLength));
  v.textLength = 0;
  return 0;
}

void closeEmptyElement() { closeEmptyInnermost(&gState.openCount); }

// What every markup does first, as the classic scanner does at every "<".
int atMarkup() {
  if (flushText() != 0) return -1;
  if (gState.html) closeEmptyElement();
  return 0;
}

bool isRootHtml(const unsigned char* name) {
  if (!gState.html || gState.depth != 1) return false;
  const char expected[] = "html";
  for (int i = 0; i < 4; ++i) {
    const unsigned char byte = name[i];
    if (byte == 0 || (byte | 0x20) != static_cast<unsigned char>(expected[i])) return false;
  }
  return name[4] == 0;
}

}  // namespace

int beginStandardRecords(InputKind kind, Cp932Encoder* encoder) {
  gState = StandardState{};
  gState.html = kind == InputKind::Html;
  gState.encoder = encoder;
  clearParserScratch();
  clearPathIndex();
  gState.entriesSize = kEntriesStep;
  return takeArea(&gState.entries, gState.entriesSize, kAreaStandardParser);
}

void endStandardRecords() {
  releaseArea(&gState.entries);
  gState.entriesSize = 0;
}

int32_t standardDepth() { return gState.depth; }

int standardStartElement(const unsigned char* name, const unsigned char* const* attributes) {
  StandardState& v = gState;
  if (atMarkup() != 0) return -1;
  const long needed = (static_cast<long>(v.depth) + 2) * static_cast<long>(sizeof(ParserEntry));
  if (ensureAreaRoom(&v.entries, &v.entriesSize, needed, kEntriesStep, kAreaStandardParser) != 0) return -1;
  ++v.depth;
  ParserEntry entry{-1, 0, 0};
  if (!isRootHtml(name)) {
    const int32_t nameLength = bracketName(name, 1);
    if (nameLength < 0) return -1;
    entry.level = v.openCount;
    if (registerName(nameLength) != 0) return -1;
    entry.objectNo = v.objectCounter;
    const OpenTagEntry& opened = openTags()[entry.level];
    entry.closesAtMarkup = v.html && isEmptyElementName(gParserScratch.openTagNames + opened.nameOffset,
                                                         opened.nameLength);
  }
  parserEntries()[v.depth - 1] = entry;
  for (int i = 0; attributes != nullptr && attributes[i] != nullptr; i += 2) {
    if (registerAttribute(attributes[i], attributes[i + 1]) != 0) return -1;
  }
  return 0;
}

int standardEndElement(const unsigned char* /*name*/, bool written) {
  StandardState& v = gState;
  if (v.depth == 0) return 0;
  const ParserEntry entry = parserEntries()[--v.depth];
  // Such an element closes at the next markup: an end tag of its own is one, an end the
  // parser implies is none.
  if (entry.closesAtMarkup != 0) return written ? atMarkup() : 0;
  if (atMarkup() != 0) return -1;
  if (entry.level >= 0 && entry.level < v.openCount && openTags()[entry.level].objectNo == entry.objectNo) {
    v.openCount = entry.level;
  }
  return 0;
}

int standardText(const unsigned char* text, int32_t length) {
  StandardState& v = gState;
  if (length <= 0) return 0;
  if (ensureFieldRoom(gParserScratch, kTextBufferArea, static_cast<long>(v.textLength) + length + 16) != 0) return -1;
  std::memcpy(gParserScratch.textBuffer + v.textLength, text, static_cast<std::size_t>(length));
  v.textLength += length;
  return 0;
}

int standardMarkup() { return atMarkup(); }

int finishStandardRecords() { return flushText(); }

}  // namespace mq
