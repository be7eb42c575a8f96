#include "convert/record_batches.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace mq {

namespace {

// Batches queued at most; the reading thread waits beyond.
constexpr std::size_t kQueued = 2;

}  // namespace

void RecordBatch::clear() {
  late = false;
  records.clear();
  marks.clear();
  early.clear();
  contents.clear();
  paths.clear();
  longest = 0;
}

std::size_t RecordBatch::bytes() const {
  // What its areas take, reused ones included, not what they hold now.
  return records.capacity() * sizeof(TagRecord) + marks.capacity() + early.capacity() * sizeof(int32_t) +
         contents.capacity() + paths.capacity();
}

void BatchCopier::copy(const ParseTableSlot& table, int slot, const TagRecord* records, int32_t count,
                       RecordBatch* batch) {
  batch->slot = slot;
  batch->records.assign(records, records + count);
  int32_t contentsEnd = 0;
  int32_t pathsEnd = pathsSent_[slot];
  for (int32_t r = 0; r < count; ++r) {
    const TagRecord& record = records[r];
    if (record.contentOffset >= 0) {
      contentsEnd = std::max(contentsEnd, record.contentOffset + record.contentLength);
      batch->longest = std::max(batch->longest, record.contentLength);
    }
    pathsEnd = std::max(pathsEnd, record.tagNameOffset + record.tagNameLength);
  }
  // Two blocks: the contents move on after the hand-on, and the path texts' area may move
  // when it grows; a path's text, once written, stays as it is.
  const auto* contents = reinterpret_cast<const char*>(table.contents);
  batch->contents.assign(contents, contents + contentsEnd);
  sendPaths(table, slot, pathsEnd, batch);
}

void BatchCopier::sendPaths(const ParseTableSlot& table, int slot, int32_t pathsEnd, RecordBatch* batch) {
  const auto* paths = reinterpret_cast<const char*>(table.tagNames);
  batch->paths.assign(paths + pathsSent_[slot], paths + pathsEnd);
  pathsSent_[slot] = pathsEnd;
}

void BatchCopier::copyChosen(const ParseTableSlot& table, int slot, const TagRecord* records,
                             const std::vector<int32_t>& chosen, RecordBatch* batch) {
  batch->slot = slot;
  int32_t pathsEnd = pathsSent_[slot];
  const auto* contents = reinterpret_cast<const char*>(table.contents);
  for (const int32_t r : chosen) {
    TagRecord record = records[r];
    if (record.contentOffset >= 0) {
      const char* content = contents + record.contentOffset;
      record.contentOffset = static_cast<int32_t>(batch->contents.size());
      batch->contents.insert(batch->contents.end(), content, content + record.contentLength);
      batch->longest = std::max(batch->longest, record.contentLength);
    }
    pathsEnd = std::max(pathsEnd, record.tagNameOffset + record.tagNameLength);
    batch->records.push_back(record);
  }
  sendPaths(table, slot, pathsEnd, batch);
}

ParseTableSlot PathMirror::slotOf(RecordBatch& batch) {
  std::vector<char>& paths = paths_[batch.slot];
  paths.insert(paths.end(), batch.paths.begin(), batch.paths.end());
  return ParseTableSlot{reinterpret_cast<unsigned char*>(batch.records.data()),
                        static_cast<int32_t>(batch.records.size() * sizeof(TagRecord)),
                        static_cast<int32_t>(batch.records.size()),
                        reinterpret_cast<unsigned char*>(paths.data()),
                        static_cast<int32_t>(paths.size()),
                        reinterpret_cast<unsigned char*>(batch.contents.data()),
                        static_cast<int32_t>(batch.contents.size())};
}

BatchThread::BatchThread(std::function<void(RecordBatch&)> work) : work_(std::move(work)) {}

BatchThread::~BatchThread() { stop(); }

RecordBatch BatchThread::fresh() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (spare_.empty()) return RecordBatch{};
  RecordBatch batch = std::move(spare_.back());
  spare_.pop_back();
  return batch;
}

void BatchThread::send(RecordBatch batch) {
  const std::size_t bytes = batch.bytes();
  std::unique_lock<std::mutex> lock(mutex_);
  if (!thread_.joinable() && !ending_) thread_ = std::thread([this] { run(); });
  changed_.wait(lock, [this, bytes] {
    if (dropping_) return true;
    if (mostBytes_ == 0) return queue_.size() < kQueued;
    return queue_.empty() || queuedBytes_ + bytes <= mostBytes_;
  });
  // After a failure of the work nothing more is taken up.
  if (dropping_) return;
  queuedBytes_ += bytes;
  queue_.push_back(std::move(batch));
  changed_.notify_all();
}

void BatchThread::boundQueueBytes(std::size_t most) {
  const std::lock_guard<std::mutex> lock(mutex_);
  mostBytes_ = most;
  changed_.notify_all();
}

void BatchThread::finish() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
  if (failure_ != nullptr) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void BatchThread::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
    dropping_ = true;
    queue_.clear();
    queuedBytes_ = 0;
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

void BatchThread::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  try {
    for (;;) {
      changed_.wait(lock, [this] { return !queue_.empty() || ending_; });
      if (queue_.empty() || dropping_) return;
      RecordBatch batch = std::move(queue_.front());
      queue_.pop_front();
      queuedBytes_ -= batch.bytes();
      changed_.notify_all();
      lock.unlock();
      work_(batch);
      batch.clear();
      lock.lock();
      // A queue bounded by bytes may have held many: the areas of a few are kept for reuse.
      if (spare_.size() <= kQueued) spare_.push_back(std::move(batch));
    }
  } catch (...) {
    // Kept for finish() to throw where the run can report it; what follows is dropped.
    if (!lock.owns_lock()) lock.lock();
    failure_ = std::current_exception();
    dropping_ = true;
    queue_.clear();
    queuedBytes_ = 0;
    changed_.notify_all();
  }
}

}  // namespace mq
