// One document scanned both ways, coded state by state and byte by byte, in the dialect the
// first byte chooses: the two must leave the same result, message and records.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/run_record.h"
#include "common/settings.h"
#include "common/work_areas.h"
#include "fuzz/fuzz_support.h"
#include "markup/parse_tables.h"
#include "markup/parser_scratch.h"
#include "markup/scanner.h"

namespace {

using namespace mq;

struct Scanned {
  int result = 0;
  std::string message;
  std::vector<std::string> records;
  bool operator==(const Scanned&) const = default;
};

Scanned scanned(const uint8_t* text, std::size_t size, InputKind kind, ScanPath path) {
  ParseRun& run = fuzzRun();
  setupRunRecord(run, "", "fuzz");
  Scanned out;
  // The areas are kept from input to input, as a run keeps them from document to document.
  static const bool ready = allocateParseTables(run, 1) == 0 && allocateParserScratch(run) == 0;
  if (!ready) std::abort();
  releaseArea(&run.scratch.inputText);
  if (allocZeroed(&run.scratch.inputText, static_cast<long>(size) + 16) != 0) std::abort();
  std::memcpy(run.scratch.inputText, text, size);
  run.scratch.inputSize = static_cast<int32_t>(size);
  openTableCursor(run, 0);
  run.cursor.recordCount = 0;
  run.cursor.tagNameUsed = 0;
  run.cursor.contentUsed = 0;
  out.result = scanMarkup(run, kind, path);
  storeTableCursor(run, 0);
  out.message = run.messageText;
  const ParseTableSlot& slot = run.tables[0];
  for (int32_t i = 0; i < slot.recordCount; ++i) {
    const TagRecord& r = *recordAt(slot, i);
    std::string line = std::to_string(r.objectNo) + "/" + std::to_string(r.seqNo) + "/" +
                       std::string(tagPathOf(slot, r), static_cast<std::size_t>(r.tagNameLength)) + "/";
    if (r.contentOffset != -1) line.append(contentOf(slot, r), static_cast<std::size_t>(r.contentLength));
    out.records.push_back(line);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0 || size > (1u << 20)) return 0;
  const InputKind kind = (data[0] & 1) != 0 ? InputKind::Html : InputKind::Xml;
  if (!(scanned(data + 1, size - 1, kind, ScanPath::Bulk) == scanned(data + 1, size - 1, kind, ScanPath::ByteByByte))) {
    __builtin_trap();
  }
  return 0;
}
