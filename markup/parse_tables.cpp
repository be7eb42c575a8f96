#include "markup/parse_tables.h"

#include <cstring>

#include "common/texts.h"
#include "common/work_areas.h"

namespace mq {

ParseTableSlot gParseTables[kMaxInputs];
TableCursor gTableCursor;
ParserScratch gParserScratch;

int allocateParseTables() {
  for (int k = 0; k < gSettings.inputCount; ++k) {
    gParseTables[k] = ParseTableSlot{};
  }
  for (int k = 0; k < gSettings.inputCount; ++k) {
    ParseTableSlot& slot = gParseTables[k];
    slot.recordCapacity = kTableAreaSize;
    slot.tagNameCapacity = kTableAreaSize;
    slot.contentCapacity = kTableAreaSize;
    if (takeArea(&slot.records, slot.recordCapacity, kAreaRecords) != 0 ||
        takeArea(&slot.tagNames, slot.tagNameCapacity, kAreaTagNames) != 0 ||
        takeArea(&slot.contents, slot.contentCapacity, kAreaContents) != 0) {
      releaseParseTables();
      return -1;
    }
  }
  return 0;
}

void releaseParseTables() {
  for (int k = 0; k < gSettings.inputCount && k < kMaxInputs; ++k) {
    releaseArea(&gParseTables[k].records);
    releaseArea(&gParseTables[k].tagNames);
    releaseArea(&gParseTables[k].contents);
  }
}

void openTableCursor(int slot) {
  gTableCursor.slot = slot;
  gTableCursor.recordCount = gParseTables[slot].recordCount;
}

void storeTableCursor(int slot) { gParseTables[slot].recordCount = gTableCursor.recordCount; }

int appendTagRecord(int32_t objectNo, int32_t seqNo, int32_t tagNameOffset, int32_t tagNameLength,
                    int32_t contentOffset, int32_t contentLength) {
  ParseTableSlot& slot = gParseTables[gTableCursor.slot];
  *recordAt(slot, gTableCursor.recordCount) =
      TagRecord{objectNo, seqNo, tagNameOffset, tagNameLength, contentOffset, contentLength};
  ++gTableCursor.recordCount;
  // Keep room for the next record, so that a record is always written into the area.
  const long needed = (static_cast<long>(gTableCursor.recordCount) + 1) * static_cast<long>(sizeof(TagRecord));
  return ensureAreaRoom(&slot.records, &slot.recordCapacity, needed, kTableAreaSize, kAreaRecords);
}

namespace {

int appendText(unsigned char** area, int32_t* capacity, int32_t* used, const char* bytes, int32_t length,
               const char* name) {
  const long needed = static_cast<long>(length) + *used + 16;
  if (ensureAreaRoom(area, capacity, needed, kTableAreaSize, name) != 0) return -1;
  if (length > 0) std::memcpy(*area + *used, bytes, static_cast<std::size_t>(length));
  (*area)[*used + length] = 0;
  *used += length + 1;
  return 0;
}

}  // namespace

int appendTagPath(const char* bytes, int32_t length) {
  ParseTableSlot& slot = gParseTables[gTableCursor.slot];
  return appendText(&slot.tagNames, &slot.tagNameCapacity, &gTableCursor.tagNameUsed, bytes, length, kAreaTagNames);
}

int appendContent(const char* bytes, int32_t length) {
  ParseTableSlot& slot = gParseTables[gTableCursor.slot];
  return appendText(&slot.contents, &slot.contentCapacity, &gTableCursor.contentUsed, bytes, length, kAreaContents);
}

void attachContent(int32_t recordIndex, int32_t offset, int32_t length) {
  TagRecord* record = recordAt(gParseTables[gTableCursor.slot], recordIndex);
  record->contentOffset = offset;
  record->contentLength = length;
}

int allocateParserScratch() {
  ParserScratch& s = gParserScratch;
  s = ParserScratch{};
  s.openTagStackSize = kOpenTagStackSize;
  s.openTagNamesSize = kOpenTagNamesSize;
  s.pathCountsSize = kPathCountsSize;
  s.nameBufferSize = kNameBufferSize;
  s.textBufferSize = kTextBufferSize;
  s.pathIndexSize = kPathIndexSize;
  s.openPathsSize = kOpenPathsSize;
  if (takeArea(&s.openTagStack, s.openTagStackSize, kAreaOpenTagStack) != 0 ||
      takeArea(&s.openTagNames, s.openTagNamesSize, kAreaOpenTagNames) != 0 ||
      takeArea(&s.pathCounts, s.pathCountsSize, kAreaPathCounts) != 0 ||
      takeArea(&s.nameBuffer, s.nameBufferSize, kAreaNameBuffer) != 0 ||
      takeArea(&s.textBuffer, s.textBufferSize, kAreaTextBuffer) != 0 ||
      takeArea(&s.pathIndex, s.pathIndexSize, kAreaPathCounts) != 0 ||
      takeArea(&s.openPaths, s.openPathsSize, kAreaPathCounts) != 0) {
    releaseParserScratch();
    return -1;
  }
  return 0;
}

void releaseParserScratch() {
  ParserScratch& s = gParserScratch;
  releaseArea(&s.inputText);
  releaseArea(&s.openTagStack);
  releaseArea(&s.openTagNames);
  releaseArea(&s.pathCounts);
  releaseArea(&s.nameBuffer);
  releaseArea(&s.textBuffer);
  releaseArea(&s.pathIndex);
  releaseArea(&s.openPaths);
}

}  // namespace mq
