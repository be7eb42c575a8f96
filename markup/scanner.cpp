#include "markup/parse_run.h"
#include "markup/scanner.h"

#include <array>
#include <climits>
#include <cstring>

#include "common/message_log.h"
#include "common/text_helpers.h"
#include "common/texts.h"
#include "common/work_areas.h"
#include "markup/open_elements.h"
#include "markup/parse_tables.h"
#include "markup/parser_scratch.h"
#include "markup/path_index.h"
#include "markup/scanner_tables.h"

namespace mq {

namespace {


// The text being scanned and its dialect; read in pieces, the window over it.
struct Scan {
  const unsigned char* text;
  int32_t size;
  const Dialect* dialect;
  bool html;
  TextFeed* feed;
  int32_t capacity;  // of the window, 16 zero bytes after it not counted
  bool ended;        // the feed has given its last byte
  int32_t refillFrom;  // the window moves on when the scan reaches it
  unsigned char at(int32_t index) const { return index < size ? text[index] : 0; }
  bool mayGrow() const { return feed != nullptr && !ended; }
};

// The rules look at most this many bytes past the current one, save the blanks' look-ahead.
constexpr int32_t kKeepAhead = 3;

// Where the window must move on so that the rules see the bytes they look at.
int32_t refillPoint(const Scan& scan) { return scan.mayGrow() ? scan.size - kKeepAhead : INT32_MAX; }

// Moves the window on: the bytes before keepFrom are counted and dropped, the rest moved to
// its start and the room after them filled from the feed. The window doubles when what it
// keeps fills half of it (a look-ahead over a long run of blanks).
int refill(ParseRun& run, Scan& scan, int32_t keepFrom) {
  ScannerVariables& v = run.scanner;
  ParserScratch& s = run.scratch;
  countRowsColsOn(&v.droppedRows, reinterpret_cast<const char*>(s.inputText), keepFrom);
  v.dropped += keepFrom;
  const int32_t kept = scan.size - keepFrom;
  std::memmove(s.inputText, s.inputText + keepFrom, static_cast<std::size_t>(kept));
  v.position -= keepFrom;
  v.blanksEnd = v.blanksEnd > keepFrom ? v.blanksEnd - keepFrom : 0;
  scan.size = kept;
  if (kept > scan.capacity / 2) {
    const long grown = 2L * scan.capacity;
    unsigned char* larger = nullptr;
    if (grown > kLargestAreaSize - 16 || allocZeroed(&larger, grown + 16) != 0) {
      setMessage(run, kCodeGrowFailed, kFmtGrowFailed, kAreaWork, static_cast<long long>(grown) + 16);
      return -1;
    }
    std::memcpy(larger, s.inputText, static_cast<std::size_t>(kept));
    releaseArea(&s.inputText);
    s.inputText = larger;
    scan.capacity = static_cast<int32_t>(grown);
  }
  while (scan.size < scan.capacity && !scan.ended) {
    const int32_t got = scan.feed->read(s.inputText + scan.size, scan.capacity - scan.size);
    if (got < 0) return -1;
    scan.ended = got == 0;
    scan.size += got;
  }
  std::memset(s.inputText + scan.size, 0, static_cast<std::size_t>(scan.capacity + 16 - scan.size));
  scan.text = s.inputText;
  s.inputSize = scan.size;
  scan.refillFrom = refillPoint(scan);
  return 0;
}

bool isQuote(unsigned char byte) { return byte == '"' || byte == '\''; }

// --- the two collecting buffers. Bytes beyond the length are always zero, so clearing
// only the used part leaves the whole buffer zero-filled.

// Appends a run of bytes, growing the buffer one step at a time exactly where appending
// them one by one would. Inlined into the runs: most are names of a few bytes, for which
// the call costs more than the copy.
[[gnu::always_inline]] inline int appendRun(ParseRun& run, const ScratchArea& buffer, int32_t* length,
                                            const unsigned char* bytes, int32_t count) {
  ParserScratch& s = run.scratch;
  // Bytes that leave the buffer room to spare need no growth on the way.
  if (static_cast<long long>(*length) + count + 16 < s.*buffer.size) {
    unsigned char* target = s.*buffer.area + *length;
    if (count <= 16) {
      copyShort(target, bytes, static_cast<std::size_t>(count));
    } else {
      std::memcpy(target, bytes, static_cast<std::size_t>(count));
    }
    *length += count;
    return 0;
  }
  do {
    int32_t room = s.*buffer.size - 16 - *length;
    if (room > count) room = count;
    unsigned char* target = s.*buffer.area + *length;
    if (room <= 16) {
      // Names and most texts are short; moves of fixed sizes beat a library call for them.
      copyShort(target, bytes, static_cast<std::size_t>(room));
    } else {
      std::memcpy(target, bytes, static_cast<std::size_t>(room));
    }
    *length += room;
    bytes += room;
    count -= room;
    if (ensureFieldRoom(run, s, buffer, static_cast<long>(*length) + 16) != 0) return -1;
  } while (count > 0);
  return 0;
}

void clearBuffer(ParseRun& run, const ScratchArea& buffer, int32_t* length) {
  // Sixteen bytes of room follow the bytes, and zero bytes stay zero: a short text is cleared
  // by a store of a known size, not a library call.
  if (*length <= 16) {
    std::memset(run.scratch.*buffer.area, 0, 16);
  } else {
    std::memset(run.scratch.*buffer.area, 0, static_cast<std::size_t>(*length));
  }
  *length = 0;
}

int appendNameByte(ParseRun& run, unsigned char byte) {
  run.scratch.nameBuffer[run.scanner.nameLength++] = byte;
  return ensureFieldRoom(run, run.scratch, kNameBufferArea, static_cast<long>(run.scanner.nameLength) + 16);
}
void clearName(ParseRun& run) { clearBuffer(run, kNameBufferArea, &run.scanner.nameLength); }
void clearText(ParseRun& run) { clearBuffer(run, kTextBufferArea, &run.scanner.textLength); }

// --- open elements

// Registers the name in the name buffer ("<NAME>" or "<<NAME>>") as a record and opens it.
int registerName(ParseRun& run, bool html) {
  ParserScratch& s = run.scratch;
  ScannerVariables& v = run.scanner;
  if (html && isSkippedTagName(s.nameBuffer, v.nameLength)) return 0;
  ++v.objectCounter;
  toUpperAsciiInRoom(s.nameBuffer, v.nameLength);
  return openElement(run, v.nameLength, v.objectCounter, &v.openCount);
}

// Closes the innermost open element named as the name buffer and every element inside it;
// a name that is not open changes nothing.
void closeByName(ParseRun& run) {
  ScannerVariables& v = run.scanner;
  if (v.openCount == 0) return;
  unsigned char* name = run.scratch.nameBuffer;
  toUpperAsciiInRoom(name, v.nameLength);
  for (int32_t i = v.openCount - 1; i >= 0; --i) {
    const OpenTagEntry& entry = openTags(run)[i];
    // Both names have room after them: they are compared a word at a time.
    if (entry.nameLength == v.nameLength &&
        sameBytesInRoom(run.scratch.openTagNames + entry.nameOffset, name, v.nameLength)) {
      v.openCount = i;
      return;
    }
  }
}

// An option is a record of its own but never encloses anything: register it and close
// it again at once. Closing it by its name would always find it innermost, so it is
// simply taken off again.
int registerOption(ParseRun& run, bool html) {
  const int32_t objectsBefore = run.scanner.objectCounter;
  if (registerName(run, html) != 0) return -1;
  if (run.scanner.objectCounter != objectsBefore) --run.scanner.openCount;
  return 0;
}

// Asked at every "<": an innermost element found not to be an empty one is not asked about again.
void closeEmptyElement(ParseRun& run) {
  ScannerVariables& v = run.scanner;
  if (v.openCount == 0) return;
  const int32_t innermost = openTags(run)[v.openCount - 1].objectNo;
  if (innermost == v.notEmptyObject) return;
  const int32_t before = v.openCount;
  closeEmptyInnermost(run, &v.openCount);
  if (v.openCount == before) v.notEmptyObject = innermost;
}

// --- texts

bool endsOptionValue(ScanState state) {
  return state == kAfterValue || state == kAfterValueBlank || state == kTagClosed;
}

int attachText(ParseRun& run, int32_t offset, int32_t length) {
  ScannerVariables& v = run.scanner;
  if (endsOptionValue(v.scanState)) {
    return v.objectCounter > 0 ? setRecordContent(run, v.objectCounter, offset, length) : 0;
  }
  return attachToInnermost(run, v.openCount, &v.objectCounter, offset, length);
}

int flushText(ParseRun& run) {
  ScannerVariables& v = run.scanner;
  const bool toOption = endsOptionValue(v.scanState);
  // A text outside every element has no record to belong to; it is dropped.
  const bool dropped = !toOption && v.openCount == 0;
  if (!dropped) {
    ParseTableSlot& slot = cursorSlot(run);
    if (ensureFieldRoom(run, slot, kContentsArea, static_cast<long>(v.textLength) + run.cursor.contentUsed + 16) != 0) {
      return -1;
    }
    char* target = reinterpret_cast<char*>(slot.contents) + run.cursor.contentUsed;
    const char* text = reinterpret_cast<const char*>(run.scratch.textBuffer);
    int32_t length;
    if (isQuote(v.quoteChar)) {
      std::memcpy(target, text, static_cast<std::size_t>(v.textLength));
      length = v.textLength;
    } else {
      length = copyTrimmed(target, text, v.textLength);
    }
    target[length] = 0;
    if (length > 0 && attachText(run, run.cursor.contentUsed, length) != 0) return -1;
    run.cursor.contentUsed += length + 1;
  }
  clearText(run);
  v.quoteChar = ' ';
  return 0;
}

// --- rules: the next state, or a fault

// The next state, a fault, or -1 when the window could not be moved on (the message set).
int16_t applyRule(ParseRun& run, int16_t rule, unsigned char byte, Scan& scan) {
  ScannerVariables& v = run.scanner;
  switch (rule) {
    case rBlank: {
      if (isQuote(v.quoteChar)) return kValue;
      if (v.position < v.blanksEnd) return v.blanksOutcome;
      int32_t i = v.position + 1;
      for (;;) {
        while (i < scan.size && scan.text[i] != 0 && isBlank(scan.text[i])) ++i;
        if (i < scan.size || !scan.mayGrow()) break;
        // The run goes on past the window: look on from where this look stopped.
        const int32_t before = v.position;
        if (refill(run, scan, v.position) != 0) return -1;
        i -= before - v.position;
      }
      v.lookedAhead += i - v.position;
      v.blanksEnd = i;
      v.blanksOutcome = i < scan.size && isQuote(scan.text[i]) ? kBeforeValue : kAfterValue;
      return v.blanksOutcome;
    }
    case rBang:
      if (scan.html && scan.at(v.position + 1) == '-' && scan.at(v.position + 2) == '-') {
        v.position += 2;
        return kComment;
      }
      // Every declaration counts its own brackets, so that one holding "<" cannot end the next early.
      v.angleDepth = 0;
      v.bracketDepth = 0;
      return kDeclaration;
    case rDash:
      if (scan.html && scan.at(v.position + 1) == '-' && scan.at(v.position + 2) == '>') {
        v.position += 2;
        return kCommentClosed;
      }
      return kComment;
    case rQuote:
      if (isQuote(v.quoteChar) && v.quoteChar != byte) return kValue;
      if (v.quoteChar == byte) return kAfterValue;
      return kBeforeValue;
    case rBracket:
      if (byte == '[') {
        ++v.bracketDepth;
        return kDeclaration;
      }
      --v.bracketDepth;
      if (v.bracketDepth < 0) return fBrackets;
      return kDeclaration;
    case rAngle:
      if (byte == '<') {
        ++v.angleDepth;
        return kDeclaration;
      }
      --v.angleDepth;
      if (v.bracketDepth > 0) {
        if (v.angleDepth < 0) return fAngles;
        return kDeclaration;
      }
      return v.angleDepth > 0 ? kDeclaration : kDeclarationClosed;
    default:
      return quoteRuleOutcome(rule, v.quoteChar);
  }
}

// --- actions on entering a state

[[gnu::always_inline]] inline int enterState(ParseRun& run, ScanState state, unsigned char byte, bool html) {
  ScannerVariables& v = run.scanner;
  switch (state) {
    case kTagOpen:
      if (v.textLength > 0 && flushText(run) != 0) return -1;
      if (html) closeEmptyElement(run);
      return handOnRecordsIfFull(run, run.flow, run.cursor, v.openCount);
    case kTagName:
    case kEndTagName:
      if (v.nameLength == 0 && appendNameByte(run, '<') != 0) return -1;
      return appendNameByte(run, byte);
    case kAfterTagName:
      if (v.nameLength > 0) {
        if (appendNameByte(run, '>') != 0 || registerName(run, html) != 0) return -1;
        clearName(run);
      }
      return 0;
    case kOptionName:
      if (v.nameLength == 0 && (appendNameByte(run, '<') != 0 || appendNameByte(run, '<') != 0)) return -1;
      return appendNameByte(run, byte);
    case kAfterOptionName:
    case kBeforeValue:
      if (v.nameLength > 0) {
        if (appendNameByte(run, '>') != 0 || appendNameByte(run, '>') != 0 || registerOption(run, html) != 0) return -1;
        clearName(run);
      }
      v.quoteChar = byte;
      return 0;
    case kValue:
    case kText:
      return appendRun(run, kTextBufferArea, &v.textLength, &byte, 1);
    case kAfterValue:
      return v.textLength > 0 ? flushText(run) : 0;
    case kTagClosed:
      if (v.nameLength > 0) {
        if (appendNameByte(run, '>') != 0) return -1;
        if (v.previousState == kOptionName) {
          if (appendNameByte(run, '>') != 0 || registerOption(run, html) != 0) return -1;
        } else if (registerName(run, html) != 0) {
          return -1;
        }
        clearName(run);
      }
      return v.textLength > 0 ? flushText(run) : 0;
    case kEndTagClosed:
      if (appendNameByte(run, '>') != 0) return -1;
      closeByName(run);
      clearName(run);
      return 0;
    default:
      return 0;
  }
}

int reportFault(ParseRun& run, int16_t fault, const Scan& scan) {
  RowsCols counted = run.scanner.droppedRows;
  countRowsColsOn(&counted, reinterpret_cast<const char*>(scan.text), run.scanner.position);
  setStructureMessage(run, kCodeInputStructure, kFmtInputStructure, faultText(static_cast<Fault>(fault)), counted.rows,
                      counted.columns);
  return -1;
}

// What a state's run collects: nothing (the bytes are passed over), the text or the name.
enum RunKind : uint8_t { kNoRun, kPassedOver, kTextRun, kNameRun };

constexpr std::array<RunKind, kStateCount> kRunKinds = [] {
  std::array<RunKind, kStateCount> kinds{};
  kinds[kBeforeFirstTag] = kPassedOver;
  kinds[kComment] = kPassedOver;
  kinds[kText] = kTextRun;
  kinds[kValue] = kTextRun;
  kinds[kTagName] = kNameRun;
  kinds[kOptionName] = kNameRun;
  kinds[kEndTagName] = kNameRun;
  return kinds;
}();

// Takes the bytes after the one at `at` that keep the scanner in its state with the same
// action as one run, up to the first byte of the state's stop set; the results are those
// of taking them one by one. Only states whose action is nothing or the collecting of the
// byte have runs. The place of the run's last byte, or -1 after a failed growth.
[[gnu::always_inline]] inline int32_t takeRun(ParseRun& run, const Scan& scan, ScanState state, int32_t at) {
  ScannerVariables& v = run.scanner;
  const RunKind kind = kRunKinds[static_cast<std::size_t>(state)];
  if (kind == kNoRun) return at;
  const ByteSet& stops = runStopsOf(*scan.dialect, state, v.quoteChar);
  const int32_t from = at + 1;
  int32_t end = from;
  const unsigned char* text = scan.text;
  if (stops.isFew) {
    end = static_cast<int32_t>(findAnyOfThree(text, end, scan.size, stops.few[0], stops.few[1], stops.few[2]));
  } else {
    // Four bytes a step while none of them stops the run: the lookups do not wait on each other.
    while (end + 4 <= scan.size &&
           !(stops.has[text[end]] | stops.has[text[end + 1]] | stops.has[text[end + 2]] | stops.has[text[end + 3]])) {
      end += 4;
    }
    while (end < scan.size && !stops.has[text[end]]) ++end;
  }
  if (end == from || kind == kPassedOver) return end - 1;
  const bool isText = kind == kTextRun;
  if (appendRun(run, isText ? kTextBufferArea : kNameBufferArea, isText ? &v.textLength : &v.nameLength, text + from,
                end - from) != 0) {
    return -1;
  }
  return end - 1;
}

// The plain scan from the scanner's current place to the end of the text: every byte taken
// through the class and transition tables, one at a time. The place and state live in
// locals on the way, and go back to the scanner's variables wherever a rule, a refill or a
// fault reads them.
int scanByteByByte(ParseRun& run, Scan& scan) {
  ScannerVariables& v = run.scanner;
  const Dialect& dialect = *scan.dialect;
  const bool html = scan.html;
  int32_t at = v.position;
  ScanState state = v.scanState;
  for (;;) {
    const unsigned char byte = scan.text[at];
    int16_t next = dialect.transitions[state][dialect.classes[byte]];
    if (next >= kFirstRule) {
      v.position = at;
      if (next < kFirstFault) next = applyRule(run, next, byte, scan);
      if (next < 0) return -1;
      if (next >= kFirstFault) return reportFault(run, next, scan);
      at = v.position;
    }
    v.previousState = state;
    state = static_cast<ScanState>(next);
    v.scanState = state;
    if (enterState(run, state, byte, html) != 0) return -1;
    ++at;
    if (at >= scan.refillFrom) {
      v.position = at;
      if (refill(run, scan, at) != 0) return -1;
      at = v.position;
    }
    if (at >= scan.size || scan.text[at] == 0) break;
  }
  v.position = at;
  return 0;
}

// --- the bulk scan coded state by state

// Where the coded scan stands: the next byte to take, the window until the next refill and
// the byte whose cell was read last.
struct Place {
  int32_t at;
  const unsigned char* text;
  int32_t size;
  unsigned char byte;
};

// Past the byte just taken and its run: 1 while bytes are left, 0 at the end of the text,
// -1 after a failed refill.
[[gnu::always_inline]] inline int moveOn(ParseRun& run, Scan& scan, Place& p) {
  ++p.at;
  if (p.at >= scan.refillFrom) {
    run.scanner.position = p.at;
    if (refill(run, scan, p.at) != 0) return -1;
    p.at = run.scanner.position;
    p.text = scan.text;
    p.size = scan.size;
  }
  return p.at < p.size && p.text[p.at] != 0 ? 1 : 0;
}

// The cell of the next byte in `state`, its rule applied: the next state, or -1 after a
// fault or a failed refill (the message set).
template <bool kHtml>
[[gnu::always_inline]] inline int16_t cellOf(ParseRun& run, Scan& scan, Place& p, ScanState state) {
  const Dialect& dialect = kHtml ? kHtmlDialect : kXmlDialect;
  p.byte = p.text[p.at];
  int16_t next = dialect.byByte[state][p.byte];
  if (next < kFirstRule) return next;
  run.scanner.position = p.at;
  if (next < kFirstFault) next = applyRule(run, next, p.byte, scan);
  if (next < 0) return -1;
  if (next >= kFirstFault) return static_cast<int16_t>(reportFault(run, next, scan));
  p.at = run.scanner.position;
  p.text = scan.text;
  p.size = scan.size;
  return next;
}

// Enters `state` from `from` on the byte of the last cell: its action, its run, and on past
// them. As moveOn.
template <bool kHtml>
[[gnu::always_inline]] inline int enter(ParseRun& run, Scan& scan, Place& p, ScanState from, ScanState state) {
  ScannerVariables& v = run.scanner;
  v.previousState = from;
  v.scanState = state;
  if (enterState(run, state, p.byte, kHtml) != 0) return -1;
  p.at = takeRun(run, scan, state, p.at);
  if (p.at < 0) return -1;
  return moveOn(run, scan, p);
}

// Each common state has its own code: it reads the cell from its own row and goes straight
// on to the code of the states that usually follow, so that the next state is a branch
// taken rather than a jump through a table. Any other next state, and every other state,
// takes the general step. The table still decides every transition and the actions are
// the same functions, so the results are those of scanByteByByte.
template <bool kHtml>
int scanCoded(ParseRun& run, Scan& scan) {
  Place p{run.scanner.position, scan.text, scan.size, 0};
  ScanState from = run.scanner.scanState;
  int16_t next = 0;
  int going = 1;
  // The states' code reads as a table.
  // clang-format off
// Goes on in TO when the cell is TO.
#define MQ_ON(TO)                                                         \
  if (next == (TO)) {                                                     \
    if ((going = enter<kHtml>(run, scan, p, from, (TO))) <= 0) goto stop; \
    goto in_##TO;                                                         \
  }
// The cell of the next byte in S.
#define MQ_IN(S)   \
  in_##S : from = (S); \
  if ((next = cellOf<kHtml>(run, scan, p, (S))) < 0) return -1;

  goto dispatch;
  MQ_IN(kText)
  MQ_ON(kTagOpen)
  goto general;
  MQ_IN(kTagClosed)
  MQ_ON(kText)
  MQ_ON(kTagOpen)
  goto general;
  MQ_IN(kEndTagClosed)
  MQ_ON(kText)
  MQ_ON(kTagOpen)
  goto general;
  MQ_IN(kTagOpen)
  MQ_ON(kTagName)
  MQ_ON(kEndTagOpen)
  goto general;
  MQ_IN(kTagName)
  MQ_ON(kTagClosed)
  MQ_ON(kAfterTagName)
  goto general;
  MQ_IN(kAfterTagName)
  MQ_ON(kOptionName)
  MQ_ON(kTagClosed)
  goto general;
  MQ_IN(kOptionName)
  MQ_ON(kBeforeValue)
  MQ_ON(kTagClosed)
  goto general;
  MQ_IN(kBeforeValue)
  MQ_ON(kValue)
  MQ_ON(kBeforeValue)
  goto general;
  MQ_IN(kValue)
  MQ_ON(kAfterValue)
  MQ_ON(kTagClosed)
  goto general;
  MQ_IN(kAfterValue)
  MQ_ON(kTagClosed)
  MQ_ON(kAfterValueBlank)
  goto general;
  MQ_IN(kAfterValueBlank)
  MQ_ON(kOptionName)
  MQ_ON(kTagClosed)
  goto general;
  MQ_IN(kEndTagOpen)
  MQ_ON(kEndTagName)
  goto general;
  MQ_IN(kEndTagName)
  MQ_ON(kEndTagClosed)
  goto general;
#undef MQ_IN
#undef MQ_ON

other:
  if ((next = cellOf<kHtml>(run, scan, p, from)) < 0) return -1;
general:
  if ((going = enter<kHtml>(run, scan, p, from, static_cast<ScanState>(next))) <= 0) goto stop;
  from = static_cast<ScanState>(next);
dispatch:
  switch (from) {
    case kText: goto in_kText;
    case kTagClosed: goto in_kTagClosed;
    case kEndTagClosed: goto in_kEndTagClosed;
    case kTagOpen: goto in_kTagOpen;
    case kTagName: goto in_kTagName;
    case kAfterTagName: goto in_kAfterTagName;
    case kOptionName: goto in_kOptionName;
    case kBeforeValue: goto in_kBeforeValue;
    case kValue: goto in_kValue;
    case kAfterValue: goto in_kAfterValue;
    case kAfterValueBlank: goto in_kAfterValueBlank;
    case kEndTagOpen: goto in_kEndTagOpen;
    case kEndTagName: goto in_kEndTagName;
    default: goto other;
  }
  // clang-format on
stop:
  if (going < 0) return -1;
  run.scanner.position = p.at;
  return 0;
}

}  // namespace

// The scan passes each byte once, so its work is where it stopped plus what it looked ahead.
int64_t lastScanSteps(const ParseRun& run) {
  return run.scanner.dropped + run.scanner.position + run.scanner.lookedAhead;
}

int scanMarkup(ParseRun& run, InputKind kind, ScanPath path, TextFeed* feed, int32_t window) {
  run.scanner = ScannerVariables{};
  startRecordFlow(run);
  clearParserScratch(run);
  clearPathIndex(run);
  const bool html = kind == InputKind::Html;
  ParserScratch& s = run.scratch;
  Scan scan{s.inputText, s.inputSize, html ? &kHtmlDialect : &kXmlDialect, html, feed, 0, feed == nullptr, INT32_MAX};
  if (feed != nullptr) {
    releaseArea(&s.inputText);
    if (takeArea(run, &s.inputText, window + 16, kAreaWork) != 0) return -1;
    scan.capacity = window;
    scan.size = 0;
    if (refill(run, scan, 0) != 0) return -1;
  }
  ScannerVariables& v = run.scanner;
  // The text ends at its first NUL, even when that is its first byte.
  if (scan.size <= 0 || scan.text[0] == 0) return 0;
  int scanned;
  if (path == ScanPath::ByteByByte) {
    scanned = scanByteByByte(run, scan);
  } else {
    scanned = html ? scanCoded<true>(run, scan) : scanCoded<false>(run, scan);
  }
  if (scanned != 0) return scanned;
  // A text still open inside an element at the end belongs to it, as if a "<" followed.
  if (v.scanState == kText && v.textLength > 0) return flushText(run);
  return 0;
}

}  // namespace mq
