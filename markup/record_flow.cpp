#include "markup/parse_run.h"
#include "markup/record_flow.h"

#include <algorithm>
#include <cstring>

#include "markup/open_elements.h"

namespace mq {

void startRecordFlow(ParseRun& run) {
  RecordFlow& flow = run.flow;
  flow.base = 0;
  flow.youngFrom = 1;
  flow.given.clear();
}

TagRecord* tableRecord(ParseRun& run, int32_t objectNo) {
  const int32_t index = objectNo - 1 - run.flow.base;
  return index >= 0 ? recordAt(cursorSlot(run), index) : nullptr;
}

TagRecord* givenRecordOf(ParseRun& run, int32_t objectNo) {
  for (TagRecord& given : run.flow.given) {
    if (given.objectNo == objectNo) return &given;
  }
  return nullptr;
}

int setRecordContent(ParseRun& run, int32_t objectNo, int32_t offset, int32_t length) {
  TagRecord* record = tableRecord(run, objectNo);
  if (record != nullptr) {
    record->contentOffset = offset;
    record->contentLength = length;
    return 0;
  }
  TagRecord* given = givenRecordOf(run, objectNo);
  // Only open elements and the latest record take content, and both are kept.
  if (given == nullptr) return 0;
  given->contentOffset = offset;
  given->contentLength = length;
  return run.flow.sink->late(run, run.cursor.slot, *given);
}

namespace {

// Gives on the first `count` records of the table, with the early ones among them, and moves
// the rest, with their contents, to the table's start.
int giveOn(ParseRun& run, int32_t count, const std::vector<int32_t>& early) {
  RecordFlow& flow = run.flow;
  ParseTableSlot& slot = cursorSlot(run);
  TagRecord* records = recordAt(slot, 0);
  if (flow.sink->take(run, run.cursor.slot, records, count, early.data(), static_cast<int32_t>(early.size())) != 0) {
    return -1;
  }
  const int32_t rest = run.cursor.recordCount - count;
  std::memmove(records, records + count, static_cast<std::size_t>(rest) * sizeof(TagRecord));
  // The kept records' contents go to the start of the contents, in the order of the records.
  flow.kept.clear();
  for (int32_t i = 0; i < rest; ++i) {
    TagRecord& record = records[i];
    if (record.contentOffset < 0) continue;
    const unsigned char* content = slot.contents + record.contentOffset;
    record.contentOffset = static_cast<int32_t>(flow.kept.size());
    flow.kept.insert(flow.kept.end(), content, content + record.contentLength);
    flow.kept.push_back(0);
  }
  std::memset(slot.contents, 0, static_cast<std::size_t>(run.cursor.contentUsed));
  if (!flow.kept.empty()) std::memcpy(slot.contents, flow.kept.data(), flow.kept.size());
  run.cursor.contentUsed = static_cast<int32_t>(flow.kept.size());
  run.cursor.recordCount = rest;
  flow.base += count;
  return 0;
}

}  // namespace

int handOnRecords(ParseRun& run, int32_t openCount) {
  RecordFlow& flow = run.flow;
  if (flow.sink == nullptr ||
      (run.cursor.recordCount < flow.recordLimit && run.cursor.contentUsed < flow.contentLimit)) {
    return 0;
  }
  // The latest record may still take an option's value: it always stays.
  int32_t count = run.cursor.recordCount - 1;
  const OpenTagEntry* open = openTags(run);
  // Elements open in order of their objectNo: once one must wait, so do all inside it.
  for (int32_t i = 0; i < openCount; ++i) {
    const TagRecord* record = tableRecord(run, open[i].objectNo);
    if (record != nullptr && record->contentOffset == -1 && open[i].objectNo >= flow.youngFrom) {
      count = std::min(count, open[i].objectNo - 1 - flow.base);
      break;
    }
  }
  // Given-on records of elements that have closed take nothing more.
  std::erase_if(flow.given, [&](const TagRecord& given) {
    for (int32_t i = 0; i < openCount; ++i) {
      if (open[i].objectNo == given.objectNo) return false;
    }
    return true;
  });
  std::vector<int32_t> early;
  for (int32_t i = 0; i < openCount; ++i) {
    const TagRecord* record = tableRecord(run, open[i].objectNo);
    if (record == nullptr || open[i].objectNo - 1 - flow.base >= count) continue;
    flow.given.push_back(*record);
    if (record->contentOffset == -1) early.push_back(open[i].objectNo);
  }
  flow.youngFrom = flow.base + run.cursor.recordCount + 1;
  return count > 0 ? giveOn(run, count, early) : 0;
}

int handOnRest(ParseRun& run) {
  if (run.flow.sink == nullptr || run.cursor.recordCount == 0) return 0;
  return giveOn(run, run.cursor.recordCount, {});
}

}  // namespace mq
