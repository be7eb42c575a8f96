#include "markup/parse_run.h"
#include "markup/parse_tables.h"

#include <cstring>

namespace mq {

int allocateParseTables(ParseRun& run, int32_t slotCount) {
  for (int k = 0; k < slotCount; ++k) run.tables[k] = ParseTableSlot{};
  for (int k = 0; k < slotCount; ++k) {
    if (takeAreaGroup(run, run.tables[k], kSlotAreas) != 0) {
      releaseParseTables(run);
      return -1;
    }
  }
  return 0;
}

void releaseParseTables(ParseRun& run) {
  for (ParseTableSlot& slot : run.tables) releaseAreaGroup(slot, kSlotAreas);
}

void openTableCursor(ParseRun& run, int slot) {
  run.cursor.slot = slot;
  run.cursor.recordCount = run.tables[slot].recordCount;
}

void storeTableCursor(ParseRun& run, int slot) { run.tables[slot].recordCount = run.cursor.recordCount; }

int appendTagRecord(ParseRun& run, int32_t objectNo, int32_t seqNo, int32_t tagNameOffset, int32_t tagNameLength,
                    int32_t contentOffset, int32_t contentLength) {
  ParseTableSlot& slot = run.tables[run.cursor.slot];
  *recordAt(slot, run.cursor.recordCount) =
      TagRecord{objectNo, seqNo, tagNameOffset, tagNameLength, contentOffset, contentLength};
  ++run.cursor.recordCount;
  // Keep room for the next record, so that a record is always written into the area.
  const long needed = (static_cast<long>(run.cursor.recordCount) + 1) * static_cast<long>(sizeof(TagRecord));
  return ensureFieldRoom(run, slot, kRecordsArea, needed);
}

namespace {

int appendText(ParseRun& run, const SlotArea& field, int32_t* used, const char* bytes, int32_t length) {
  ParseTableSlot& slot = run.tables[run.cursor.slot];
  if (ensureFieldRoom(run, slot, field, static_cast<long>(length) + *used + 16) != 0) return -1;
  unsigned char* area = slot.*field.area;
  if (length > 0) std::memcpy(area + *used, bytes, static_cast<std::size_t>(length));
  area[*used + length] = 0;
  *used += length + 1;
  return 0;
}

}  // namespace

int appendTagPath(ParseRun& run, const char* bytes, int32_t length) {
  return appendText(run, kTagNamesArea, &run.cursor.tagNameUsed, bytes, length);
}

int appendContent(ParseRun& run, const char* bytes, int32_t length) {
  return appendText(run, kContentsArea, &run.cursor.contentUsed, bytes, length);
}

}  // namespace mq
