#include "markup/parse_run.h"
#include "markup/open_elements.h"

#include <cstring>

#include "markup/parse_tables.h"
#include "markup/parser_scratch.h"
#include "markup/path_index.h"
#include "markup/scanner_tables.h"

namespace mq {

namespace {

int32_t* openPaths(ParseRun& run) { return reinterpret_cast<int32_t*>(run.scratch.openPaths); }

}  // namespace

int32_t openPathLength(ParseRun& run, int32_t openCount) {
  if (openCount == 0) return 0;
  const OpenTagEntry& innermost = openTags(run)[openCount - 1];
  return innermost.nameOffset + innermost.nameLength;
}

int openElement(ParseRun& run, int32_t nameLength, int32_t objectNo, int32_t* openCount) {
  ParserScratch& s = run.scratch;
  const int32_t offset = openPathLength(run, *openCount);
  if (ensureFieldRoom(run, s, kOpenTagNamesArea, static_cast<long>(offset) + nameLength + 16) != 0) return -1;
  std::memcpy(s.openTagNames + offset, s.nameBuffer, static_cast<std::size_t>(nameLength));
  const int32_t level = *openCount;
  openTags(run)[level] = OpenTagEntry{objectNo, offset, nameLength};
  ++*openCount;
  const long entries = static_cast<long>(*openCount) + 1;
  if (ensureFieldRoom(run, s, kOpenTagStackArea, entries * static_cast<long>(sizeof(OpenTagEntry))) != 0 ||
      ensureFieldRoom(run, s, kOpenPathsArea, entries * static_cast<long>(sizeof(int32_t))) != 0) {
    return -1;
  }
  const int32_t pathLength = offset + nameLength;
  // The name as the name buffer holds it, the copy just stored being slow to read back whole.
  const PathKey key{level > 0 ? openPaths(run)[level - 1] : -1, s.nameBuffer, nameLength, pathLength};
  int32_t entry = 0;
  int32_t sequence = 0;
  int32_t pathOffset = run.cursor.tagNameUsed;
  const unsigned char* tagNames = cursorSlot(run).tagNames;
  if (countPath(run, key, tagNames, &pathOffset, &entry, &sequence) != 0) return -1;
  openPaths(run)[level] = entry;
  if (appendTagRecord(run, objectNo, sequence, pathOffset, pathLength, -1, 0) != 0) return -1;
  // Records of one path share its text: the names area grows with the distinct paths only.
  if (sequence > 1) return 0;
  return appendTagPath(run, reinterpret_cast<const char*>(s.openTagNames), pathLength);
}

int attachToInnermost(ParseRun& run, int32_t openCount, int32_t* objectCounter, int32_t offset, int32_t length) {
  const OpenTagEntry& element = openTags(run)[openCount - 1];
  const TagRecord* kept = tableRecord(run, element.objectNo);
  const TagRecord owner = kept != nullptr ? *kept : *givenRecordOf(run, element.objectNo);
  if (owner.contentOffset == -1) return setRecordContent(run, element.objectNo, offset, length);
  // A text after a child element of an element that already has text continues it.
  ++*objectCounter;
  return appendTagRecord(run, *objectCounter, countPathAgain(run, openPaths(run)[openCount - 1]), owner.tagNameOffset,
                         owner.tagNameLength, offset, length);
}

void closeEmptyInnermost(ParseRun& run, int32_t* openCount) {
  if (*openCount == 0) return;
  const OpenTagEntry& innermost = openTags(run)[*openCount - 1];
  if (isEmptyElementName(run.scratch.openTagNames + innermost.nameOffset, innermost.nameLength)) --*openCount;
}

}  // namespace mq
