#include "convert/record_index.h"

#include <cstring>

#include "common/texts.h"
#include "common/work_areas.h"
#include "convert/output_areas.h"
#include "markup/parse_tables.h"

namespace mq {

namespace {

bool gIndexEnabled = true;

// An item's sequence number has four digits, so only records numbered 1 to 9999 can be
// asked for through items; in a large document most records lie past that, and leaving
// them out keeps the index small. Any other number is answered by the walk.
constexpr int32_t kLargestIndexedSeqNo = 9999;
bool indexed(int32_t seqNo) { return seqNo >= 1 && seqNo <= kLargestIndexedSeqNo; }

uint64_t mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  return h;
}

// A hash of the length and number, and of the path's bytes when `withPath`.
uint64_t hashKey(const char* path, int32_t length, int32_t seqNo, bool withPath) {
  uint64_t h = mix((static_cast<uint64_t>(static_cast<uint32_t>(length)) << 32) ^ static_cast<uint32_t>(seqNo));
  if (!withPath) return h;
  int32_t i = 0;
  for (; i + 8 <= length; i += 8) {
    uint64_t word = 0;
    std::memcpy(&word, path + i, 8);
    h = (h ^ word) * 0x9E3779B97F4A7C15ULL;
    h ^= h >> 29;
  }
  uint64_t tail = 0;
  std::memcpy(&tail, path + i, static_cast<std::size_t>(length - i));
  return mix((h ^ tail) * 0x9E3779B97F4A7C15ULL);
}

bool sameKey(const ParseTableSlot& slot, const TagRecord& record, const char* path, int32_t length, int32_t seqNo,
             bool withPath) {
  if (record.tagNameLength != length || record.seqNo != seqNo) return false;
  return !withPath || std::memcmp(tagPathOf(slot, record), path, static_cast<std::size_t>(length)) == 0;
}

// The table slot that holds the key's first record, or the empty slot where it belongs.
int32_t* probe(unsigned char* table, int32_t tableSize, const ParseTableSlot& slot, const char* path, int32_t length,
               int32_t seqNo, bool withPath) {
  auto* cells = reinterpret_cast<int32_t*>(table);
  const auto mask = static_cast<uint64_t>(tableSize - 1);
  for (uint64_t at = hashKey(path, length, seqNo, withPath) & mask;; at = (at + 1) & mask) {
    const int32_t cell = cells[at];
    if (cell == 0 || sameKey(slot, *recordAt(slot, cell - 1), path, length, seqNo, withPath)) return &cells[at];
  }
}

int buildIndex(int slotNo) {
  const ParseTableSlot& slot = gParseTables[slotNo];
  RecordIndex& index = gOutputAreas.indexes[slotNo];
  long count = 0;
  for (int32_t r = 0; r < slot.recordCount; ++r) {
    if (indexed(recordAt(slot, r)->seqNo)) ++count;
  }
  int32_t size = 16;
  while (size < 2 * count) size *= 2;
  const auto bytes = static_cast<int32_t>(static_cast<std::size_t>(size) * sizeof(int32_t));
  if (takeArea(&index.slots, bytes, kAreaRecords) != 0) return -1;
  if (takeArea(&index.pairs, bytes, kAreaRecords) != 0) {
    releaseArea(&index.slots);
    return -1;
  }
  index.slotCount = size;
  index.pairCount = size;
  // In table order, so that the first record of each key is the one kept.
  for (int32_t r = 0; r < slot.recordCount; ++r) {
    const TagRecord& record = *recordAt(slot, r);
    if (!indexed(record.seqNo)) continue;
    const char* path = tagPathOf(slot, record);
    int32_t* cell = probe(index.slots, size, slot, path, record.tagNameLength, record.seqNo, true);
    if (*cell == 0) *cell = r + 1;
    cell = probe(index.pairs, size, slot, path, record.tagNameLength, record.seqNo, false);
    if (*cell == 0) *cell = r + 1;
  }
  return 0;
}

}  // namespace

void setRecordIndexEnabled(bool enabled) { gIndexEnabled = enabled; }

RecordMatch findRecordByWalk(int slotNo, const char* path, int32_t length, int32_t seqNo) {
  const ParseTableSlot& slot = gParseTables[slotNo];
  RecordMatch match{-1, false};
  for (int32_t r = 0; r < slot.recordCount; ++r) {
    const TagRecord& record = *recordAt(slot, r);
    if (record.tagNameLength != length || record.seqNo != seqNo) continue;
    if (std::memcmp(tagPathOf(slot, record), path, static_cast<std::size_t>(length)) == 0) {
      match.record = r;
      return match;
    }
    match.tagDiffers = true;
  }
  return match;
}

int findRecord(int slotNo, const char* path, int32_t length, int32_t seqNo, RecordMatch* match) {
  if (!gIndexEnabled || !indexed(seqNo)) {
    *match = findRecordByWalk(slotNo, path, length, seqNo);
    return 0;
  }
  const ParseTableSlot& slot = gParseTables[slotNo];
  RecordIndex& index = gOutputAreas.indexes[slotNo];
  if (index.slotCount == 0 && buildIndex(slotNo) != 0) return -1;
  const int32_t cell = *probe(index.slots, index.slotCount, slot, path, length, seqNo, true);
  if (cell != 0) {
    *match = RecordMatch{cell - 1, false};
    return 0;
  }
  *match = RecordMatch{-1, *probe(index.pairs, index.pairCount, slot, path, length, seqNo, false) != 0};
  return 0;
}

}  // namespace mq
