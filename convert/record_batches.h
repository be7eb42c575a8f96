// Records handed on by a document's reading, copied with the bytes they need and taken up
// by a thread of their own, so that a sink's work runs beside the reading. The reading thread
// copies each hand-on into a batch: the records, the contents up to the last one they take,
// and the path texts added since the slot's last batch. The other thread sees the slot as
// the batch holds it. The two threads share nothing but the queue.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "common/settings.h"
#include "markup/parse_tables.h"

namespace mq {

struct RecordBatch {
  int slot = 0;
  bool late = false;  // records[0] is an early record that got its content
  std::vector<TagRecord> records;  // contents at their offsets in `contents`
  std::vector<uint8_t> marks;      // one a record, for the sink's own use
  std::vector<int32_t> early;      // the early records' objectNos, ascending
  std::vector<char> contents;
  std::vector<char> paths;  // the slot's path texts added since its last batch
  int32_t longest = 0;      // the length of the longest content

  void clear();
  // The bytes its areas take, as a queue bounded by bytes counts them.
  std::size_t bytes() const;
};

// The reading thread's side: copies records into batches.
class BatchCopier {
 public:
  // The records, the contents they take and the new path texts of the slot into `batch`.
  void copy(const ParseTableSlot& table, int slot, const TagRecord* records, int32_t count, RecordBatch* batch);
  // As copy, of the records at the `chosen` indexes only, ascending, and of their contents,
  // one after another. The batch's early records are the caller's to name.
  void copyChosen(const ParseTableSlot& table, int slot, const TagRecord* records, const std::vector<int32_t>& chosen,
                  RecordBatch* batch);

 private:
  // The slot's path texts from the last batch's end up to pathsEnd.
  void sendPaths(const ParseTableSlot& table, int slot, int32_t pathsEnd, RecordBatch* batch);

  int32_t pathsSent_[kMaxInputs] = {};
};

// The other thread's side: the slot as the batches so far hold it.
class PathMirror {
 public:
  // Takes the batch's path texts on; the slot's records and contents are the batch's own.
  ParseTableSlot slotOf(RecordBatch& batch);

 private:
  std::vector<char> paths_[kMaxInputs];
};

// A thread that takes up batches in the order they were sent.
class BatchThread {
 public:
  explicit BatchThread(std::function<void(RecordBatch&)> work);
  ~BatchThread();
  BatchThread(const BatchThread&) = delete;
  BatchThread& operator=(const BatchThread&) = delete;

  // An empty batch to fill; its areas are those of a batch already taken up.
  RecordBatch fresh();
  // Queues the batch, starting the thread with the first; waits while two are queued, or
  // while the bound in bytes is reached when one is set, so that memory stays bounded.
  void send(RecordBatch batch);
  // Bounds the queue by the bytes its batches hold instead: a work that takes nothing up for
  // a while lets the sending go on meanwhile. A batch larger than the bound is still queued
  // alone.
  void boundQueueBytes(std::size_t most);
  // Waits until every batch sent is taken up. A failure the work threw (a lack of memory)
  // is thrown here, on the sending thread; the batches after it were dropped.
  void finish();
  // Drops what is queued and ends the thread.
  void stop();

 private:
  void run();

  std::function<void(RecordBatch&)> work_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<RecordBatch> queue_;
  std::vector<RecordBatch> spare_;
  std::size_t mostBytes_ = 0;  // 0: two batches at most
  std::size_t queuedBytes_ = 0;
  std::exception_ptr failure_;
  bool ending_ = false;
  bool dropping_ = false;
  std::thread thread_;
};

}  // namespace mq
