// The thread that takes up batches: in the order sent, and a failure its work throws is
// thrown again where the sending finishes, with nothing taken up after it.
#include "convert/record_batches.h"

#include <gtest/gtest.h>

#include <new>
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

}  // namespace
}  // namespace mq
