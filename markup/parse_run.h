// What one run owns while it reads documents and tag listings: its record (the current
// message), the nine parse-table slots with their cursor, the parser's scratch areas and
// the state of the scanner and of the standard parser's records. A run makes one and hands
// it down to every step; runs on other threads have their own.
#pragma once

#include <array>
#include <cstdint>

#include "common/run_record.h"
#include "markup/parse_tables.h"
#include "markup/path_index.h"
#include "markup/parser_scratch.h"
#include "markup/record_flow.h"
#include "markup/scanner.h"
#include "markup/standard_records.h"

namespace mq {

struct PieceSizes {
  bool enabled = true;
  int64_t wholeUpTo = 1 << 20;  // documents of at most this many bytes are read whole
  int32_t piece = 1 << 20;      // bytes read and converted at a time
  int32_t window = 1 << 20;     // the scanner's first window
  int32_t checkedInTwo = 256 << 10;  // pieces of this many bytes or more are checked in two halves at once
  bool decidesBesideTheScan = true;  // a lone document is scanned while its code is decided over the whole
};

struct ParseRun : RunRecord {
  ParseTableSlot tables[kMaxInputs];
  TableCursor cursor;
  ParserScratch scratch;
  int32_t pathEntryCount;
  std::array<PathGuess, kPathGuesses> pathGuesses;
  ScannerVariables scanner;
  StandardState standard;
  RecordFlow flow;
  // Documents larger than one piece are read in pieces where they can be. Tests make the
  // pieces small, or turn them off, to hold the pieces against the whole text.
  PieceSizes pieces;
};

// The slot the cursor fills.
inline ParseTableSlot& cursorSlot(ParseRun& run) { return run.tables[run.cursor.slot]; }

}  // namespace mq
