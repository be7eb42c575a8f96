// Filling keeps only what the template asks for: the template is opened before the documents
// and read, with its items, on a thread of their own while the documents' reading begins; of
// every document only the records an item can be answered from are kept, so that a fill's
// memory does not grow with its documents. An item is answered by the first record of its path and
// sequence number, and its 5021 warning says whether any record had the path's length and
// the number: the first record of each such pair is kept for that. The records handed on are
// looked up on another thread, beside the reading, once the items are read; from then on the
// reading hands on only the records whose path length and number an item may have. The
// template file is read once: the output phase writes from the same area, takes the items as
// they were read, and each looked-up item's record from what was kept.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/file_reading.h"
#include "common/settings.h"
#include "convert/output_definitions.h"
#include "convert/output_run.h"
#include "convert/record_batches.h"
#include "convert/record_index.h"
#include "markup/record_flow.h"

namespace mq {

class KeptValues : public RecordSink, public ItemAnswers {
 public:
  KeptValues();
  ~KeptValues();
  KeptValues(const KeptValues&) = delete;
  KeptValues& operator=(const KeptValues&) = delete;

  // Opens the template, and starts reading it and its items up to the first faulty one, as
  // the fill will meet them. False when the template cannot be opened or its areas had: the
  // documents are then kept whole, and the output phase reports what it reports. The run's
  // message is left as it was.
  bool readTemplate(OutputRun& run);

  int take(ParseRun& run, int slot, const TagRecord* records, int32_t count, const int32_t* early,
           int32_t earlyCount) override;
  int late(ParseRun& run, int slot, const TagRecord& record) override;
  // What was kept is given up, for the documents to be read again.
  bool startsOver() const override { return true; }
  int startOver(ParseRun& run, int slot) override;
  // Until the items are read.
  void awaitStarted() override;

  // Puts the kept records of every document into its table, in their order, for the fill.
  // -1 with message 1014 when a table cannot grow.
  int fillTables(OutputRun& run);

  // Waits until the items are read; what their reading threw (a lack of memory) is thrown here.
  void awaitItems();

  // The record of the next item the template was read to look up: the first kept record of
  // its path and number, in the tables fillTables made.
  bool answerNext(int slot, const char* path, int32_t length, int32_t seqNo, RecordMatch* match) override;
  // The next item the template was read to, when its START is at the offset.
  const KnownItem* itemAt(int32_t markerOffset) override;
  bool stretchAt(int32_t from, TemplateStretch* stretch) override;
  bool takeTemplate(unsigned char** definition, int32_t* size, int32_t* textLength) override;

 private:
  // A document's kept records, and their contents one after another in one block: a record's
  // content, when its offset is not -1, is at its place in contentAt, which may pass 2 GiB.
  struct Kept {
    std::vector<TagRecord> records;
    std::vector<int64_t> contentAt;
    std::vector<char> contents;

    void add(const TagRecord& record, const ParseTableSlot& table);
    void setContent(std::size_t index, const TagRecord& from, const ParseTableSlot& table);
  };
  // An addressed path and number of a document, and where its record is kept.
  struct Wanted {
    uint64_t pair;
    uint64_t hash;
    int32_t pathAt;  // in paths_, which a template's size bounds
    int32_t pathLength;
    int32_t keptAt;  // index in the document's kept records; -1: none yet
    int32_t pairAt;  // its pair's cell in pairs_
  };
  // Open addressing over powers of two: a record is looked up for every record a document
  // makes, and most are not addressed.
  struct PairCell {
    uint64_t pair;  // 0: empty
    int32_t onlyWanted;  // its one item key's index in wanted_; -1 when it has more, found by their hashes
    bool kept;
  };
  // A path's text in paths_: a template's items name far fewer paths than keys, and a text kept
  // once stays in the cache for every record compared with it.
  struct PathCell {
    uint64_t hash;
    int32_t at;  // -1: empty
    int32_t length;
  };
  // On the looking-up thread.
  void keep(RecordBatch& batch);
  void keepLate(int slot, const TagRecord& record, const ParseTableSlot& table);
  // Whether the record is kept: it answers an item, or is its pair's first.
  bool keeps(int slot, const TagRecord& record, const ParseTableSlot& table);

