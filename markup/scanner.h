// The markup scanner: one pass over the current input text (run.scratch.inputText,
// inputSize bytes) through the table-driven state machine, filling the slot of the table
// cursor with tag, option and text records.
#pragma once

#include <cstdint>

#include "common/settings.h"
#include "common/text_helpers.h"
#include "markup/scanner_tables.h"

namespace mq {

struct ParseRun;

// The scanner's variables, at their start values for every document.
struct ScannerVariables {
  int32_t position = 0;
  ScanState scanState = kBeforeFirstTag;
  ScanState previousState = kBeforeFirstTag;
  int32_t objectCounter = 0;  // objectNo of the latest record
  int32_t openCount = 0;      // entries of the open-tag stack
  int32_t notEmptyObject = 0;  // objectNo of an open element known not to be an empty one
  int32_t nameLength = 0;     // bytes in the name buffer
  int32_t textLength = 0;     // bytes in the text buffer
  unsigned char quoteChar = ' ';
  int32_t angleDepth = 0;
  int32_t bracketDepth = 0;
  // Where the last look-ahead over blanks before a value stopped and what it found: every
  // blank of the same run finds the same byte, so the run is looked over once.
  int32_t blanksEnd = 0;
  int16_t blanksOutcome = kAfterValue;
  int64_t lookedAhead = 0;  // bytes looked at beyond the current one
  // A text read in pieces: the bytes before the window, and their rows and columns.
  int64_t dropped = 0;
  RowsCols droppedRows;
};

// The text of a document in pieces, already in the working code.
class TextFeed {
 public:
  virtual ~TextFeed() = default;
  // Up to `room` next bytes of the text at target: their count, 0 at the end, or -1 with
  // the message set.
  virtual int32_t read(unsigned char* target, int32_t room) = 0;
};

// How the scan goes: coded state by state, taking the bytes that keep the scanner in its
// state with the same action as one run (the fast path), or one byte at a time through the
// class and transition tables. Both give the same records and messages; the second is there
// so that tests can hold the first against it.
enum class ScanPath { Bulk, ByteByByte };

// Scans the whole input text in the dialect of `kind` (XML or HTML), from the scanner's start
// values and with the scratch areas cleared; or, given a feed, the text it gives, through a
// window of the input text that keeps what the scanner has not passed. 0 at the end of the
// text; -1 after a syntax fault (1021), a failed growth (1014) or a failed read (the feed's).
// `window` is the window's first size.
int scanMarkup(ParseRun& run, InputKind kind, ScanPath path = ScanPath::Bulk, TextFeed* feed = nullptr,
               int32_t window = 1 << 20);

// The bytes the latest scan looked at, look-aheads included: its work, which must stay
// within a small multiple of the text's size whatever the text.
int64_t lastScanSteps(const ParseRun& run);

}  // namespace mq
