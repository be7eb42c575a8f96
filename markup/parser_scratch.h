// The scanner's scratch areas: taken once before the first input of a load, cleared for
// each document and released after the last one. The listing reader borrows the name
// buffer as its line buffer.
#pragma once

#include <cstdint>

#include "common/texts.h"
#include "common/work_areas.h"

namespace mq {

struct ParseRun;

struct ParserScratch {
  unsigned char* openTagStack;  // an OpenTagEntry per open element, innermost last
  int32_t openTagStackSize;
  unsigned char* openTagNames;  // the open elements' names one after the other: the current path
  int32_t openTagNamesSize;
  unsigned char* pathCounts;  // a PathCountEntry per distinct tag path of the document
  int32_t pathCountsSize;
  unsigned char* nameBuffer;  // the tag or option name being read, with its brackets
  int32_t nameBufferSize;
  unsigned char* textBuffer;  // the text or option value being read
  int32_t textBufferSize;
  unsigned char* pathIndex;  // the path index's buckets over pathCounts
  int32_t pathIndexSize;
  unsigned char* openPaths;  // beside each open element, its path's PathCounts entry number
  int32_t openPathsSize;
  unsigned char* inputText;  // the document being loaded, NUL-padded; a block, not a named area
  int32_t inputSize;
};

// The scratch areas in the order they are taken. The path index and the open elements'
// entry numbers go by the name of the entries they lead to; the index doubles (step 0).
using ScratchArea = AreaField<ParserScratch>;
inline constexpr ScratchArea kOpenTagStackArea{&ParserScratch::openTagStack, &ParserScratch::openTagStackSize,
                                               kAreaOpenTagStack, 4096, 4096};
inline constexpr ScratchArea kOpenTagNamesArea{&ParserScratch::openTagNames, &ParserScratch::openTagNamesSize,
                                               kAreaOpenTagNames, 4096, 4096};
inline constexpr ScratchArea kPathCountsArea{&ParserScratch::pathCounts, &ParserScratch::pathCountsSize,
                                             kAreaPathCounts, 327680, 327680};
inline constexpr ScratchArea kNameBufferArea{&ParserScratch::nameBuffer, &ParserScratch::nameBufferSize,
                                             kAreaNameBuffer, 4096, 65536};
inline constexpr ScratchArea kTextBufferArea{&ParserScratch::textBuffer, &ParserScratch::textBufferSize,
                                             kAreaTextBuffer, 4096, 65536};
inline constexpr ScratchArea kPathIndexArea{&ParserScratch::pathIndex, &ParserScratch::pathIndexSize, kAreaPathCounts,
                                            65536, 0};
inline constexpr ScratchArea kOpenPathsArea{&ParserScratch::openPaths, &ParserScratch::openPathsSize, kAreaPathCounts,
                                            4096, 4096};
inline constexpr ScratchArea kScratchAreas[] = {kOpenTagStackArea, kOpenTagNamesArea, kPathCountsArea, kNameBufferArea,
                                                kTextBufferArea,   kPathIndexArea,    kOpenPathsArea};

// Takes the scratch areas in order; on the first failure releases them all (1011).
int allocateParserScratch(ParseRun& run);
// Releases the input text and every scratch area that exists.
void releaseParserScratch(ParseRun& run);
// Zero-fills every scratch area over its current size, for a new document.
void clearParserScratch(ParseRun& run);

}  // namespace mq
