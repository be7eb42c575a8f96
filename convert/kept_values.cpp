#include "convert/kept_values.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "common/byte_hash.h"
#include "common/file_reading.h"
#include "common/text_helpers.h"
#include "common/work_areas.h"
#include "convert/output_areas.h"
#include "convert/output_definitions.h"
#include "convert/output_run.h"
#include "markup/parse_tables.h"

namespace mq {

namespace {

// Items whose room is made before the template is read: beyond them, the tables grow.
constexpr std::size_t kReservedItems = std::size_t{1} << 18;

// The batches the reading hands on that may wait to be looked up, in bytes.
constexpr std::size_t kQueuedBytes = std::size_t{16} << 20;

// A path is looked up for every record whose length and number an item has.
uint64_t hashPath(const char* path, int32_t length) { return hashBytes(path, length, static_cast<uint32_t>(length)); }

// Sixteen bits a cell of pairs_, so 32 or more a pair. A cache line of them holds 512 numbers
// in a row of one path length: a document's records of one path, numbered one after another,
// ask the same line, which stays in the cache, on the reading thread too.
constexpr std::size_t kLineWords = 8;
constexpr int kLineNumbersShift = 9;  // 512 numbers a line
std::size_t pairBitIn(uint64_t pair, int lineShift) {
  const std::size_t line = ((pair >> kLineNumbersShift) * uint64_t{0x9E3779B97F4A7C15}) >> lineShift;
  return (line << kLineNumbersShift) | (pair & ((uint64_t{1} << kLineNumbersShift) - 1));
}

// The table size for `count` keys: a power of two, at most half full.
std::size_t cellsFor(std::size_t count) {
  std::size_t size = 16;
  while (size < 2 * count) size *= 2;
  return size;
}

}  // namespace

uint64_t KeptValues::pairKey(int slot, int32_t length, int32_t seqNo) {
  // Never 0: the number of an item is 1 or more.
  return (static_cast<uint64_t>(slot) << 60) ^ (static_cast<uint64_t>(static_cast<uint32_t>(length)) << 32) ^
         static_cast<uint32_t>(seqNo);
}

std::size_t KeptValues::addItem(uint64_t pair, uint64_t hash, const char* path, int32_t length) {
  if (const Wanted* known = findWanted(pair, hash, path, length)) return static_cast<std::size_t>(known - wanted_.data());
  wanted_.push_back(Wanted{pair, hash, pathTextOf(hash, path, length), length, -1, -1});
  // At most half full, as cellsFor sizes it: kept so without sizing it again for every key.
  if (!wantedCells_.empty() && wantedCells_.size() >= 2 * wanted_.size()) {
    placeWanted(wanted_.size() - 1);
  } else {
    // Grown, and every key put in again.
    wantedCells_.assign(cellsFor(wanted_.size()) * 2, 0);
    for (std::size_t index = 0; index < wanted_.size(); ++index) placeWanted(index);
  }
  return wanted_.size() - 1;
}

int32_t KeptValues::pathTextOf(uint64_t hash, const char* path, int32_t length) {
  if (!pathCells_.empty()) {
    const std::size_t mask = pathCells_.size() - 1;
    for (std::size_t at = hash & mask; pathCells_[at].at >= 0; at = (at + 1) & mask) {
      const PathCell& cell = pathCells_[at];
      if (cell.hash == hash && cell.length == length &&
          std::memcmp(paths_.data() + cell.at, path, static_cast<std::size_t>(length)) == 0) {
        return cell.at;
      }
    }
  }
  const PathCell added{hash, static_cast<int32_t>(paths_.size()), length};
  paths_.append(path, static_cast<std::size_t>(length));
  ++pathCount_;
  if (pathCells_.size() < cellsFor(pathCount_)) {
    // Grown, and every text put in again.
    std::vector<PathCell> old = std::exchange(pathCells_, std::vector<PathCell>(cellsFor(pathCount_), PathCell{0, -1, 0}));
    for (const PathCell& cell : old) {
      if (cell.at >= 0) placePathText(cell);
    }
  }
  placePathText(added);
  return added.at;
}

void KeptValues::placePathText(const PathCell& cell) {
  const std::size_t mask = pathCells_.size() - 1;
  std::size_t at = cell.hash & mask;
  while (pathCells_[at].at >= 0) at = (at + 1) & mask;
  pathCells_[at] = cell;
}

void KeptValues::fetchCell(uint64_t pair, uint64_t hash) const {
  if (!wantedCells_.empty()) __builtin_prefetch(&wantedCells_[mixBits(pair ^ hash) & (wantedCells_.size() - 1)]);
}

void KeptValues::placeWanted(std::size_t index) {
  const Wanted& wanted = wanted_[index];
  const std::size_t mask = wantedCells_.size() - 1;
  std::size_t at = mixBits(wanted.pair ^ wanted.hash) & mask;
  while (wantedCells_[at] != 0) at = (at + 1) & mask;
  wantedCells_[at] = static_cast<int32_t>(index + 1);
}

void KeptValues::placePairs() {
  // Sized for every item, the table holds each pair once. Every record of a document asks
  // for its pair: the bits answer most of them.
  pairs_.assign(cellsFor(wanted_.size()), PairCell{0, -1, false});
  pairBits_.assign(std::max<std::size_t>(pairs_.size() / 4, 2 * kLineWords), 0);
  pairLineShift_ = 64 - std::countr_zero(pairBits_.size() / kLineWords);
  const std::size_t mask = pairs_.size() - 1;
  constexpr std::size_t kAhead = 8;  // keys whose cells are fetched before they are placed
  for (std::size_t index = 0; index < wanted_.size(); ++index) {
    if (index + kAhead < wanted_.size()) __builtin_prefetch(&pairs_[mixBits(wanted_[index + kAhead].pair) & mask]);
    Wanted& wanted = wanted_[index];
    std::size_t at = mixBits(wanted.pair) & mask;
    while (pairs_[at].pair != 0 && pairs_[at].pair != wanted.pair) at = (at + 1) & mask;
    pairs_[at].onlyWanted = pairs_[at].pair == 0 ? static_cast<int32_t>(index) : -1;
    pairs_[at].pair = wanted.pair;
    wanted.pairAt = static_cast<int32_t>(at);
    const std::size_t bit = pairBitOf(wanted.pair);
    pairBits_[bit / 64] |= uint64_t{1} << (bit % 64);
  }
}

std::size_t KeptValues::pairBitOf(uint64_t pair) const { return pairBitIn(pair, pairLineShift_); }

bool KeptValues::hasPairBit(uint64_t pair) const {
  const std::size_t bit = pairBitOf(pair);
  return (pairBits_[bit / 64] >> (bit % 64) & 1) != 0;
}

KeptValues::PairCell* KeptValues::findPair(uint64_t pair) {
  if (pairs_.empty() || !hasPairBit(pair)) return nullptr;
  const std::size_t mask = pairs_.size() - 1;
  for (std::size_t cell = mixBits(pair) & mask; pairs_[cell].pair != 0; cell = (cell + 1) & mask) {
    if (pairs_[cell].pair == pair) return &pairs_[cell];
  }
  return nullptr;
}

KeptValues::Wanted* KeptValues::findWanted(uint64_t pair, uint64_t hash, const char* path, int32_t length) {
  if (wantedCells_.empty()) return nullptr;
  const std::size_t mask = wantedCells_.size() - 1;
  for (std::size_t at = mixBits(pair ^ hash) & mask; wantedCells_[at] != 0; at = (at + 1) & mask) {
    Wanted& wanted = wanted_[static_cast<std::size_t>(wantedCells_[at] - 1)];
    if (wanted.pair == pair && wanted.hash == hash && hasPath(wanted, path, length)) {
      return &wanted;
    }
  }
  return nullptr;
}

KeptValues::Wanted* KeptValues::wantedOf(const PairCell& cell, const char* path, int32_t length) {
  // Most pairs are one item's: its path is compared without hashing the record's.
  if (cell.onlyWanted >= 0) {
    Wanted& only = wanted_[static_cast<std::size_t>(cell.onlyWanted)];
    return hasPath(only, path, length) ? &only : nullptr;
  }
  return findWanted(cell.pair, hashPath(path, length), path, length);
}

bool KeptValues::hasPath(const Wanted& wanted, const char* path, int32_t length) const {
  const char* kept = paths_.data() + static_cast<std::size_t>(wanted.pathAt);
  // The output phase asks with the very path it was given: its bytes need not be fetched.
  return wanted.pathLength == length &&
         (path == kept || std::memcmp(kept, path, static_cast<std::size_t>(length)) == 0);
}

bool KeptValues::readTemplate(OutputRun& run) {
  // The items are read from areas of their own run, whose messages are not the run's.
  reader_ = std::make_unique<OutputRun>();
  OutputRun& own = *reader_;
  own.settings = run.settings;
  own.templateText = run.templateText;
  // Only opened here: it is read on the items' thread while the documents' reading begins.
  if (takeOutputAreas(own) != 0 || openOutputDefinition(own, &template_) != 0) {
    releaseOutputAreas(own);
    reader_.reset();
    return false;
  }
  choice_ = run.recordChoice;
  markers_ = stretchMarkersOf(own);
  items_ = std::thread([this] { readItems(); });
  return true;
}

void KeptValues::readItems() {
  OutputRun& run = *reader_;
  // A template that opened but could not be read (a lack of memory, a failing disk) is read
  // again by the output phase, which reports what it reports; the documents are kept whole.
  templateLost_ = readOutputDefinition(run, &template_) != 0;
  try {
    if (!templateLost_) readKnownItems(run);
  } catch (...) {
    itemsFailure_ = std::current_exception();
  }
  // Read once: the fill writes from the bytes its items were read from, even when the file
  // changes while the documents are read.
  OutputAreas& a = run.output;
  definition_ = std::exchange(a.definition, nullptr);
  definitionSize_ = a.definitionSize;
  definitionTextLength_ = a.definitionTextLength;
  releaseOutputAreas(run);
  const std::lock_guard<std::mutex> lock(itemsMutex_);
  itemsDone_ = true;
  itemsRead_.notify_all();
}

void KeptValues::readKnownItems(OutputRun& run) {
  const OutputAreas& a = run.output;
  const auto* text = reinterpret_cast<const char*>(a.definition);
  // Only the bytes copied into it are read: it is not cleared between items.
  std::vector<char> code;
  // The keys of the last items read, added a few at a time: each one's cell is fetched when
  // it is read, so that the cache misses of a large template's table overlap.
  struct PendingKey {
    uint64_t pair;
    uint64_t hash;
    int32_t pathAt;  // in pendingPaths
    int32_t length;
  };
  // Sized once for as many items as the template can hold, up to a bound: grown item by
  // item, they would be copied, and twice the memory touched.
  const auto most =
      static_cast<std::size_t>(a.definitionTextLength / (markers_.start.length + markers_.end.length + kShortestItem));
  const std::size_t reserved = std::min<std::size_t>(most, kReservedItems);
  known_.reserve(reserved);
  wanted_.reserve(reserved);
  itemKeys_.reserve(reserved);
  constexpr std::size_t kPendingKeys = 16;
  std::vector<PendingKey> pending;
  std::string pendingPaths;
  const auto addPending = [&] {
    for (const PendingKey& key : pending) {
      itemKeys_.push_back(
          static_cast<int32_t>(addItem(key.pair, key.hash, pendingPaths.data() + key.pathAt, key.length)));
    }
    pending.clear();
    pendingPaths.clear();
  };
  for (int32_t at = 0; at < a.definitionSize && !itemsCancelled_.load(std::memory_order_relaxed);) {
    const TemplateStretch s = nextStretch(run, at, markers_);
    if (s.hasItem) {
      // The fill stops at the first faulty item: none after it is ever looked up.
      if (!s.closed) break;
      if (code.size() < static_cast<std::size_t>(s.itemLength) + 16)
        code.resize(static_cast<std::size_t>(s.itemLength) + 16);
      const int32_t length = copyWithoutBlanks(code.data(), text + s.itemOffset, s.itemLength);
      OutputItem item{};
      if (checkOutputItem(run, code.data(), length, &item) != nullptr) break;
      known_.push_back({s.literalOffset, s.markerOffset, s.itemLength, KnownItem{item, nullptr}});
      if (item.fileNo >= 1 && item.fileNo <= run.settings.inputCount) {
        char* path = code.data() + item.tagNameOffset;
        upperCaseItemPath(run, item, path);
        const uint64_t pair = pairKey(item.fileNo - 1, item.tagNameLength, item.seqNo);
        const uint64_t hash = hashPath(path, item.tagNameLength);
        fetchCell(pair, hash);
        pending.push_back(PendingKey{pair, hash, static_cast<int32_t>(pendingPaths.size()), item.tagNameLength});
        pendingPaths.append(path, static_cast<std::size_t>(item.tagNameLength));
        if (pending.size() == kPendingKeys) addPending();
      }
    }
    at = s.next;
  }
  addPending();
  placePairs();
  pairsPlaced_.store(true, std::memory_order_release);
  pointKnownPaths(run.settings.inputCount);
}

void KeptValues::joinItems() {
  if (items_.joinable()) items_.join();
}

void KeptValues::awaitItems() {
  joinItems();
  if (itemsFailure_ != nullptr) std::rethrow_exception(itemsFailure_);
}

KeptValues::KeptValues() { startLookup(); }

KeptValues::~KeptValues() {
  itemsCancelled_ = true;
  lookup_->stop();
  joinItems();
  // Held still when the run was left before the items' thread began.
  closeWholeFile(&template_);
  if (reader_ != nullptr) releaseOutputAreas(*reader_);
  releaseArea(&definition_);
}

bool KeptValues::takeTemplate(unsigned char** definition, int32_t* size, int32_t* textLength) {
  if (definition_ == nullptr) return false;
  *definition = std::exchange(definition_, nullptr);
  *size = definitionSize_;
  *textLength = definitionTextLength_;
  return true;
}

void KeptValues::startLookup() {
  lookup_ = std::make_unique<BatchThread>([this](RecordBatch& batch) { keep(batch); });
  // Nothing is looked up before the items are read: the reading goes on meanwhile, its
  // batches waiting up to a bound in bytes.
  lookup_->boundQueueBytes(kQueuedBytes);
}

void KeptValues::awaitStarted() {
  std::unique_lock<std::mutex> lock(itemsMutex_);
  itemsRead_.wait(lock, [this] { return itemsDone_; });
}

int KeptValues::startOver(ParseRun& /*run*/, int /*slot*/) {
  lookup_->stop();
  joinItems();
  for (Kept& kept : kept_) kept = Kept{};
  waiting_.clear();
  for (PairCell& cell : pairs_) cell.kept = false;
  for (Wanted& wanted : wanted_) wanted.keptAt = -1;
  copier_ = BatchCopier{};
  mirror_ = PathMirror{};
  startLookup();
  return 0;
}

bool KeptValues::choosesRecords() {
  if (choice_ == RecordChoice::Never) return false;
  if (choice_ == RecordChoice::FromTheStart) awaitStarted();
  return pairsPlaced_.load(std::memory_order_acquire);
}

int KeptValues::take(ParseRun& run, int slot, const TagRecord* records, int32_t count, const int32_t* early,
                     int32_t earlyCount) {
  if (count <= 0) return 0;
  if (!choosesRecords()) {
    RecordBatch batch = lookup_->fresh();
    copier_.copy(run.tables[slot], slot, records, count, &batch);
    batch.early.assign(early, early + earlyCount);
    lookup_->send(std::move(batch));
    return 0;
  }
  // Most records have a pair no item has: their bit says so, as it would to keep(), and they
  // are not copied. Chosen without a branch, so that the bits' loads overlap.
  chosen_.resize(static_cast<std::size_t>(count));
  int32_t chosenCount = 0;
  // Held in registers: the stores into chosen_ could otherwise be the members' own bytes.
  const uint64_t* bits = pairBits_.data();
  const int shift = pairLineShift_;
  int32_t* chosen = chosen_.data();
  for (int32_t r = 0; r < count; ++r) {
    const std::size_t bit = pairBitIn(pairKey(slot, records[r].tagNameLength, records[r].seqNo), shift);
    chosen[chosenCount] = r;
    chosenCount += static_cast<int32_t>(bits[bit / 64] >> (bit % 64) & 1);
  }
  chosen_.resize(static_cast<std::size_t>(chosenCount));
  if (chosen_.empty()) return 0;
  // The early ones among them: both lists ascend.
  std::vector<int32_t> chosenEarly;
  std::size_t at = 0;
  for (int32_t e = 0; e < earlyCount; ++e) {
    while (at < chosen_.size() && records[chosen_[at]].objectNo < early[e]) ++at;
    if (at < chosen_.size() && records[chosen_[at]].objectNo == early[e]) chosenEarly.push_back(early[e]);
  }
  RecordBatch batch = lookup_->fresh();
  copier_.copyChosen(run.tables[slot], slot, records, chosen_, &batch);
  batch.early = std::move(chosenEarly);
  lookup_->send(std::move(batch));
  return 0;
}

int KeptValues::late(ParseRun& run, int slot, const TagRecord& record) {
  // Its early record had the same pair, and was not kept when no item has it.
  if (choosesRecords() && !hasPairBit(pairKey(slot, record.tagNameLength, record.seqNo))) return 0;
  RecordBatch batch = lookup_->fresh();
  batch.slot = slot;
  batch.late = true;
  TagRecord moved = record;
  if (record.contentOffset >= 0 && record.contentLength > 0) {
    const char* content = contentOf(run.tables[slot], record);
    batch.contents.assign(content, content + record.contentLength);
    moved.contentOffset = 0;
  }
  batch.records.push_back(moved);
  lookup_->send(std::move(batch));
  return 0;
}

void KeptValues::keep(RecordBatch& batch) {
  if (!itemsSeen_) {
    awaitStarted();
    itemsSeen_ = true;
  }
  // Without the items nothing is kept; fillTables throws what their reading threw.
  if (itemsFailure_ != nullptr) return;
  const ParseTableSlot table = mirror_.slotOf(batch);
  const int slot = batch.slot;
  if (batch.late) {
    keepLate(slot, batch.records[0], table);
    return;
  }
  std::size_t nextEarly = 0;
  for (const TagRecord& record : batch.records) {
    const bool isEarly = nextEarly < batch.early.size() && record.objectNo == batch.early[nextEarly];
    if (isEarly) ++nextEarly;
    if (!templateLost_ && !keeps(slot, record, table)) continue;
    kept_[slot].add(record, table);
    if (isEarly) waiting_[earlyRecordKey(slot, record.objectNo)] = kept_[slot].records.size() - 1;
  }
}

bool KeptValues::keeps(int slot, const TagRecord& record, const ParseTableSlot& table) {
  PairCell* pair = findPair(pairKey(slot, record.tagNameLength, record.seqNo));
  if (pair == nullptr) return false;
  // The first record of each pair tells a 5021 whether a path differed; the first of each
  // path and number answers its items.
  bool keep = !pair->kept;
  pair->kept = true;
  Wanted* wanted = wantedOf(*pair, tagPathOf(table, record), record.tagNameLength);
  if (wanted != nullptr && wanted->keptAt < 0) {
    wanted->keptAt = static_cast<int32_t>(kept_[slot].records.size());
    keep = true;
  }
  return keep;
}

void KeptValues::Kept::add(const TagRecord& record, const ParseTableSlot& table) {
  records.push_back(record);
  contentAt.push_back(-1);
  setContent(records.size() - 1, record, table);
}

void KeptValues::Kept::setContent(std::size_t index, const TagRecord& from, const ParseTableSlot& table) {
  TagRecord& record = records[index];
  if (from.contentOffset < 0 || from.contentLength <= 0) {
    record.contentOffset = -1;
    record.contentLength = 0;
    return;
  }
  // A content given later is put after the others; the one it replaces stays unread.
  const char* content = contentOf(table, from);
  record.contentOffset = 0;
  record.contentLength = from.contentLength;
  contentAt[index] = static_cast<int64_t>(contents.size());
  contents.insert(contents.end(), content, content + from.contentLength);
}

void KeptValues::keepLate(int slot, const TagRecord& record, const ParseTableSlot& table) {
  const auto found = waiting_.find(earlyRecordKey(slot, record.objectNo));
  if (found == waiting_.end()) return;
  Kept& kept = kept_[slot];
  kept.setContent(found->second, record, table);
  waiting_.erase(found);
}

int KeptValues::fillTables(OutputRun& run) {
  lookup_->finish();
  awaitItems();
  for (int slot = 0; slot < run.settings.inputCount; ++slot) {
    openTableCursor(run, slot);
    run.cursor.recordCount = 0;
    // The paths stay where the document left them; the contents start afresh, one a record
    // as before, so that a table that cannot grow fails where it did.
    run.cursor.contentUsed = 0;
    Kept& kept = kept_[slot];
    for (std::size_t k = 0; k < kept.records.size(); ++k) {
      const TagRecord& r = kept.records[k];
      int32_t offset = -1;
      if (r.contentOffset >= 0) {
        offset = run.cursor.contentUsed;
        const char* content = kept.contents.data() + kept.contentAt[k];
        if (appendContent(run, content, r.contentLength) != 0) return -1;
      }
      if (appendTagRecord(run, r.objectNo, r.seqNo, r.tagNameOffset, r.tagNameLength, offset, r.contentLength) != 0) {
        return -1;
      }
    }
    storeTableCursor(run, slot);
    tables_[slot] = run.tables[slot];
    // The table holds them now: given up before the output phase takes its areas.
    kept = Kept{};
  }
  return 0;
}

void KeptValues::pointKnownPaths(int inputCount) {
  std::size_t looked = 0;
  for (Known& entry : known_) {
    KnownItem& known = entry.item;
    if (known.item.fileNo < 1 || known.item.fileNo > inputCount) continue;
    known.path = paths_.data() + wanted_[static_cast<std::size_t>(itemKeys_[looked++])].pathAt;
  }
}

const KnownItem* KeptValues::itemAt(int32_t markerOffset) {
  if (nextKnown_ >= known_.size() || known_[nextKnown_].markerOffset != markerOffset) return nullptr;
  return &known_[nextKnown_++].item;
}

bool KeptValues::stretchAt(int32_t from, TemplateStretch* stretch) {
  if (nextKnown_ >= known_.size() || known_[nextKnown_].literalOffset != from) return false;
  const Known& known = known_[nextKnown_];
  // As nextStretch found it: the literal up to the item's START, the item closed by its END.
  stretch->literalOffset = from;
  stretch->literalLength = known.markerOffset - from;
  stretch->hasItem = true;
  stretch->closed = true;
  stretch->markerOffset = known.markerOffset;
  stretch->itemOffset = known.markerOffset + markers_.start.length;
  stretch->itemLength = known.itemLength;
  stretch->next = stretch->itemOffset + known.itemLength + markers_.end.length;
  return true;
}

bool KeptValues::answerNext(int slot, const char* path, int32_t length, int32_t seqNo, RecordMatch* match) {
  if (nextItem_ >= itemKeys_.size()) return false;
  // The items ask in the template's order, their records lie in the documents': the records
  // of the items further on, and then their contents, are fetched ahead, so that the misses
  // overlap.
  constexpr std::size_t kAhead = 8;
  for (const std::size_t ahead : {2 * kAhead, kAhead}) {
    if (nextItem_ + ahead >= itemKeys_.size()) continue;
    const Wanted& later = wanted_[static_cast<std::size_t>(itemKeys_[nextItem_ + ahead])];
    if (later.keptAt < 0) {
      if (ahead == kAhead) __builtin_prefetch(&pairs_[static_cast<std::size_t>(later.pairAt)]);
      continue;
    }
    const ParseTableSlot& table = tables_[later.pair >> 60];
    const TagRecord* record = recordAt(table, later.keptAt);
    if (ahead != kAhead) {
      __builtin_prefetch(record);
    } else if (record->contentOffset >= 0) {
      __builtin_prefetch(contentOf(table, *record));
    }
  }
  const Wanted& wanted = wanted_[static_cast<std::size_t>(itemKeys_[nextItem_++])];
  if (wanted.pair != pairKey(slot, length, seqNo) || !hasPath(wanted, path, length)) return false;
  // Without its path, the item's pair tells whether a record had its length and number.
  *match = RecordMatch{wanted.keptAt, wanted.keptAt < 0 && pairs_[static_cast<std::size_t>(wanted.pairAt)].kept};
  return true;
}

}  // namespace mq
