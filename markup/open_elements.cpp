#include "markup/open_elements.h"

#include <cstring>

#include "markup/parse_tables.h"
#include "markup/parser_scratch.h"
#include "markup/path_index.h"
#include "markup/scanner_tables.h"

namespace mq {

namespace {

int32_t* openPaths() { return reinterpret_cast<int32_t*>(gParserScratch.openPaths); }

}  // namespace

int32_t openPathLength(int32_t openCount) {
  if (openCount == 0) return 0;
  const OpenTagEntry& innermost = openTags()[openCount - 1];
  return innermost.nameOffset + innermost.nameLength;
}

int openElement(int32_t nameLength, int32_t objectNo, int32_t* openCount) {
  ParserScratch& s = gParserScratch;
  const int32_t offset = openPathLength(*openCount);
  if (ensureFieldRoom(s, kOpenTagNamesArea, static_cast<long>(offset) + nameLength + 16) != 0) return -1;
  std::memcpy(s.openTagNames + offset, s.nameBuffer, static_cast<std::size_t>(nameLength));
  const int32_t level = *openCount;
  openTags()[level] = OpenTagEntry{objectNo, offset, nameLength};
  ++*openCount;
  const long entries = static_cast<long>(*openCount) + 1;
  if (ensureFieldRoom(s, kOpenTagStackArea, entries * static_cast<long>(sizeof(OpenTagEntry))) != 0 ||
      ensureFieldRoom(s, kOpenPathsArea, entries * static_cast<long>(sizeof(int32_t))) != 0) {
    return -1;
  }
  const int32_t pathLength = offset + nameLength;
  const PathKey key{level > 0 ? openPaths()[level - 1] : -1, s.openTagNames + offset, nameLength, pathLength};
  int32_t entry = 0;
  int32_t sequence = 0;
  if (countPath(key, cursorSlot().tagNames, objectNo, gTableCursor.tagNameUsed, &entry, &sequence) != 0) {
    return -1;
  }
  openPaths()[level] = entry;
  if (appendTagRecord(objectNo, sequence, gTableCursor.tagNameUsed, pathLength, -1, 0) != 0) return -1;
  return appendTagPath(reinterpret_cast<const char*>(s.openTagNames), pathLength);
}

int attachToInnermost(int32_t openCount, int32_t* objectCounter, int32_t offset, int32_t length) {
  const OpenTagEntry& element = openTags()[openCount - 1];
  const TagRecord owner = *recordAt(cursorSlot(), element.objectNo - 1);
  if (owner.contentOffset == -1) {
    attachContent(element.objectNo - 1, offset, length);
    return 0;
  }
  // A text after a child element of an element that already has text continues it.
  ++*objectCounter;
  return appendTagRecord(*objectCounter, countPathAgain(openPaths()[openCount - 1]), owner.tagNameOffset,
                         owner.tagNameLength, offset, length);
}

void closeEmptyInnermost(int32_t* openCount) {
  if (*openCount == 0) return;
  const OpenTagEntry& innermost = openTags()[*openCount - 1];
  if (isEmptyElementName(gParserScratch.openTagNames + innermost.nameOffset, innermost.nameLength)) --*openCount;
}

}  // namespace mq
