// Filling keeps only what the template asks for: the template's items are read before the
// documents, and of every document only the records an item can be answered from are kept,
// so that a fill's memory does not grow with its documents. An item is answered by the first
// record of its path and sequence number, and its 5021 warning says whether any record had
// the path's length and the number: the first record of each such pair is kept for that.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/settings.h"
#include "markup/record_flow.h"

namespace mq {

struct OutputRun;

class KeptValues : public RecordSink {
 public:
  // Reads the template's items up to the first faulty one, as the fill will meet them.
  // False when the template cannot be read or its areas had: the documents are then kept
  // whole, and the output phase reports what it reports. The run's message is left as it was.
  bool readTemplate(OutputRun& run);

  int take(ParseRun& run, int slot, const TagRecord* records, int32_t count, const int32_t* early,
           int32_t earlyCount) override;
  int late(ParseRun& run, int slot, const TagRecord& record) override;

  // Puts the kept records of every document into its table, in their order, for the fill.
  // -1 with message 1014 when a table cannot grow.
  int fillTables(OutputRun& run);

  std::size_t keptCount() const;

 private:
  struct Kept {
    TagRecord record;
    std::string content;
    bool hasContent;
  };
  static uint64_t pairKey(int slot, int32_t length, int32_t seqNo);
  std::unordered_set<uint64_t> pairs_;        // addressed (document, path length, number)
  std::unordered_set<std::string> paths_;     // addressed document, number and path
  std::unordered_set<uint64_t> pairsKept_;
  std::unordered_set<std::string> pathsKept_;
  std::vector<Kept> kept_[kMaxInputs];
  std::unordered_map<int64_t, std::size_t> waiting_;  // early records kept: (document, objectNo) to index
};

}  // namespace mq
