#include "markup/parse_tables.h"

#include <cstring>

namespace mq {

ParseTableSlot gParseTables[kMaxInputs];
TableCursor gTableCursor;

int allocateParseTables(int32_t slotCount) {
  for (int k = 0; k < slotCount; ++k) gParseTables[k] = ParseTableSlot{};
  for (int k = 0; k < slotCount; ++k) {
    if (takeAreaGroup(gParseTables[k], kSlotAreas) != 0) {
      releaseParseTables();
      return -1;
    }
  }
  return 0;
}

void releaseParseTables() {
  for (ParseTableSlot& slot : gParseTables) releaseAreaGroup(slot, kSlotAreas);
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
  return ensureFieldRoom(slot, kRecordsArea, needed);
}

namespace {

int appendText(const SlotArea& field, int32_t* used, const char* bytes, int32_t length) {
  ParseTableSlot& slot = gParseTables[gTableCursor.slot];
  if (ensureFieldRoom(slot, field, static_cast<long>(length) + *used + 16) != 0) return -1;
  unsigned char* area = slot.*field.area;
  if (length > 0) std::memcpy(area + *used, bytes, static_cast<std::size_t>(length));
  area[*used + length] = 0;
  *used += length + 1;
  return 0;
}

}  // namespace

int appendTagPath(const char* bytes, int32_t length) {
  return appendText(kTagNamesArea, &gTableCursor.tagNameUsed, bytes, length);
}

int appendContent(const char* bytes, int32_t length) {
  return appendText(kContentsArea, &gTableCursor.contentUsed, bytes, length);
}

void attachContent(int32_t recordIndex, int32_t offset, int32_t length) {
  TagRecord* record = recordAt(gParseTables[gTableCursor.slot], recordIndex);
  record->contentOffset = offset;
  record->contentLength = length;
}

}  // namespace mq
