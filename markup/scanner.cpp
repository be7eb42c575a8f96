#include "markup/scanner.h"

#include <cstring>

#include "common/message_log.h"
#include "common/settings.h"
#include "common/text_helpers.h"
#include "common/texts.h"
#include "common/work_areas.h"
#include "markup/parse_tables.h"
#include "markup/scanner_tables.h"

namespace mq {

ScannerVariables gScanner;

namespace {

constexpr int32_t kOpenTagStep = 4096;
constexpr int32_t kPathCountsStep = 327680;

// One bucket of the path index. A path is its parent's path followed by one name, so an
// entry is found by its parent's entry number and that last name; the hash covers both.
struct PathIndexBucket {
  uint32_t hash;
  int32_t entry;   // PathCounts entry number plus 1; 0: empty bucket
  int32_t parent;  // the parent path's entry number; -1 at the top
  int32_t unused;
};

ParseTableSlot& cursorSlot() { return gParseTables[gTableCursor.slot]; }

OpenTagEntry* openTags() { return reinterpret_cast<OpenTagEntry*>(gParserScratch.openTagStack); }
PathCountEntry* pathCounts() { return reinterpret_cast<PathCountEntry*>(gParserScratch.pathCounts); }

int32_t currentPathLength() {
  if (gScanner.openCount == 0) return 0;
  const OpenTagEntry& innermost = openTags()[gScanner.openCount - 1];
  return innermost.nameOffset + innermost.nameLength;
}

bool isQuote(unsigned char byte) { return byte == '"' || byte == '\''; }

// --- the two collecting buffers. Bytes beyond the length are always zero, so clearing
// only the used part leaves the whole buffer zero-filled.

// A collecting buffer of the scratch: its area, size, fill length, growth step and name.
struct Collector {
  unsigned char** area;
  int32_t* size;
  int32_t* length;
  int32_t step;
  const char* name;
};

Collector nameCollector() {
  return Collector{&gParserScratch.nameBuffer, &gParserScratch.nameBufferSize, &gScanner.nameLength, kNameBufferStep,
                   kAreaNameBuffer};
}
Collector textCollector() {
  return Collector{&gParserScratch.textBuffer, &gParserScratch.textBufferSize, &gScanner.textLength, kTextBufferStep,
                   kAreaTextBuffer};
}

// Appends a run of bytes, growing the buffer one step at a time exactly where appending
// them one by one would.
int appendRun(const Collector& to, const unsigned char* bytes, int32_t count) {
  do {
    int32_t room = *to.size - 16 - *to.length;
    if (room > count) room = count;
    unsigned char* target = *to.area + *to.length;
    if (room <= 16) {
      // Names and most texts are short; a plain loop beats a library call for them.
      for (int32_t i = 0; i < room; ++i) target[i] = bytes[i];
    } else {
      std::memcpy(target, bytes, static_cast<std::size_t>(room));
    }
    *to.length += room;
    bytes += room;
    count -= room;
    if (ensureAreaRoom(to.area, to.size, static_cast<long>(*to.length) + 16, to.step, to.name) != 0) return -1;
  } while (count > 0);
  return 0;
}

void clear(const Collector& what) {
  std::memset(*what.area, 0, static_cast<std::size_t>(*what.length));
  *what.length = 0;
}

int appendNameByte(unsigned char byte) {
  ParserScratch& s = gParserScratch;
  s.nameBuffer[gScanner.nameLength++] = byte;
  return ensureAreaRoom(&s.nameBuffer, &s.nameBufferSize, static_cast<long>(gScanner.nameLength) + 16, kNameBufferStep,
                        kAreaNameBuffer);
}
int appendNameRun(const unsigned char* bytes, int32_t count) {
  return count > 0 ? appendRun(nameCollector(), bytes, count) : 0;
}
void clearName() { clear(nameCollector()); }
int appendTextRun(const unsigned char* bytes, int32_t count) {
  return count > 0 ? appendRun(textCollector(), bytes, count) : 0;
}
void clearText() { clear(textCollector()); }

// --- sequence numbers

uint32_t hashName(int32_t parent, const unsigned char* bytes, int32_t length) {
  uint64_t h = uint64_t{0x9E3779B97F4A7C15} ^ (static_cast<uint64_t>(static_cast<uint32_t>(parent)) << 20) ^
               static_cast<uint64_t>(length);
  int32_t i = 0;
  for (; i + 8 <= length; i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    h = (h ^ word) * uint64_t{0xFF51AFD7ED558CCD};
    h ^= h >> 32;
  }
  for (; i < length; ++i) h = (h ^ bytes[i]) * uint64_t{0x100000001B3};
  h ^= h >> 29;
  return static_cast<uint32_t>(h);
}

PathIndexBucket* indexBuckets() { return reinterpret_cast<PathIndexBucket*>(gParserScratch.pathIndex); }
uint32_t indexMask() {
  return static_cast<uint32_t>(gParserScratch.pathIndexSize / static_cast<int32_t>(sizeof(PathIndexBucket))) - 1;
}
int32_t* openPaths() { return reinterpret_cast<int32_t*>(gParserScratch.openPaths); }

void insertIntoIndex(PathIndexBucket* buckets, uint32_t mask, const PathIndexBucket& bucket) {
  uint32_t i = bucket.hash & mask;
  while (buckets[i].entry != 0) i = (i + 1) & mask;
  buckets[i] = bucket;
}

// Doubles the index when it is half full, so that probes stay short.
int growIndexIfNeeded() {
  ParserScratch& s = gParserScratch;
  const long buckets = s.pathIndexSize / static_cast<long>(sizeof(PathIndexBucket));
  if (static_cast<long>(gScanner.pathCountSize) * 2 < buckets) return 0;
  const long newSize = static_cast<long>(s.pathIndexSize) * 2;
  unsigned char* fresh = nullptr;
  if (newSize > kLargestAreaSize || allocZeroed(&fresh, newSize) != 0) {
    setMessage(kCodeGrowFailed, kFmtGrowFailed, kAreaPathCounts, newSize);
    return -1;
  }
  PathIndexBucket* target = reinterpret_cast<PathIndexBucket*>(fresh);
  const uint32_t newMask = static_cast<uint32_t>(newSize / static_cast<long>(sizeof(PathIndexBucket))) - 1;
  const PathIndexBucket* old = indexBuckets();
  for (long i = 0; i < buckets; ++i) {
    if (old[i].entry != 0) insertIntoIndex(target, newMask, old[i]);
  }
  releaseArea(&s.pathIndex);
  s.pathIndex = fresh;
  s.pathIndexSize = static_cast<int32_t>(newSize);
  return 0;
}

// The sequence number of the path of the element just opened (the innermost open
// element, whose name ends the current path): the next count of its PathCounts entry, or
// 1 with a new entry. The entry's number is kept beside the open element.
int sequenceNumberOfOpened(int32_t* sequence) {
  ParserScratch& s = gParserScratch;
  const int32_t level = gScanner.openCount - 1;
  const OpenTagEntry& opened = openTags()[level];
  const int32_t length = opened.nameOffset + opened.nameLength;
  const int32_t parent = level > 0 ? openPaths()[level - 1] : -1;
  const unsigned char* name = s.openTagNames + opened.nameOffset;
  const ParseTableSlot& slot = cursorSlot();
  const uint32_t hash = hashName(parent, name, opened.nameLength);
  const uint32_t mask = indexMask();
  PathIndexBucket* buckets = indexBuckets();
  for (uint32_t i = hash & mask; buckets[i].entry != 0; i = (i + 1) & mask) {
    if (buckets[i].hash != hash || buckets[i].parent != parent) continue;
    PathCountEntry& entry = pathCounts()[buckets[i].entry - 1];
    // Same parent path: the paths are equal when their last names are.
    if (entry.pathLength == length && std::memcmp(slot.tagNames + entry.pathOffset + opened.nameOffset, name,
                                                  static_cast<std::size_t>(opened.nameLength)) == 0) {
      openPaths()[level] = buckets[i].entry - 1;
      *sequence = ++entry.count;
      return 0;
    }
  }
  pathCounts()[gScanner.pathCountSize] = PathCountEntry{gScanner.objectCounter, 1, gTableCursor.tagNameUsed, length};
  const int32_t entry = gScanner.pathCountSize++;
  if (ensureAreaRoom(&s.pathCounts, &s.pathCountsSize,
                     (static_cast<long>(gScanner.pathCountSize) + 1) * static_cast<long>(sizeof(PathCountEntry)),
                     kPathCountsStep, kAreaPathCounts) != 0) {
    return -1;
  }
  openPaths()[level] = entry;
  insertIntoIndex(indexBuckets(), indexMask(), PathIndexBucket{hash, entry + 1, parent, 0});
  if (growIndexIfNeeded() != 0) return -1;
  *sequence = 1;
  return 0;
}

// A continuation record takes the next number of its element's path, which is always
// known already.
int32_t sequenceNumberOfInnermost() { return ++pathCounts()[openPaths()[gScanner.openCount - 1]].count; }

// --- open elements

// Registers the name in NameBuffer ("<NAME>" or "<<NAME>>") as a record and opens it.
int registerName(bool html) {
  ParserScratch& s = gParserScratch;
  ScannerVariables& v = gScanner;
  if (html && isSkippedTagName(s.nameBuffer, v.nameLength)) return 0;
  ++v.objectCounter;
  toUpperAscii(reinterpret_cast<char*>(s.nameBuffer), reinterpret_cast<const char*>(s.nameBuffer), v.nameLength);
  const int32_t offset = currentPathLength();
  if (ensureAreaRoom(&s.openTagNames, &s.openTagNamesSize, static_cast<long>(offset) + v.nameLength + 16, kOpenTagStep,
                     kAreaOpenTagNames) != 0) {
    return -1;
  }
  std::memcpy(s.openTagNames + offset, s.nameBuffer, static_cast<std::size_t>(v.nameLength));
  openTags()[v.openCount] = OpenTagEntry{v.objectCounter, offset, v.nameLength};
  ++v.openCount;
  if (ensureAreaRoom(&s.openTagStack, &s.openTagStackSize,
                     (static_cast<long>(v.openCount) + 1) * static_cast<long>(sizeof(OpenTagEntry)), kOpenTagStep,
                     kAreaOpenTagStack) != 0) {
    return -1;
  }
  if (ensureAreaRoom(&s.openPaths, &s.openPathsSize,
                     (static_cast<long>(v.openCount) + 1) * static_cast<long>(sizeof(int32_t)), kOpenTagStep,
                     kAreaPathCounts) != 0) {
    return -1;
  }
  const int32_t pathLength = offset + v.nameLength;
  int32_t sequence = 0;
  if (sequenceNumberOfOpened(&sequence) != 0) return -1;
  if (appendTagRecord(v.objectCounter, sequence, gTableCursor.tagNameUsed, pathLength, -1, 0) != 0) return -1;
  return appendTagPath(reinterpret_cast<const char*>(s.openTagNames), pathLength);
}

// Closes the innermost open element named as NameBuffer and every element inside it;
// a name that is not open changes nothing.
void closeByName() {
  ScannerVariables& v = gScanner;
  if (v.openCount == 0) return;
  unsigned char* name = gParserScratch.nameBuffer;
  toUpperAscii(reinterpret_cast<char*>(name), reinterpret_cast<const char*>(name), v.nameLength);
  for (int32_t i = v.openCount - 1; i >= 0; --i) {
    const OpenTagEntry& entry = openTags()[i];
    if (entry.nameLength == v.nameLength && std::memcmp(gParserScratch.openTagNames + entry.nameOffset, name,
                                                        static_cast<std::size_t>(v.nameLength)) == 0) {
      v.openCount = i;
      return;
    }
  }
}

// An option is a record of its own but never encloses anything: register it and close
// it again at once. Closing it by its name would always find it innermost, so it is
// simply taken off again.
int registerOption(bool html) {
  const int32_t objectsBefore = gScanner.objectCounter;
  if (registerName(html) != 0) return -1;
  if (gScanner.objectCounter != objectsBefore) --gScanner.openCount;
  return 0;
}

void closeEmptyElement() {
  ScannerVariables& v = gScanner;
  if (v.openCount == 0) return;
  const OpenTagEntry& innermost = openTags()[v.openCount - 1];
  if (isEmptyElementName(gParserScratch.openTagNames + innermost.nameOffset, innermost.nameLength)) --v.openCount;
}

// --- texts

bool endsOptionValue(int32_t state) { return state == kAfterValue || state == kAfterValueBlank || state == kTagClosed; }

int attachText(int32_t offset, int32_t length) {
  ScannerVariables& v = gScanner;
  if (endsOptionValue(v.scanState)) {
    if (v.objectCounter > 0) attachContent(v.objectCounter - 1, offset, length);
    return 0;
  }
  const OpenTagEntry& element = openTags()[v.openCount - 1];
  const TagRecord owner = *recordAt(cursorSlot(), element.objectNo - 1);
  if (owner.contentOffset == -1) {
    attachContent(element.objectNo - 1, offset, length);
    return 0;
  }
  // A text after a child element of an element that already has text continues it.
  ++v.objectCounter;
  return appendTagRecord(v.objectCounter, sequenceNumberOfInnermost(), owner.tagNameOffset, owner.tagNameLength, offset,
                         length);
}

int flushText() {
  ScannerVariables& v = gScanner;
  const bool toOption = endsOptionValue(v.scanState);
  // A text outside every element has no record to belong to; it is dropped.
  const bool dropped = !toOption && v.openCount == 0;
  if (!dropped) {
    ParseTableSlot& slot = cursorSlot();
    if (ensureAreaRoom(&slot.contents, &slot.contentCapacity,
                       static_cast<long>(v.textLength) + gTableCursor.contentUsed + 16, kTableAreaSize,
                       kAreaContents) != 0) {
      return -1;
    }
    char* target = reinterpret_cast<char*>(slot.contents) + gTableCursor.contentUsed;
    const char* text = reinterpret_cast<const char*>(gParserScratch.textBuffer);
    int32_t length;
    if (isQuote(v.quoteChar)) {
      std::memcpy(target, text, static_cast<std::size_t>(v.textLength));
      length = v.textLength;
    } else {
      length = copyTrimmed(target, text, v.textLength);
    }
    target[length] = 0;
    if (length > 0 && attachText(gTableCursor.contentUsed, length) != 0) return -1;
    gTableCursor.contentUsed += length + 1;
  }
  clearText();
  v.quoteChar = ' ';
  return 0;
}

// --- rules

struct Input {
  const unsigned char* text;
  int32_t size;
  unsigned char at(int32_t index) const { return index < size ? text[index] : 0; }
};

int32_t applyRule(int32_t rule, unsigned char byte, const Input& input, bool html) {
  ScannerVariables& v = gScanner;
  const bool quoted = isQuote(v.quoteChar);
  switch (rule) {
    case 502: {
      if (quoted) return kValue;
      for (int32_t i = v.position + 1; i < input.size; ++i) {
        const unsigned char next = input.text[i];
        if (next == 0) break;
        if (isBlank(next)) continue;
        return isQuote(next) ? kBeforeValue : kAfterValue;
      }
      return kAfterValue;
    }
    case 503:
      return kValue;
    case 504:
      return quoted ? kValue : kTagClosed;
    case 505:
      return kValue;
    case 506:
      return v.quoteChar == '"' ? kAfterValue : kValue;
    case 507:
      return v.quoteChar == '\'' ? kAfterValue : kValue;
    case 508:
      return quoted ? kValue : kAfterValue;
    case 509:
      if (html && input.at(v.position + 1) == '-' && input.at(v.position + 2) == '-') {
        v.position += 2;
        return kComment;
      }
      // Every declaration counts its own brackets, so that one holding "<" cannot end the next early.
      v.angleDepth = 0;
      v.bracketDepth = 0;
      return kDeclaration;
    case 510:
      if (html && input.at(v.position + 1) == '-' && input.at(v.position + 2) == '>') {
        v.position += 2;
        return kCommentClosed;
      }
      return kComment;
    case 511:
      if (isQuote(v.quoteChar) && v.quoteChar != byte) return kValue;
      if (v.quoteChar == byte) return kAfterValue;
      return kBeforeValue;
    case 512:
      if (byte == '[') {
        ++v.bracketDepth;
        return kDeclaration;
      }
      --v.bracketDepth;
      return v.bracketDepth < 0 ? 1015 : kDeclaration;
    case 513:
      if (byte == '<') {
        ++v.angleDepth;
        return kDeclaration;
      }
      --v.angleDepth;
      if (v.bracketDepth > 0) return v.angleDepth < 0 ? 1016 : kDeclaration;
      return v.angleDepth > 0 ? kDeclaration : kDeclarationClosed;
    default:
      return rule;
  }
}

// --- actions on entering a state

int enterState(int32_t state, unsigned char byte, bool html) {
  ScannerVariables& v = gScanner;
  switch (state) {
    case kTagOpen:
      if (v.textLength > 0 && flushText() != 0) return -1;
      if (html) closeEmptyElement();
      return 0;
    case kTagName:
    case kEndTagName:
      if (v.nameLength == 0 && appendNameByte('<') != 0) return -1;
      return appendNameByte(byte);
    case kAfterTagName:
      if (v.nameLength > 0) {
        if (appendNameByte('>') != 0 || registerName(html) != 0) return -1;
        clearName();
      }
      return 0;
    case kOptionName:
      if (v.nameLength == 0 && (appendNameByte('<') != 0 || appendNameByte('<') != 0)) return -1;
      return appendNameByte(byte);
    case kAfterOptionName:
    case kBeforeValue:
      if (v.nameLength > 0) {
        if (appendNameByte('>') != 0 || appendNameByte('>') != 0 || registerOption(html) != 0) return -1;
        clearName();
      }
      v.quoteChar = byte;
      return 0;
    case kValue:
    case kText:
      return appendTextRun(&byte, 1);
    case kAfterValue:
      return v.textLength > 0 ? flushText() : 0;
    case kTagClosed:
      if (v.nameLength > 0) {
        if (appendNameByte('>') != 0) return -1;
        if (v.previousState == kOptionName) {
          if (appendNameByte('>') != 0 || registerOption(html) != 0) return -1;
        } else if (registerName(html) != 0) {
          return -1;
        }
        clearName();
      }
      return v.textLength > 0 ? flushText() : 0;
    case kEndTagClosed:
      if (appendNameByte('>') != 0) return -1;
      closeByName();
      clearName();
      return 0;
    default:
      return 0;
  }
}

int reportFault(int32_t fault, const Input& input) {
  long rows = 0;
  long columns = 0;
  countRowsCols(&rows, &columns, reinterpret_cast<const char*>(input.text), gScanner.position);
  setMessage(kCodeInputStructure, kFmtInputStructure, faultMessage(fault), rows, columns);
  return -1;
}

// The index of the first byte from `from` on that is NUL, the end, or one that `stops`.
int32_t runEnd(const Input& input, int32_t from, const bool* stops) {
  int32_t i = from;
  while (i < input.size && !stops[input.text[i]]) ++i;
  return i;
}

struct StopSets {
  bool text[256] = {};
  bool comment[256] = {};
  bool unquotedValue[256] = {};
  bool doubleQuoted[256] = {};
  bool singleQuoted[256] = {};
  bool tagName[256] = {};
  bool optionName[256] = {};
  bool endTagName[256] = {};
  StopSets() {
    mark(tagName, " \t\n\r<>=\"'!?");
    mark(optionName, " \t\n\r<>=\"'/!?");
    mark(endTagName, " \t\n\r<>=\"'!?");
    mark(text, "<>");
    mark(comment, "-");
    mark(unquotedValue, " >");
    mark(doubleQuoted, "\"");
    mark(singleQuoted, "'");
  }
  // Every run also stops at a NUL.
  static void mark(bool (&set)[256], const char* bytes) {
    set[0] = true;
    for (; *bytes != 0; ++bytes) set[static_cast<unsigned char>(*bytes)] = true;
  }
};

const StopSets& stopSets() {
  static const StopSets sets;
  return sets;
}

// Stretches in which every byte leads to the same state with the same action are taken
// as one run; the results are those of taking them byte by byte.
int takeRun(const Input& input) {
  ScannerVariables& v = gScanner;
  const StopSets& stops = stopSets();
  // The bytes that end a run in each state, and where its bytes are collected.
  const bool* stop = nullptr;
  int (*collect)(const unsigned char*, int32_t) = nullptr;
  switch (v.scanState) {
    case kBeforeFirstTag:
      stop = stops.text;
      break;
    case kComment:
      stop = stops.comment;
      break;
    case kText:
      stop = stops.text;
      collect = appendTextRun;
      break;
    case kTagName:
      stop = stops.tagName;
      collect = appendNameRun;
      break;
    case kOptionName:
      stop = stops.optionName;
      collect = appendNameRun;
      break;
    case kEndTagName:
      stop = stops.endTagName;
      collect = appendNameRun;
      break;
    case kValue:
      stop = v.quoteChar == '"' ? stops.doubleQuoted : v.quoteChar == '\'' ? stops.singleQuoted : stops.unquotedValue;
      collect = appendTextRun;
      break;
    default:
      return 0;
  }
  const int32_t from = v.position + 1;
  const int32_t end = runEnd(input, from, stop);
  if (collect != nullptr && collect(input.text + from, end - from) != 0) return -1;
  if (end > from) {
    v.previousState = v.scanState;
    v.position = end - 1;
  }
  return 0;
}

}  // namespace

void resetScanner() {
  gScanner = ScannerVariables{};
  gScanner.quoteChar = ' ';
  ParserScratch& s = gParserScratch;
  const auto clear = [](unsigned char* area, int32_t size) {
    if (area != nullptr) std::memset(area, 0, static_cast<std::size_t>(size));
  };
  clear(s.openTagStack, s.openTagStackSize);
  clear(s.openTagNames, s.openTagNamesSize);
  clear(s.pathCounts, s.pathCountsSize);
  clear(s.nameBuffer, s.nameBufferSize);
  clear(s.textBuffer, s.textBufferSize);
  clear(s.pathIndex, s.pathIndexSize);
  clear(s.openPaths, s.openPathsSize);
}

int scanMarkup() {
  const bool html = gSettings.inputKind == InputKind::Html;
  const Dialect& dialect = html ? htmlDialect() : xmlDialect();
  const Input input{gParserScratch.inputText, gParserScratch.inputSize};
  ScannerVariables& v = gScanner;
  // The text ends at its first NUL, even when that is its first byte.
  if (input.size <= 0 || input.text[v.position] == 0) return 0;
  for (;;) {
    const unsigned char byte = input.text[v.position];
    v.previousState = v.scanState;
    int32_t next = dialect.transitions[v.scanState][dialect.classes[byte]];
    if (next >= kFirstFault) return reportFault(next, input);
    if (next >= kFirstRule) {
      next = applyRule(next, byte, input, html);
      if (next >= kFirstFault) return reportFault(next, input);
    }
    v.scanState = next;
    if (enterState(next, byte, html) != 0) return -1;
    if (takeRun(input) != 0) return -1;
    ++v.position;
    if (v.position >= input.size || input.text[v.position] == 0) break;
  }
  // A text still open inside an element at the end belongs to it, as if a "<" followed.
  if (v.scanState == kText && v.textLength > 0) return flushText();
  return 0;
}

}  // namespace mq
