// The lines of a streamed listing, put and written on a thread of their own while the reading
// thread goes on with the document. The reading thread sends batches: the numbers of each
// line, a copy of the contents the lines take as they stand, the values it made, and the path
// texts added since its last batch. The two threads share nothing but the queue.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "common/line_writer.h"
#include "common/settings.h"

namespace mq {

struct PipeLine {
  enum Flag : uint8_t { kMadeValue = 1, kSkipped = 2, kEarly = 4 };
  int32_t objectNo;
  int32_t seqNo;
  int32_t pathOffset;  // in the document's path texts
  int32_t pathLength;
  int32_t valueOffset;  // in the batch's contents, or in its made values
  int32_t valueLength;
  uint8_t flags;
};

struct PipeBatch {
  int slot = 0;
  bool header = false;  // the document's header line goes first
  std::vector<PipeLine> lines;
  std::vector<char> contents;  // the slot's contents, up to the last value taken as it stands
  std::vector<char> made;      // values made in a run's area
  std::vector<char> paths;     // the slot's path texts added since its last batch
};

// Where an early line was written.
struct PlacedLine {
  long long offset;
  long long length;
};

class ListingPipe {
 public:
  // Lines go to `out`, which the pipe's thread alone uses until finish or stop.
  ListingPipe(LineWriter& out, char separator, bool pathEndsAtNul, std::function<void(LineWriter&)> header);
  ~ListingPipe();
  ListingPipe(const ListingPipe&) = delete;
  ListingPipe& operator=(const ListingPipe&) = delete;

  // An empty batch to fill; its areas are those of a batch already written.
  PipeBatch fresh();
  // Queues the batch; waits while two are queued, so that memory stays bounded.
  void send(PipeBatch batch);
  // Waits until every line sent is written: where the early lines stand, in the order sent.
  std::vector<PlacedLine> finish();
  // Drops what is queued and ends the thread.
  void stop();

 private:
  void work();
  void write(const PipeBatch& batch);

  LineWriter& out_;
  char separator_;
  bool pathEndsAtNul_;
  std::function<void(LineWriter&)> header_;
  std::vector<char> paths_[kMaxInputs];  // the writing thread's copy of each slot's path texts
  std::vector<PlacedLine> placed_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<PipeBatch> queue_;
  std::vector<PipeBatch> spare_;
  bool ending_ = false;
  bool dropping_ = false;
  std::thread thread_;
};

}  // namespace mq
