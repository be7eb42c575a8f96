// The markup scanner: one pass over the current input text (gParserScratch.inputText,
// inputSize bytes) through a table-driven state machine, filling the slot of the table
// cursor with tag, option and text records. The dialect is gSettings.inputKind.
#pragma once

#include <cstdint>

namespace mq {

struct ScannerVariables {
  int32_t position;
  int32_t scanState;
  int32_t previousState;
  int32_t objectCounter;
  int32_t openCount;
  int32_t pathCountSize;
  int32_t nameLength;
  int32_t textLength;
  unsigned char quoteChar;
  int32_t angleDepth;
  int32_t bracketDepth;
};

extern ScannerVariables gScanner;

// Start values for a new document, and the scratch areas zero-filled at their current sizes.
void resetScanner();

// 0 at the end of the text; -1 after a syntax fault (1021) or a failed growth (1014).
int scanMarkup();

}  // namespace mq
