#include "convert/listing_stream.h"

#include <algorithm>
#include <iterator>
#include <cstring>
#include <utility>

#include "common/message_log.h"
#include "common/platform.h"
#include "common/text_helpers.h"
#include "common/texts.h"

namespace mq {

ListingStream::ListingStream(ListingRun& run, const char* fileName, const ListingFormat& format, ValuePath path)
    : ListingStream(run, fileName,
                    LineStyle{[&run, format, path](const ParseTableSlot& slot, const TagRecord& record, LineValue* value) {
                                return listingValueOf(run, slot, record, format, path, value);
                              },
                              // An escape takes four bytes for one.
                              [&run, path](int32_t length) {
                                return path == ValuePath::AsItStands && 4L * length + 16 < run.value.size;
                              },
                              listingValueMade, format.skipEmptyValues, format.separator, false,
                              format.writeHeader ? std::function<void(LineWriter&)>([format](LineWriter& out) {
                                writeListingHeader(out, format);
                              })
                                                 : nullptr,
                              true}) {}

ListingStream::ListingStream(ListingRun& run, const char* fileName, LineStyle style)
    : run_(run), fileName_(fileName), style_(std::move(style)) {}

ListingStream::~ListingStream() {
  if (file_ != nullptr) abandon();
}

bool ListingStream::open() {
  // A device or pipe is written in place, as it always was.
  if (!plainFileOrNone(fileName_.c_str())) return false;
  file_ = createFileBeside(fileName_.c_str(), &partName_);
  if (file_ == nullptr) return false;
  out_ = std::make_unique<LineWriter>(file_);
  writer_ = std::make_unique<BatchThread>([this](RecordBatch& batch) { writeBatch(batch); });
  return true;
}

void ListingStream::abandon() {
  if (file_ == nullptr) return;
  // None when the opening itself ran out of memory after making the file.
  if (writer_ != nullptr) writer_->stop();
  std::fclose(file_);
  file_ = nullptr;
  std::remove(partName_.c_str());
}

bool ListingStream::stopped(int slot) {
  if (!style_.endsAtEmptyDocument) return false;
  for (int k = 0; k < slot; ++k) {
    if (taken_[k] == 0) return true;
  }
  return false;
}

namespace {

// What the reading thread tells the writing thread of a record's value.
enum ValueMark : uint8_t { kMadeInPlace = 0, kMade = 1, kSkipped = 2 };

}  // namespace

int ListingStream::take(ParseRun& /*run*/, int slot, const TagRecord* records, int32_t count, const int32_t* early,
                        int32_t earlyCount) {
  if (count <= 0 || stopped(slot)) return 0;
  const ParseTableSlot& table = run_.tables[slot];
  RecordBatch batch = writer_->fresh();
  copier_.copy(table, slot, records, count, &batch);
  batch.early.assign(early, early + earlyCount);
  batch.marks.assign(static_cast<std::size_t>(count), kMadeInPlace);
  taken_[slot] += count;
  for (int32_t e = 0; e < earlyCount; ++e) waiting_.emplace(earlyRecordKey(slot, early[e]), earlySent_++);
  // Most batches hold no content long enough to be made here: then only empty ones are looked at.
  const bool allInPlace = style_.makesInPlace(batch.longest);
  for (int32_t r = 0; r < count && (!allInPlace || style_.skipsEmpty); ++r) {
    const TagRecord& record = records[r];
    const int32_t length = record.contentOffset >= 0 && record.contentLength > 0 ? record.contentLength : 0;
    if (allInPlace || style_.makesInPlace(length)) {
      if (length == 0 && style_.skipsEmpty) batch.marks[static_cast<std::size_t>(r)] = kSkipped;
      continue;
    }
    LineValue value{};
    if (style_.value(table, record, &value) != 0) return -1;
    uint8_t& mark = batch.marks[static_cast<std::size_t>(r)];
    if (value.skipped) {
      mark = kSkipped;
    } else if (!value.ownContent) {
      // A value made in a run's area goes after the copied contents.
      TagRecord& copied = batch.records[static_cast<std::size_t>(r)];
      copied.contentOffset = static_cast<int32_t>(batch.contents.size());
      copied.contentLength = static_cast<int32_t>(value.length);
      batch.contents.insert(batch.contents.end(), value.bytes, value.bytes + value.length);
      mark = kMade;
    }
  }
  writer_->send(std::move(batch));
  return 0;
}

void ListingStream::putLine(LineWriter& out, int slot, const ParseTableSlot& table, const TagRecord& record,
                            std::string_view value, CountedNumber* objectNumbers) const {
  const char* path = tagPathOf(table, record);
  const auto pathLength = static_cast<std::size_t>(record.tagNameLength);
  putRecordLine(out, style_.separator, slot + 1, record.objectNo, record.seqNo, path,
                style_.pathEndsAtNul ? textLength(path, pathLength) : pathLength, value.data(), value.size(),
                objectNumbers);
}

void ListingStream::writeBatch(RecordBatch& batch) {
  const ParseTableSlot table = mirror_.slotOf(batch);
  if (!headed_[batch.slot]) {
    headed_[batch.slot] = true;
    if (style_.header) style_.header(*out_);
  }
  std::size_t nextEarly = 0;
  for (std::size_t r = 0; r < batch.records.size(); ++r) {
    const TagRecord& record = batch.records[r];
    const bool isEarly = nextEarly < batch.early.size() && record.objectNo == batch.early[nextEarly];
    const long long at = out_->position();
    if (batch.marks[r] != kSkipped) {
      const bool hasContent = record.contentOffset >= 0 && record.contentLength > 0;
      const char* content = hasContent ? contentOf(table, record) : "";
      const auto length = static_cast<std::size_t>(hasContent ? record.contentLength : 0);
      const std::string_view value =
          batch.marks[r] == kMade ? std::string_view(content, length) : style_.make(content, length, &scratch_);
      putLine(*out_, batch.slot, table, record, value, &objectNumbers_);
    }
    if (isEarly) {
      placedAt_.push_back(PlacedLine{at, out_->position() - at});
      ++nextEarly;
    }
  }
}

int ListingStream::late(ParseRun& /*run*/, int slot, const TagRecord& record) {
  const auto found = waiting_.find(earlyRecordKey(slot, record.objectNo));
  if (found == waiting_.end()) return 0;  // a document after one without records
  const ParseTableSlot& table = run_.tables[slot];
  LineValue value{};
  if (style_.value(table, record, &value) != 0) return -1;
  Patch patch{slot, record.objectNo, found->second, 0, 0, {}};
  if (!value.skipped) {
    // The line is made as any other, into a text of its own.
    const auto line = std::make_unique<LineWriter>(&patch.line);
    putLine(*line, slot, table, record, std::string_view(value.bytes, value.length), nullptr);
    line->flush();
  }
  patches_.push_back(std::move(patch));
  waiting_.erase(found);
  return 0;
}

int ListingStream::startOver(ParseRun& /*run*/, int /*slot*/) {
  abandon();
  std::fill(std::begin(taken_), std::end(taken_), 0);
  std::fill(std::begin(headed_), std::end(headed_), false);
  waiting_.clear();
  earlySent_ = 0;
  patches_.clear();
  placedAt_.clear();
  copier_ = BatchCopier{};
  mirror_ = PathMirror{};
  objectNumbers_ = CountedNumber{};
  if (open()) return 0;
  setMessage(run_, kCodeOpenFailed, kFmtOpenFailed, fileName_.c_str());
  return -1;
}

int ListingStream::rewriteWithPatches() {
  // Lines skipped as empty stand at one offset: they go in in the order of their records.
  std::sort(patches_.begin(), patches_.end(), [](const Patch& a, const Patch& b) {
    return a.offset != b.offset ? a.offset < b.offset : a.slot != b.slot ? a.slot < b.slot : a.objectNo < b.objectNo;
  });
  std::FILE* written = std::fopen(partName_.c_str(), "rb");
  std::string rewrittenName;
  std::FILE* rewritten = written != nullptr ? createFileBeside(fileName_.c_str(), &rewrittenName) : nullptr;
  bool good = rewritten != nullptr;
  std::vector<char> block(1 << 20);
  long long at = 0;
  // Copies the written file up to `end`.
  auto copyTo = [&](long long end) {
    while (good && at < end) {
      const auto want = static_cast<std::size_t>(std::min<long long>(end - at, static_cast<long long>(block.size())));
      const std::size_t got = std::fread(block.data(), 1, want, written);
      good = got == want && std::fwrite(block.data(), 1, got, rewritten) == got;
      at += static_cast<long long>(got);
    }
  };
  for (const Patch& patch : patches_) {
    copyTo(patch.offset);
    good = good && std::fwrite(patch.line.data(), 1, patch.line.size(), rewritten) == patch.line.size();
    // The early line is passed over: read, not copied.
    const auto early = static_cast<std::size_t>(patch.length);
    if (good && early > 0) good = std::fread(block.data(), 1, early, written) == early;
    at += patch.length;
  }
  while (good) {
    const std::size_t got = std::fread(block.data(), 1, block.size(), written);
    if (got == 0) break;
    good = std::fwrite(block.data(), 1, got, rewritten) == got;
  }
  good = good && std::ferror(written) == 0;
  if (written != nullptr) std::fclose(written);
  if (rewritten != nullptr && std::fclose(rewritten) != 0) good = false;
  if (!good) {
    if (rewritten != nullptr) std::remove(rewrittenName.c_str());
    return -1;
  }
  std::remove(partName_.c_str());
  partName_ = rewrittenName;
  return 0;
}

int ListingStream::finish() {
  writer_->finish();
  for (Patch& patch : patches_) {
    patch.offset = placedAt_[patch.placed].offset;
    patch.length = placedAt_[patch.placed].length;
  }
  const bool flushed = out_->flush();
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  bool good = flushed && closed && (patches_.empty() || rewriteWithPatches() == 0);
  // What could be written takes the listing's name even after a failed write, as the lines of
  // a listing written in place would stay.
  if (!replaceFile(partName_.c_str(), fileName_.c_str())) {
    std::remove(partName_.c_str());
    good = false;
  }
  if (!good) {
    setMessage(run_, kCodeWriteFailed, kFmtWriteFailed, fileName_.c_str());
    return -1;
  }
  return 0;
}

}  // namespace mq
