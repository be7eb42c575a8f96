// The thread that takes up batches: in the order sent, and a failure its work throws is
// thrown again where the sending finishes, with nothing taken up after it. A copy of chosen
// records: their contents packed, and the path texts sent once, as the other side mirrors them.
#include "convert/record_batches.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
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
