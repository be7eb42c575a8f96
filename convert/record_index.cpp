#include "convert/record_index.h"
#include "convert/output_run.h"

#include <cstring>

#include "common/byte_hash.h"
#include "common/settings.h"
#include "common/texts.h"
#include "common/work_areas.h"
#include "convert/output_areas.h"
#include "markup/parse_tables.h"

namespace mq {

namespace {

// Nearly every item asks for a number of four digits or fewer, while in a large document
// most records lie past 9999: those get a table of their own, built only when an item asks
// for one of them. Numbers below 1 are never asked for; the walk answers them.
constexpr int32_t kLargestLowSeqNo = 9999;
int tierOf(int32_t seqNo) { return seqNo < 1 ? -1 : seqNo <= kLargestLowSeqNo ? 0 : 1; }

// A hash of the length and number, and of the path's bytes when `withPath`.
uint64_t hashKey(const char* path, int32_t length, int32_t seqNo, bool withPath) {
  const uint64_t h = mixBits((static_cast<uint64_t>(static_cast<uint32_t>(length)) << 32) ^ static_cast<uint32_t>(seqNo));
  return withPath ? hashBytes(path, length, h) : h;
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

int buildTables(OutputRun& run, int slotNo, int tier) {
  const ParseTableSlot& slot = run.tables[slotNo];
  IndexTables& tables = run.output.indexes[slotNo].tiers[tier];
  long count = 0;
  for (int32_t r = 0; r < slot.recordCount; ++r) {
    if (tierOf(recordAt(slot, r)->seqNo) == tier) ++count;
  }
  // At most half full, so that a key that is absent meets an empty slot soon.
  int32_t size = 16;
  while (size < 2 * count) size *= 2;
  const auto bytes = static_cast<int32_t>(static_cast<std::size_t>(size) * sizeof(int32_t));
  if (takeArea(run, &tables.slots, bytes, kAreaRecords) != 0) return -1;
  if (takeArea(run, &tables.pairs, bytes, kAreaRecords) != 0) {
    releaseArea(&tables.slots);
    return -1;
  }
  tables.slotCount = size;
  tables.pairCount = size;
  // In table order, so that the first record of each key is the one kept.
  for (int32_t r = 0; r < slot.recordCount; ++r) {
    const TagRecord& record = *recordAt(slot, r);
    if (tierOf(record.seqNo) != tier) continue;
    const char* path = tagPathOf(slot, record);
    int32_t* cell = probe(tables.slots, size, slot, path, record.tagNameLength, record.seqNo, true);
    if (*cell == 0) *cell = r + 1;
    cell = probe(tables.pairs, size, slot, path, record.tagNameLength, record.seqNo, false);
    if (*cell == 0) *cell = r + 1;
  }
  return 0;
}

}  // namespace

void setRecordIndexEnabled(OutputRun& run, bool enabled) { run.indexEnabled = enabled; }

NameRule nameRuleOf(OutputRun& run, int slotNo) {
  NameRule& rule = run.output.indexes[slotNo].nameRule;
  if (rule != NameRule::Unknown) return rule;
  // No byte of a UTF-8 character is an ASCII letter: upper-casing byte by byte is exact.
  if (run.settings.workingCode == TextCode::Utf8) return rule = NameRule::ByteWise;
  rule = run.settings.parser == ParserKind::Standard ? NameRule::CharacterWise : NameRule::ByteWise;
  if (run.settings.inputKind == InputKind::Csv) {
    rule = NameRule::ByteWise;
    const ParseTableSlot& slot = run.tables[slotNo];
    for (int32_t r = 0; r < slot.recordCount && rule == NameRule::ByteWise; ++r) {
      const TagRecord& record = *recordAt(slot, r);
      const char* path = tagPathOf(slot, record);
      for (int32_t i = 0; i < record.tagNameLength; ++i) {
        if (path[i] >= 'a' && path[i] <= 'z') {
          rule = NameRule::CharacterWise;
          break;
        }
      }
    }
  }
  return rule;
}

RecordMatch findRecordByWalk(OutputRun& run, int slotNo, const char* path, int32_t length, int32_t seqNo) {
  const ParseTableSlot& slot = run.tables[slotNo];
  RecordMatch match{-1, false};
  for (int32_t r = 0; r < slot.recordCount; ++r) {
    const TagRecord& record = *recordAt(slot, r);
    if (record.tagNameLength != length || record.seqNo != seqNo) continue;
    // Whether a path differed only matters when none matches.
    if (std::memcmp(tagPathOf(slot, record), path, static_cast<std::size_t>(length)) == 0) return RecordMatch{r, false};
    match.tagDiffers = true;
  }
  return match;
}

int findRecord(OutputRun& run, int slotNo, const char* path, int32_t length, int32_t seqNo, RecordMatch* match) {
  if (run.answers != nullptr && run.answers->answerNext(slotNo, path, length, seqNo, match)) return 0;
  ++run.tableSearches;
  const int tier = tierOf(seqNo);
  if (!run.indexEnabled || tier < 0) {
    *match = findRecordByWalk(run, slotNo, path, length, seqNo);
    return 0;
  }
  const ParseTableSlot& slot = run.tables[slotNo];
  IndexTables& tables = run.output.indexes[slotNo].tiers[tier];
  if (tables.slotCount == 0 && buildTables(run, slotNo, tier) != 0) return -1;
  const int32_t cell = *probe(tables.slots, tables.slotCount, slot, path, length, seqNo, true);
  if (cell != 0) {
    *match = RecordMatch{cell - 1, false};
    return 0;
  }
  *match = RecordMatch{-1, *probe(tables.pairs, tables.pairCount, slot, path, length, seqNo, false) != 0};
  return 0;
}

}  // namespace mq
