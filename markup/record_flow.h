// Records handed on while a document is read, so that a run need not keep them all: a sink
// takes every record that is final, in object order, at the points between two markups
// where no text is in flight. A record stays final unless it is an open element without
// content, which a text after its children may still fill; such records stay in the table
// while they are young, and one that has stayed open across a whole hand-on is given on as
// it stands (an early record) and its content, if any comes, told to the sink later.
#pragma once

#include <cstdint>
#include <vector>

#include "markup/parse_tables.h"

namespace mq {

struct ParseRun;

// An early record's key across the documents of a run, for a sink to find it by when its
// content comes.
inline int64_t earlyRecordKey(int slot, int32_t objectNo) { return (static_cast<int64_t>(slot) << 32) | objectNo; }

class RecordSink {
 public:
  virtual ~RecordSink() = default;
  // The next `count` records of document `slot` (records[i] in the slot's areas). The early
  // ones among them are named, ascending, by objectNo. 0, or -1 with the message set.
  virtual int take(ParseRun& run, int slot, const TagRecord* records, int32_t count, const int32_t* early,
                   int32_t earlyCount) = 0;
  // An early record got its content (in the slot's areas). 0, or -1 with the message set.
  virtual int late(ParseRun& run, int slot, const TagRecord& record) = 0;
  // Whether the sink can forget what it took of a run's one document, for the document to be
  // read again; startOver does it. 0, or -1 with the message set.
  virtual bool startsOver() const { return false; }
  virtual int startOver(ParseRun& /*run*/, int /*slot*/) { return -1; }
  // Returns once the sink's own start (a fill's items) is done: work beside the reading that
  // can wait, such as the survey of a document's code, then leaves the processors to the two.
  virtual void awaitStarted() {}
};

struct RecordFlow {
  RecordSink* sink = nullptr;  // none: every record stays in the table
  int32_t recordLimit = 1 << 16;  // hand on when the table holds this many records
  int32_t contentLimit = 8 << 20;  // or this many bytes of contents
  int32_t base = 0;       // records given on from the document; table index = objectNo - 1 - base
  int32_t youngFrom = 1;  // objectNo of the first record made since the last hand-on
  std::vector<TagRecord> given;  // records of open elements given on, as they stand now
  std::vector<unsigned char> kept;  // contents of the records a hand-on keeps, while it moves them
};

// The run's sink while the scope lives, and none after it, however it is left (a lack of
// memory is thrown through it): a later run in the process never meets a sink that is gone.
class SinkScope {
 public:
  SinkScope(RecordFlow& flow, RecordSink* sink) : flow_(flow) { flow_.sink = sink; }
  ~SinkScope() { flow_.sink = nullptr; }
  SinkScope(const SinkScope&) = delete;
  SinkScope& operator=(const SinkScope&) = delete;

 private:
  RecordFlow& flow_;
};

// A new document in the cursor's slot: nothing given on yet.
void startRecordFlow(ParseRun& run);

// The record of objectNo in the table, or nullptr when it was given on; the record of an open
// element given on is found through givenRecordOf.
TagRecord* tableRecord(ParseRun& run, int32_t objectNo);
TagRecord* givenRecordOf(ParseRun& run, int32_t objectNo);

// Sets the content of the record of objectNo, wherever it stands. 0, or the sink's -1.
int setRecordContent(ParseRun& run, int32_t objectNo, int32_t offset, int32_t length);

// At a point between markups with `openCount` elements open: when the table has grown past
// its limits, gives on what is final and keeps the rest at the table's start.
int handOnRecords(ParseRun& run, int32_t openCount);
// The same, asked at every markup: most often the table is within its limits.
inline int handOnRecordsIfFull(ParseRun& run, const RecordFlow& flow, const TableCursor& cursor, int32_t openCount) {
  if (flow.sink == nullptr || (cursor.recordCount < flow.recordLimit && cursor.contentUsed < flow.contentLimit)) {
    return 0;
  }
  return handOnRecords(run, openCount);
}

// The end of a document read whole: every record left is given on. 0, or the sink's -1.
int handOnRest(ParseRun& run);

}  // namespace mq
