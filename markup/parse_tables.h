// The parse tables: per input file a flat table of tag records with their tag paths and
// contents, filled through the one table cursor and read by the output phase and the
// listing tools.
#pragma once

#include <cstdint>

#include "common/settings.h"
#include "common/texts.h"
#include "common/work_areas.h"

namespace mq {

struct ParseRun;

struct TagRecord {
  int32_t objectNo;
  int32_t seqNo;
  int32_t tagNameOffset;
  int32_t tagNameLength;
  int32_t contentOffset;  // -1: no content
  int32_t contentLength;
};

inline constexpr int32_t kTableAreaSize = 1048576;  // first size and step of every slot area

struct ParseTableSlot {
  unsigned char* records;
  int32_t recordCapacity;
  int32_t recordCount;
  unsigned char* tagNames;
  int32_t tagNameCapacity;
  unsigned char* contents;
  int32_t contentCapacity;
};

// The areas of a slot, in the order they are taken.
using SlotArea = AreaField<ParseTableSlot>;
inline constexpr SlotArea kRecordsArea{&ParseTableSlot::records, &ParseTableSlot::recordCapacity, kAreaRecords,
                                       kTableAreaSize, kTableAreaSize};
inline constexpr SlotArea kTagNamesArea{&ParseTableSlot::tagNames, &ParseTableSlot::tagNameCapacity, kAreaTagNames,
                                        kTableAreaSize, kTableAreaSize};
inline constexpr SlotArea kContentsArea{&ParseTableSlot::contents, &ParseTableSlot::contentCapacity, kAreaContents,
                                        kTableAreaSize, kTableAreaSize};
inline constexpr SlotArea kSlotAreas[] = {kRecordsArea, kTagNamesArea, kContentsArea};

// The slot being filled. The slot keeps the area references and capacities, so that
// growth during a fill never leaves it pointing at a replaced block; the cursor holds
// what the fill counts until it is stored back.
struct TableCursor {
  int slot;
  int32_t recordCount;
  int32_t tagNameUsed;
  int32_t contentUsed;
};

inline TagRecord* recordAt(const ParseTableSlot& slot, int32_t index) {
  return reinterpret_cast<TagRecord*>(slot.records) + index;
}
inline const char* tagPathOf(const ParseTableSlot& slot, const TagRecord& record) {
  return reinterpret_cast<const char*>(slot.tagNames) + record.tagNameOffset;
}
inline const char* contentOf(const ParseTableSlot& slot, const TagRecord& record) {
  return reinterpret_cast<const char*>(slot.contents) + record.contentOffset;
}

// Takes the three 1 MiB areas of each of the first slotCount slots, in slot order; on the
// first failure releases them all and leaves the 1011 message of that take.
int allocateParseTables(ParseRun& run, int32_t slotCount);
// Releases every slot area that exists.
void releaseParseTables(ParseRun& run);

void openTableCursor(ParseRun& run, int slot);
void storeTableCursor(ParseRun& run, int slot);
// The appends write into the cursor's slot and grow its areas by one step (1014 on failure).
int appendTagRecord(ParseRun& run, int32_t objectNo, int32_t seqNo, int32_t tagNameOffset, int32_t tagNameLength,
                    int32_t contentOffset, int32_t contentLength);
int appendTagPath(ParseRun& run, const char* bytes, int32_t length);
int appendContent(ParseRun& run, const char* bytes, int32_t length);

}  // namespace mq
