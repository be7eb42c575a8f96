#include "convert/listing_pipe.h"

#include <utility>

#include "common/text_helpers.h"
#include "convert/listing_writer.h"

namespace mq {

namespace {

// Batches queued at most; the reading thread waits beyond.
constexpr std::size_t kQueued = 2;

}  // namespace

ListingPipe::ListingPipe(LineWriter& out, char separator, bool pathEndsAtNul, std::function<void(LineWriter&)> header)
    : out_(out), separator_(separator), pathEndsAtNul_(pathEndsAtNul), header_(std::move(header)) {}

ListingPipe::~ListingPipe() { stop(); }

PipeBatch ListingPipe::fresh() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (spare_.empty()) return PipeBatch{};
  PipeBatch batch = std::move(spare_.back());
  spare_.pop_back();
  return batch;
}

void ListingPipe::send(PipeBatch batch) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!thread_.joinable()) thread_ = std::thread([this] { work(); });
  changed_.wait(lock, [this] { return queue_.size() < kQueued; });
  queue_.push_back(std::move(batch));
  changed_.notify_all();
}

std::vector<PlacedLine> ListingPipe::finish() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
  return std::move(placed_);
}

void ListingPipe::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
    dropping_ = true;
    queue_.clear();
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

void ListingPipe::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return !queue_.empty() || ending_; });
    if (queue_.empty() || dropping_) return;
    PipeBatch batch = std::move(queue_.front());
    queue_.pop_front();
    changed_.notify_all();
    lock.unlock();
    write(batch);
    batch.lines.clear();
    batch.contents.clear();
    batch.made.clear();
    batch.paths.clear();
    lock.lock();
    spare_.push_back(std::move(batch));
  }
}

void ListingPipe::write(const PipeBatch& batch) {
  std::vector<char>& paths = paths_[batch.slot];
  paths.insert(paths.end(), batch.paths.begin(), batch.paths.end());
  if (batch.header && header_) header_(out_);
  for (const PipeLine& line : batch.lines) {
    const long long at = out_.position();
    if ((line.flags & PipeLine::kSkipped) == 0) {
      const char* path = paths.data() + line.pathOffset;
      const auto pathLength = static_cast<std::size_t>(line.pathLength);
      const std::vector<char>& values = (line.flags & PipeLine::kMadeValue) != 0 ? batch.made : batch.contents;
      putRecordLine(out_, separator_, batch.slot + 1, line.objectNo, line.seqNo, path,
                    pathEndsAtNul_ ? textLength(path, pathLength) : pathLength, values.data() + line.valueOffset,
                    static_cast<std::size_t>(line.valueLength));
    }
    if ((line.flags & PipeLine::kEarly) != 0) placed_.push_back(PlacedLine{at, out_.position() - at});
  }
}

}  // namespace mq
