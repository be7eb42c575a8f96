#include "markup/parse_run.h"
#include "markup/path_index.h"

#include <cstring>

#include "common/message_log.h"
#include "common/text_helpers.h"
#include "common/texts.h"
#include "common/work_areas.h"
#include "markup/parser_scratch.h"

namespace mq {

namespace {

// The count of one distinct path, its parent's entry, and where its first record's path stands.
struct PathCountEntry {
  int32_t parent;  // -1 at the top
  int32_t count;
  int32_t pathOffset;  // in the slot's tag names
  int32_t pathLength;
};

// One bucket of the index, keyed by the parent's entry and the last name.
struct PathIndexBucket {
  uint32_t hash;
  int32_t entry;   // PathCounts entry number plus 1; 0: empty bucket
  int32_t parent;  // the parent path's entry number; -1 at the top
  int32_t unused;
};

PathCountEntry* entries(ParseRun& run) { return reinterpret_cast<PathCountEntry*>(run.scratch.pathCounts); }
PathIndexBucket* buckets(ParseRun& run) { return reinterpret_cast<PathIndexBucket*>(run.scratch.pathIndex); }
long bucketCount(ParseRun& run) { return run.scratch.pathIndexSize / static_cast<long>(sizeof(PathIndexBucket)); }

uint32_t hashName(int32_t parent, const unsigned char* bytes, int32_t length) {
  uint64_t h = uint64_t{0x9E3779B97F4A7C15} ^ (static_cast<uint64_t>(static_cast<uint32_t>(parent)) << 20) ^
               static_cast<uint64_t>(length);
  for (int32_t i = 0; i < length; i += 8) {
    h = (h ^ wordInRoom(bytes + i, length - i)) * uint64_t{0xFF51AFD7ED558CCD};
    h ^= h >> 32;
  }
  h ^= h >> 29;
  return static_cast<uint32_t>(h);
}

void insertBucket(PathIndexBucket* table, long count, const PathIndexBucket& bucket) {
  const auto mask = static_cast<uint32_t>(count - 1);
  uint32_t i = bucket.hash & mask;
  while (table[i].entry != 0) i = (i + 1) & mask;
  table[i] = bucket;
}

// Doubles the index when it is half full, so that probes stay short.
int growIndexIfNeeded(ParseRun& run) {
  ParserScratch& s = run.scratch;
  const long count = bucketCount(run);
  if (static_cast<long>(run.pathEntryCount) * 2 < count) return 0;
  const long long newSize = static_cast<long long>(s.pathIndexSize) * 2;
  unsigned char* fresh = nullptr;
  if (newSize > kLargestAreaSize || allocZeroed(&fresh, static_cast<long>(newSize)) != 0) {
    setMessage(run, kCodeGrowFailed, kFmtGrowFailed, kPathIndexArea.name, newSize);
    return -1;
  }
  auto* target = reinterpret_cast<PathIndexBucket*>(fresh);
  const PathIndexBucket* old = buckets(run);
  for (long i = 0; i < count; ++i) {
    if (old[i].entry != 0) insertBucket(target, count * 2, old[i]);
  }
  releaseArea(&s.pathIndex);
  s.pathIndex = fresh;
  s.pathIndexSize = static_cast<int32_t>(newSize);
  return 0;
}

// Whether the key names the path of `found`: the paths are equal when their parents and
// their last names are.
bool namesPath(const PathCountEntry& found, const PathKey& key, const unsigned char* tagNames) {
  const int32_t parentLength = key.pathLength - key.lastNameLength;
  return found.parent == key.parentEntry && found.pathLength == key.pathLength &&
         sameBytesInRoom(tagNames + found.pathOffset + parentLength, key.lastName, key.lastNameLength);
}

}  // namespace

void clearPathIndex(ParseRun& run) {
  run.pathEntryCount = 0;
  run.pathGuesses.fill(PathGuess{});
}

int32_t pathEntryCount(ParseRun& run) { return run.pathEntryCount; }

namespace {

// A key as a guess names it.
PathGuess guessOf(const PathKey& key, int32_t entry) {
  const int32_t length = key.lastNameLength;
  return PathGuess{key.parentEntry, entry, length, wordInRoom(key.lastName, length),
                   length > 8 ? wordInRoom(key.lastName + 8, length - 8) : 0};
}

// The guess slot of a key: its parent, the first eight bytes of its last name and the name's
// length, mixed. Keys that share them take turns in one slot; the index still finds them.
PathGuess& guessFor(ParseRun& run, const PathGuess& named) {
  const uint64_t mixed = (static_cast<uint64_t>(static_cast<uint32_t>(named.parent)) * uint64_t{0x9E3779B97F4A7C15}) ^
                         named.head ^ static_cast<uint64_t>(named.nameLength);
  return run.pathGuesses[static_cast<std::size_t>((mixed * uint64_t{0xFF51AFD7ED558CCD}) >> (64 - kPathGuessBits))];
}

// Whether the guess names the key's path: the same parent and the same last name.
bool guessNames(const PathGuess& guess, const PathGuess& named) {
  return guess.parent == named.parent && guess.nameLength == named.nameLength && guess.head == named.head &&
         guess.tail == named.tail;
}

// countPath through the index, the guess missed; the guess then names the path.
[[gnu::noinline]] int countPathInIndex(ParseRun& run, const PathKey& key, const unsigned char* tagNames,
                                       PathGuess& guess, int32_t* pathOffset, int32_t* entry, int32_t* sequence) {
  const uint32_t hash = hashName(key.parentEntry, key.lastName, key.lastNameLength);
  const auto mask = static_cast<uint32_t>(bucketCount(run) - 1);
  PathIndexBucket* table = buckets(run);
  for (uint32_t i = hash & mask; table[i].entry != 0; i = (i + 1) & mask) {
    if (table[i].hash != hash || table[i].parent != key.parentEntry) continue;
    PathCountEntry& found = entries(run)[table[i].entry - 1];
    if (namesPath(found, key, tagNames)) {
      *entry = table[i].entry - 1;
      *sequence = ++found.count;
      *pathOffset = found.pathOffset;
      guess = guessOf(key, *entry);
      return 0;
    }
  }
  entries(run)[run.pathEntryCount] = PathCountEntry{key.parentEntry, 1, *pathOffset, key.pathLength};
  const int32_t added = run.pathEntryCount++;
  const long needed = (static_cast<long>(run.pathEntryCount) + 1) * static_cast<long>(sizeof(PathCountEntry));
  if (ensureFieldRoom(run, run.scratch, kPathCountsArea, needed) != 0) return -1;
  insertBucket(buckets(run), bucketCount(run), PathIndexBucket{hash, added + 1, key.parentEntry, 0});
  if (growIndexIfNeeded(run) != 0) return -1;
  *entry = added;
  *sequence = 1;
  guess = guessOf(key, added);
  return 0;
}

}  // namespace

int countPath(ParseRun& run, const PathKey& key, const unsigned char* tagNames, int32_t* pathOffset, int32_t* entry,
              int32_t* sequence) {
  const PathGuess named = guessOf(key, 0);
  PathGuess& guess = guessFor(run, named);
  // A longer name is checked in the path's text too; a wrong guess only costs the look in the index.
  if (guessNames(guess, named)) {
    PathCountEntry& guessed = entries(run)[guess.entry];
    if (key.lastNameLength <= 16 || namesPath(guessed, key, tagNames)) {
      *entry = guess.entry;
      *sequence = ++guessed.count;
      *pathOffset = guessed.pathOffset;
      return 0;
    }
  }
  return countPathInIndex(run, key, tagNames, guess, pathOffset, entry, sequence);
}

int32_t countPathAgain(ParseRun& run, int32_t entry) { return ++entries(run)[entry].count; }

}  // namespace mq
