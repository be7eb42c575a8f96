// The parse tables: per input file a flat table of tag records with their tag paths and
// contents, filled through the one table cursor; and the scanner's scratch areas, which
// live only while input files are loaded.
#pragma once

#include <cstdint>

#include "common/settings.h"

namespace mq {

struct TagRecord {
  int32_t objectNo;
  int32_t seqNo;
  int32_t tagNameOffset;
  int32_t tagNameLength;
  int32_t contentOffset;  // -1: no content
  int32_t contentLength;
};

inline constexpr int32_t kTableAreaSize = 1048576;  // first size and step of every slot area

struct ParseTableSlot {
  unsigned char* records;
  int32_t recordCapacity;
  int32_t recordCount;
  unsigned char* tagNames;
  int32_t tagNameCapacity;
  unsigned char* contents;
  int32_t contentCapacity;
};

extern ParseTableSlot gParseTables[kMaxInputs];

// The slot being filled. The slot keeps the area references and capacities, so that
// growth during a fill never leaves it pointing at a replaced block; the cursor holds
// what the fill counts until it is stored back.
struct TableCursor {
  int slot;
  int32_t recordCount;
  int32_t tagNameUsed;
  int32_t contentUsed;
};

extern TableCursor gTableCursor;

inline TagRecord* recordAt(const ParseTableSlot& slot, int32_t index) {
  return reinterpret_cast<TagRecord*>(slot.records) + index;
}
inline const char* tagPathOf(const ParseTableSlot& slot, const TagRecord& record) {
  return reinterpret_cast<const char*>(slot.tagNames) + record.tagNameOffset;
}
inline const char* contentOf(const ParseTableSlot& slot, const TagRecord& record) {
  return reinterpret_cast<const char*>(slot.contents) + record.contentOffset;
}

// Takes the three 1 MiB areas of each of the gSettings.inputCount slots, in file order;
// on the first failure releases them all and leaves the 1011 message of that take.
int allocateParseTables();
// Releases every area of the configured slots that exists.
void releaseParseTables();

void openTableCursor(int slot);
void storeTableCursor(int slot);
// The appends write into the cursor's slot and grow its areas by one step (1014 on failure).
int appendTagRecord(int32_t objectNo, int32_t seqNo, int32_t tagNameOffset, int32_t tagNameLength,
                    int32_t contentOffset, int32_t contentLength);
int appendTagPath(const char* bytes, int32_t length);
int appendContent(const char* bytes, int32_t length);
void attachContent(int32_t recordIndex, int32_t offset, int32_t length);

struct OpenTagEntry {
  int32_t objectNo;
  int32_t nameOffset;
  int32_t nameLength;
};

struct PathCountEntry {
  int32_t firstObjectNo;
  int32_t count;
  int32_t pathOffset;
  int32_t pathLength;
};

inline constexpr int32_t kOpenTagStackSize = 4096;
inline constexpr int32_t kOpenTagNamesSize = 4096;
inline constexpr int32_t kPathCountsSize = 327680;
inline constexpr int32_t kNameBufferSize = 4096;
inline constexpr int32_t kNameBufferStep = 65536;
inline constexpr int32_t kTextBufferSize = 4096;
inline constexpr int32_t kTextBufferStep = 65536;
// The index over PathCounts that finds a path's entry without walking them all; it is
// known by the same name as the entries in memory messages.
inline constexpr int32_t kPathIndexSize = 65536;
// Beside each open element, the number of its path's PathCounts entry (part of the index).
inline constexpr int32_t kOpenPathsSize = 4096;

struct ParserScratch {
  unsigned char* openTagStack;
  int32_t openTagStackSize;
  unsigned char* openTagNames;
  int32_t openTagNamesSize;
  unsigned char* pathCounts;
  int32_t pathCountsSize;
  unsigned char* nameBuffer;
  int32_t nameBufferSize;
  unsigned char* textBuffer;
  int32_t textBufferSize;
  unsigned char* pathIndex;
  int32_t pathIndexSize;
  unsigned char* openPaths;
  int32_t openPathsSize;
  unsigned char* inputText;  // the document being loaded
  int32_t inputSize;
};

extern ParserScratch gParserScratch;

// Takes the five scratch areas in order, then the two of the path index; on the first failure
// releases them all (1011).
int allocateParserScratch();
// Releases the input text and every scratch area that exists.
void releaseParserScratch();

}  // namespace mq
