// The open elements of the document being read, as both ways in (the classic scanner and the
// standard parser) keep them in the parser scratch: each one's record and name, the current
// tag path, and the records an element and its texts make.
#pragma once

#include <cstdint>

#include "markup/parse_run.h"

namespace mq {

// An open element: its record, and where its name stands among the open elements' names.
struct OpenTagEntry {
  int32_t objectNo;
  int32_t nameOffset;
  int32_t nameLength;
};

inline OpenTagEntry* openTags(ParseRun& run) { return reinterpret_cast<OpenTagEntry*>(run.scratch.openTagStack); }

// The length of the current tag path: the names of the `openCount` open elements.
int32_t openPathLength(ParseRun& run, int32_t openCount);

// Opens the element named in the name buffer ("<NAME>" or "<<NAME>>", already upper-cased)
// as record objectNo inside the `*openCount` open ones: its path is counted for its sequence
// number, its record and path text appended. -1 with message 1014 when an area cannot grow.
int openElement(ParseRun& run, int32_t nameLength, int32_t objectNo, int32_t* openCount);

// A text of the innermost open element: its content, or, when the element already has one
// (a text after a child element), a continuation record numbered ++*objectCounter.
int attachToInnermost(ParseRun& run, int32_t openCount, int32_t* objectCounter, int32_t offset, int32_t length);

// Closes the innermost open element when it is one that never encloses anything.
void closeEmptyInnermost(ParseRun& run, int32_t* openCount);

}  // namespace mq
