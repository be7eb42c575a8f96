// A tag listing written while its documents are read, so that the run keeps only what later
// records need. The values are made on the reading thread, where their areas and messages are;
// the lines are put and written on a thread of their own. They go to a new file beside the
// listing, which takes the listing's name only when the run succeeds: a run that fails leaves
// an old listing as it was. A record written while its element was open and empty that later
// gets content is written again in its place when the listing is finished.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/line_writer.h"
#include "convert/record_batches.h"
#include "convert/listing_writer.h"
#include "markup/record_flow.h"

namespace mq {

// How the lines of a listing are made:
// - value: a record's value, made on the reading thread (0, or -1 with the message set);
// - makesInPlace: whether the value of a record with content of this length is made without
//   growing any area; such a value is made on the writing thread by `make`, which cannot fail;
// - skipsEmpty: a record without content has no line (when it is made in place);
// - the separator, whether a path's text ends at a NUL, the header before each document's
//   lines, and whether a document without records ends the listing.
struct LineStyle {
  std::function<int(const ParseTableSlot& slot, const TagRecord& record, LineValue* value)> value;
  std::function<bool(int32_t length)> makesInPlace;
  std::string_view (*make)(const char* value, std::size_t length, std::string* scratch);
  bool skipsEmpty;
  char separator;
  bool pathEndsAtNul;
  std::function<void(LineWriter& out)> header;
  bool endsAtEmptyDocument;
};

// Where an early line was written.
struct PlacedLine {
  long long offset;
  long long length;
};

class ListingStream : public RecordSink {
 public:
  // The listing tools' lines; a failed write's message names fileName.
  ListingStream(ListingRun& run, const char* fileName, const ListingFormat& format, ValuePath path = ValuePath::AsItStands);
  ListingStream(ListingRun& run, const char* fileName, LineStyle style);
  ~ListingStream() override;
  ListingStream(const ListingStream&) = delete;
  ListingStream& operator=(const ListingStream&) = delete;

  // Makes the file beside the listing; false when it cannot (the caller then writes the
  // listing after the load, as before).
  bool open();
  // After a load that succeeded: the late lines put in place and the file named as the
  // listing. 0, or -1 with message 1002 (the lines written stay under the listing's name).
  int finish();
  // After a load that failed: the file removed, the listing untouched.
  void abandon();

  int take(ParseRun& run, int slot, const TagRecord* records, int32_t count, const int32_t* early,
           int32_t earlyCount) override;
  int late(ParseRun& run, int slot, const TagRecord& record) override;
  // The lines taken so far are given up with their file, and a new file made.
  bool startsOver() const override { return true; }
  int startOver(ParseRun& run, int slot) override;

 private:
  struct Patch {
    int32_t slot;
    int32_t objectNo;
    std::size_t placed;  // its early line, in placedAt_
    long long offset;
    long long length;
    std::string line;
  };
  bool stopped(int slot);
  int rewriteWithPatches();
  // A record's line with its value made, on either thread.
  void putLine(LineWriter& out, int slot, const ParseTableSlot& table, const TagRecord& record, std::string_view value,
               CountedNumber* objectNumbers) const;
  // On the writing thread.
  void writeBatch(RecordBatch& batch);

  ListingRun& run_;
  std::string fileName_;
  LineStyle style_;
  std::string partName_;
  std::FILE* file_ = nullptr;
  std::unique_ptr<LineWriter> out_;
  int32_t taken_[kMaxInputs] = {};
  BatchCopier copier_;
  // The writing thread's own.
  PathMirror mirror_;
  bool headed_[kMaxInputs] = {};
  std::string scratch_;
  CountedNumber objectNumbers_;
  std::vector<PlacedLine> placedAt_;
  std::unique_ptr<BatchThread> writer_;
  // The early lines sent to the writing thread and not yet patched, by (document, objectNo):
  // their number in order, which is where placedAt_ will hold them once the thread has finished.
  std::unordered_map<int64_t, std::size_t> waiting_;
  std::size_t earlySent_ = 0;
  std::vector<Patch> patches_;
};

}  // namespace mq
