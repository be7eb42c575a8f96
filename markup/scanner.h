// The markup scanner: one pass over the current input text (gParserScratch.inputText,
// inputSize bytes) through the table-driven state machine, filling the slot of the table
// cursor with tag, option and text records.
#pragma once

#include <cstdint>

#include "common/settings.h"

namespace mq {

// How bytes that keep the scanner in its state with the same action are taken: as one run
// (the fast path) or one at a time through the table. Both give the same records and
// messages; the second is there so that tests can hold the first against it.
enum class ScanPath { Bulk, ByteByByte };

// Scans the whole input text in the dialect of `kind` (XML or HTML), from the scanner's start
// values and with the scratch areas cleared. 0 at the end of the text; -1 after a syntax
// fault (1021) or a failed growth (1014).
int scanMarkup(InputKind kind, ScanPath path = ScanPath::Bulk);

// The bytes the latest scan looked at, look-aheads included: its work, which must stay
// within a small multiple of the text's size whatever the text.
int64_t lastScanSteps();

}  // namespace mq
