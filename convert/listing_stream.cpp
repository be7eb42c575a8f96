#include "convert/listing_stream.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "common/message_log.h"
#include "common/platform.h"
#include "common/texts.h"

namespace mq {

ListingStream::ListingStream(ListingRun& run, const char* fileName, const ListingFormat& format, ValuePath path)
    : ListingStream(run, fileName,
                    LineStyle{[&run, format, path](LineWriter& out, int fileNo, const ParseTableSlot& slot,
                                                   const TagRecord& record) {
                                return writeListingLine(run, out, fileNo, slot, record, format, path);
                              },
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
  return true;
}

void ListingStream::abandon() {
  if (file_ == nullptr) return;
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

int ListingStream::take(ParseRun& /*run*/, int slot, const TagRecord* records, int32_t count, const int32_t* early,
                        int32_t earlyCount) {
  if (count <= 0 || stopped(slot)) return 0;
  const ParseTableSlot& table = run_.tables[slot];
  if (taken_[slot] == 0 && style_.header) style_.header(*out_);
  taken_[slot] += count;
  int32_t nextEarly = 0;
  for (int32_t r = 0; r < count; ++r) {
    const bool isEarly = nextEarly < earlyCount && records[r].objectNo == early[nextEarly];
    const long long at = out_->position();
    if (style_.line(*out_, slot + 1, table, records[r]) != 0) return -1;
    if (isEarly) {
      placed_.push_back(Placed{slot, records[r].objectNo, at, out_->position() - at});
      ++nextEarly;
    }
  }
  return 0;
}

int ListingStream::late(ParseRun& /*run*/, int slot, const TagRecord& record) {
  const auto found = std::find_if(placed_.begin(), placed_.end(), [&](const Placed& placed) {
    return placed.slot == slot && placed.objectNo == record.objectNo;
  });
  if (found == placed_.end()) return 0;  // a document after one without records
  Patch patch{slot, record.objectNo, found->offset, found->length, {}};
  // The line is made as any other, into a text of its own.
  const auto line = std::make_unique<LineWriter>(&patch.line);
  if (style_.line(*line, slot + 1, run_.tables[slot], record) != 0) return -1;
  line->flush();
  patches_.push_back(std::move(patch));
  placed_.erase(found);
  return 0;
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