  static uint64_t pairKey(int slot, int32_t length, int32_t seqNo);
  // The index of the item's key (its pair and path, and the path's hash) in wanted_, added when new.
  std::size_t addItem(uint64_t pair, uint64_t hash, const char* path, int32_t length);
  // Fetches the cell of wantedCells_ where the key's search begins.
  void fetchCell(uint64_t pair, uint64_t hash) const;
  void placeWanted(std::size_t index);
  // Where the path's text is in paths_, added when new.
  int32_t pathTextOf(uint64_t hash, const char* path, int32_t length);
  void placePathText(const PathCell& cell);
  void placePairs();
  void startLookup();
  // On the items' own thread, from the areas of reader_: the template, then its items.
  void readItems();
  void readKnownItems(OutputRun& run);
  void joinItems();
  PairCell* findPair(uint64_t pair);
  std::size_t pairBitOf(uint64_t pair) const;
  bool hasPairBit(uint64_t pair) const;
  // On the reading thread: whether the records are chosen by their pairs, once the items are read.
  bool choosesRecords();
  Wanted* findWanted(uint64_t pair, uint64_t hash, const char* path, int32_t length);
  // The item key of the record's path in the pair's cell, or nullptr.
  Wanted* wantedOf(const PairCell& cell, const char* path, int32_t length);
  bool hasPath(const Wanted& wanted, const char* path, int32_t length) const;
  void pointKnownPaths(int inputCount);

  // The template's area as its items were read from it, until the output phase takes it.
  unsigned char* definition_ = nullptr;
  int32_t definitionSize_ = 0;
  int32_t definitionTextLength_ = 0;
  std::vector<PairCell> pairs_;
  // A bit a pair, in far fewer bytes than pairs_: most records' pairs are in no item, and the
  // bits say so from the cache, also to the reading thread.
  std::vector<uint64_t> pairBits_;
  int pairLineShift_ = 63;            // of a hash, for a cache line of pairBits_
  std::vector<int32_t> wantedCells_;  // index into wanted_ plus 1; 0: empty
  std::vector<Wanted> wanted_;
  std::string paths_;  // of wanted_, each text once: one block instead of one per path
  std::vector<PathCell> pathCells_;  // where each text is in paths_
  std::size_t pathCount_ = 0;
  std::vector<int32_t> itemKeys_;  // of each item looked up, in the template's order: its index in wanted_
  std::size_t nextItem_ = 0;
  // Every good item up to the first faulty one, with the stretch it ends; the paths are
  // pointed at once paths_ is whole.
  struct Known {
    int32_t literalOffset;  // where its stretch begins
    int32_t markerOffset;   // its START's
    int32_t itemLength;
    KnownItem item;
  };
  std::vector<Known> known_;
  StretchMarkers markers_{};  // the items' run's, made ready once
  std::size_t nextKnown_ = 0;
  Kept kept_[kMaxInputs];
  ParseTableSlot tables_[kMaxInputs] = {};  // as fillTables left them
  std::unordered_map<int64_t, std::size_t> waiting_;  // early records kept: (document, objectNo) to index
  BatchCopier copier_;
  PathMirror mirror_;  // the looking-up thread's own
  // The items' reading: its own run (the template's areas, what a faulty item sets), its
  // thread, and when it is done. The looking-up thread waits on itemsRead_ before its first batch.
  std::unique_ptr<OutputRun> reader_;
  WholeFile template_;         // opened by readTemplate, read on the items' thread
  bool templateLost_ = false;  // it could not be read there: every record is kept
  std::thread items_;
  std::mutex itemsMutex_;
  std::condition_variable itemsRead_;
  bool itemsDone_ = false;
  bool itemsSeen_ = false;  // by the looking-up thread
  std::atomic<bool> itemsCancelled_{false};  // the run ended first: the reading stops at the next item
  std::atomic<bool> pairsPlaced_{false};  // pairBits_ is whole, for the reading thread to choose by
  RecordChoice choice_ = RecordChoice::OnceItemsRead;
  std::vector<int32_t> chosen_;  // the reading thread's
  std::exception_ptr itemsFailure_;
  std::unique_ptr<BatchThread> lookup_;
};

}  // namespace mq
