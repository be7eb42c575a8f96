// The thread that takes up batches: in the order sent, and a failure its work throws is
// thrown again where the sending finishes, with nothing taken up after it. A copy of chosen
// records: their contents packed, and the path texts sent once, as the other side mirrors them.
#include "convert/record_batches.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace mq {
namespace {

void sendTwelve(BatchThread& thread) {
  for (int k = 0; k < 12; ++k) {
    RecordBatch batch = thread.fresh();
    batch.slot = k;
    thread.send(std::move(batch));
  }
}

TEST(RecordBatches, AFailureOfTheWorkIsThrownWhereTheSendingFinishes) {
  std::vector<int> taken;
  BatchThread good([&taken](RecordBatch& batch) { taken.push_back(batch.slot); });
  sendTwelve(good);
  good.finish();
  EXPECT_EQ(taken, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));

  // The sending goes on without waiting for a thread that no longer takes anything up.
  taken.clear();
  BatchThread failing([&taken](RecordBatch& batch) {
    if (batch.slot == 2) throw std::bad_alloc();
    taken.push_back(batch.slot);
  });
  sendTwelve(failing);
  EXPECT_THROW(failing.finish(), std::bad_alloc);
  EXPECT_EQ(taken, (std::vector<int>{0, 1}));
  failing.finish();  // thrown once
}

// Bounded by bytes, the queue takes batches while the work takes nothing up, up to the
// bound; the next sending waits until the work takes one up, and one larger than the bound
// is queued alone. All are taken up in order, and what was taken up no longer counts.
TEST(RecordBatches, AQueueBoundedByBytesTakesBatchesUpToItsBound) {
  std::mutex mutex;
  std::condition_variable changed;
  bool released = false;
  std::vector<int> taken;
  BatchThread thread([&](RecordBatch& batch) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return released || batch.slot < 0; });
    taken.push_back(batch.slot);
  });
  thread.boundQueueBytes(10000);
  const auto batchOf = [](int slot, std::size_t bytes) {
    RecordBatch batch;
    batch.slot = slot;
    batch.contents.reserve(bytes);
    return batch;
  };
  const auto release = [&](bool value) {
    {
      const std::lock_guard<std::mutex> lock(mutex);
      released = value;
    }
    changed.notify_all();
  };
  for (int round = 0; round < 2; ++round) {
    // The first is taken by the work, which waits; four more of 2000 bytes fill the bound.
    const int first = 10 * round;
    std::atomic<int> sent{0};
    std::thread sender([&] {
      for (int k = first; k < first + 7; ++k) {
        thread.send(batchOf(k, k == first + 5 ? 3000 : k == first + 6 ? 50000 : 2000));
        ++sent;
      }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(sent.load(), 5) << round;
    release(true);
    sender.join();
    // Taken up to the last, with the queue empty; then the work waits again.
    thread.send(batchOf(-1, 0));
    while (true) {
      const std::lock_guard<std::mutex> lock(mutex);
      if (!taken.empty() && taken.back() == -1) break;
    }
    release(false);
  }
  release(true);
  thread.finish();
  EXPECT_EQ(taken, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, -1, 10, 11, 12, 13, 14, 15, 16, -1}));
  // Of the many taken up, the areas of a few are kept for the next batches.
  int kept = 0;
  for (int k = 0; k < 16; ++k) kept += thread.fresh().contents.capacity() > 0 ? 1 : 0;
  EXPECT_EQ(kept, 3);
}

TEST(RecordBatches, ChosenRecordsTakeTheirContentsAndThePathsNotYetSent) {
  std::string paths("<A>\0<A><B>\0<C>\0", 15);
  std::string contents("one\0two\0three\0", 14);
  const TagRecord records[] = {{1, 1, 0, 3, 0, 3}, {2, 1, 4, 6, 4, 3}, {3, 1, 11, 3, -1, 0}, {4, 2, 4, 6, 8, 5}};
  ParseTableSlot table{};
  table.tagNames = reinterpret_cast<unsigned char*>(paths.data());
  table.contents = reinterpret_cast<unsigned char*>(contents.data());
  BatchCopier copier;
  PathMirror mirror;
  RecordBatch first;
  copier.copyChosen(table, 0, records, {1, 2}, &first);
  ASSERT_EQ(first.records.size(), 2U);
  EXPECT_EQ(std::string(first.paths.begin(), first.paths.end()), paths.substr(0, 14));
  EXPECT_EQ(first.longest, 3);
  const ParseTableSlot firstSlot = mirror.slotOf(first);
  EXPECT_EQ(std::string(contentOf(firstSlot, first.records[0]), 3), "two");
  EXPECT_EQ(first.records[1].contentOffset, -1);
  EXPECT_EQ(std::string(tagPathOf(firstSlot, first.records[1]), 3), "<C>");
  // Only what the first batch did not send: nothing here, as <A><B> went with it.
  RecordBatch second;
  copier.copyChosen(table, 0, records, {3}, &second);
  EXPECT_TRUE(second.paths.empty());
  const ParseTableSlot secondSlot = mirror.slotOf(second);
  EXPECT_EQ(std::string(contentOf(secondSlot, second.records[0]), 5), "three");
  EXPECT_EQ(std::string(tagPathOf(secondSlot, second.records[0]), 6), "<A><B>");
  EXPECT_EQ(second.records[0].objectNo, 4);
}

}  // namespace
}  // namespace mq
