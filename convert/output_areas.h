// The work areas of Marquill's output phase: the output buffer, the two areas of the
// replacement table, the work area that holds one item code, line or cleaned value at a
// time, the loaded template and the per-document record indexes. Taken at the start of
// the phase and released at its end, after success and failure alike.
#pragma once

#include <cstdint>

#include "common/settings.h"

namespace mq {

struct OutputRun;

inline constexpr int32_t kOutputBufferSize = 20480;   // fixed: it never grows
inline constexpr int32_t kReplaceEntriesSize = 20480;  // first size and step
inline constexpr int32_t kReplaceTextsSize = 524288;   // first size and step
inline constexpr int32_t kWorkAreaSize = 4096;         // first size and step

struct ReplacementEntry {
  int32_t line;
  int32_t number;
  int32_t beforeOffset;
  int32_t beforeLength;
  int32_t afterOffset;
  int32_t afterLength;
};

inline constexpr int32_t kLargestReplaceNo = 9999;

// Where each document's records are found by path and sequence number (see record_index.h).
struct IndexTables {
  unsigned char* slots;  // int32_t record numbers + 1; 0 is an empty slot
  int32_t slotCount;     // a power of two, or 0 while not built
  unsigned char* pairs;  // int32_t record numbers + 1, keyed by path length and sequence number
  int32_t pairCount;
};

// How the document's tag paths were upper-cased, and so how an item's path must be.
enum class NameRule : unsigned char { Unknown, ByteWise, CharacterWise };

struct RecordIndex {
  // Numbers 1 to 9999, which nearly every item asks for, and the numbers above them, whose
  // table is built only when an item asks for one.
  IndexTables tiers[2];
  NameRule nameRule;
};

struct OutputAreas {
  unsigned char* outputBuffer;
  int32_t outputUsed;

  unsigned char* replaceEntries;
  int32_t replaceEntriesSize;
  int32_t replaceCount;
  unsigned char* replaceTexts;
  int32_t replaceTextsSize;
  int32_t replaceTextsUsed;
  // The entry number + 1 of each replacement number, 0 when it has none; filled with the table.
  int32_t entryOfNumber[kLargestReplaceNo + 1];

  unsigned char* work;
  int32_t workSize;
  int32_t workUsed;

  unsigned char* definition;  // the template, followed by at least 16 zero bytes
  int32_t definitionSize;
  int32_t definitionTextLength;  // up to its first NUL byte

  RecordIndex indexes[kMaxInputs];
};

// Forgets every reference, then takes the areas the configured output kind needs, in the
// order output buffer, replacement entries, replacement texts, work area. On a failed take
// releases them all and returns -1 with message 1011.
int takeOutputAreas(OutputRun& run);

// Releases the template, the four areas and the record indexes that are held; releasing
// twice is harmless.
void releaseOutputAreas(OutputRun& run);

// Clears the bytes the work area holds (its used length, which every user keeps) and sets
// that length to 0; every byte past them is still zero, so a grown area is not cleared
// whole for every item.
void clearWorkArea(OutputRun& run);

}  // namespace mq
