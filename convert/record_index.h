// Finding an item's record: the first record of a document, in table order, with a given
// tag path and sequence number. A walk over the table answers it plainly; the index, built
// once per document on its first lookup, answers the same in constant time.
#pragma once

#include <cstdint>

#include "convert/output_areas.h"

namespace mq {

struct OutputRun;

struct RecordMatch {
  int32_t record;   // -1 when there is none
  bool tagDiffers;  // no match, but a record with the path's length and the number exists
};

// Through the index of slot `slot` (its table for the number's range built here when it is
// not yet; its areas belong to the output phase); numbers below 1 are answered by the walk.
// -1 with message 1011 when its memory cannot be had.
int findRecord(OutputRun& run, int slot, const char* path, int32_t length, int32_t seqNo, RecordMatch* match);

// The plain walk in table order.
RecordMatch findRecordByWalk(OutputRun& run, int slot, const char* path, int32_t length, int32_t seqNo);

// How the names of the document in the slot were upper-cased: byte by byte by the classic
// scanner, by character by the standard parser; a tag listing shows it (only names made
// by character keep a lower-case byte, as the trail byte of a two-byte character).
NameRule nameRuleOf(OutputRun& run, int slot);

// Tests switch the index off to compare both ways; it is on by default.
void setRecordIndexEnabled(OutputRun& run, bool enabled);

}  // namespace mq
