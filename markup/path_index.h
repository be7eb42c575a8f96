// Sequence numbers of tag paths. Every distinct path of a document has one PathCounts entry
// that counts its records so far. A path is its parent's path followed by one name, so a
// hash index finds the entry by the parent's entry number and that last name alone, and
// no path is ever compared whole.
#pragma once

#include <cstdint>

namespace mq {

struct ParseRun;

// A path to count: its parent path's entry number (-1 for a path of one name), its last
// name and its whole length.
struct PathKey {
  int32_t parentEntry;
  const unsigned char* lastName;
  int32_t lastNameLength;
  int32_t pathLength;
};

// A path met lately, with its parent's entry: a slot of a small table picked by the parent
// and the start of the last name, looked at before the index. Siblings of a few names (the
// cells of a row, an image and its options) find their path there.
struct PathGuess {
  int32_t parent = -2;  // -2: none
  int32_t entry = 0;
  // The last name's length and first sixteen bytes (zero beyond its end): for a name of at
  // most sixteen bytes the guess is checked without reading the path's text.
  int32_t nameLength = 0;
  uint64_t head = 0;
  uint64_t tail = 0;
};
inline constexpr int kPathGuessBits = 10;
inline constexpr int kPathGuesses = 1 << kPathGuessBits;

// Forgets every path, for a new document; the scratch areas are cleared beside it.
void clearPathIndex(ParseRun& run);

// Counts one more record of the path: *sequence becomes its count with this record, *entry
// its entry number. A path not met before gets a new entry with *pathOffset,
// where the caller writes the path's text next; a path met before sets *pathOffset to where
// its text stands. tagNames is the slot's tag-name area, in which the texts of earlier paths
// stand. The last name and every path's text have eight bytes of their area after them. -1
// with message 1014 when an area cannot grow.
int countPath(ParseRun& run, const PathKey& key, const unsigned char* tagNames, int32_t* pathOffset, int32_t* entry,
              int32_t* sequence);

// Counts one more record of a path known by its entry number; returns its sequence number.
int32_t countPathAgain(ParseRun& run, int32_t entry);

// The number of distinct paths counted since the index was cleared.
int32_t pathEntryCount(ParseRun& run);

}  // namespace mq
