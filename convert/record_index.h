// Finding an item's record: the first record of a document, in table order, with a given
// tag path and sequence number. A walk over the table answers it plainly; the index, built
// once per document on its first lookup, answers the same in constant time.
#pragma once

#include <cstdint>

#include "convert/output_areas.h"
#include "convert/output_definitions.h"

namespace mq {

struct OutputRun;

struct RecordMatch {
  int32_t record;   // -1 when there is none
  bool tagDiffers;  // no match, but a record with the path's length and the number exists
};

// An item as the template was read before the documents: its fields and its upper-cased
// path (null when its file number names no document).
struct KnownItem {
  OutputItem item;
  const char* path;
};

// Answers a fill found while its documents were read, in the template's order: the items
// it read, and the record of each item it looks up. The next is taken when it is for the
// item asked; any other item is read, or searched for in the tables, as usual.
class ItemAnswers {
 public:
  virtual bool answerNext(int slot, const char* path, int32_t length, int32_t seqNo, RecordMatch* match) = 0;
  // The item whose START marker is at the offset, when it is the next item read before.
  virtual const KnownItem* itemAt(int32_t markerOffset) = 0;
  // The stretch of the template from `from` to the end of the next item read before, when
  // it begins there: the template is not searched again for its markers.
  virtual bool stretchAt(int32_t from, TemplateStretch* stretch) = 0;
  // The template's area as the items were read from it, handed over once with its size and
  // the length of its text: the output phase writes from the same bytes. False when none.
  virtual bool takeTemplate(unsigned char** definition, int32_t* size, int32_t* textLength) = 0;

 protected:
  ~ItemAnswers() = default;
};

// By the run's answers when they hold the item; else through the index of slot `slot` (its
// table for the number's range built here when it is not yet; its areas belong to the
// output phase); numbers below 1 are answered by the walk.
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
