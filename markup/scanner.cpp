#include "markup/scanner.h"

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

// The scanner's variables, at their start values for every document.
struct ScannerVariables {
  int32_t position = 0;
  ScanState scanState = kBeforeFirstTag;
  ScanState previousState = kBeforeFirstTag;
  int32_t objectCounter = 0;  // objectNo of the latest record
  int32_t openCount = 0;      // entries of the open-tag stack
  int32_t nameLength = 0;     // bytes in the name buffer
  int32_t textLength = 0;     // bytes in the text buffer
  unsigned char quoteChar = ' ';
  int32_t angleDepth = 0;
  int32_t bracketDepth = 0;
  // Where the last look-ahead over blanks before a value stopped and what it found: every
  // blank of the same run finds the same byte, so the run is looked over once.
  int32_t blanksEnd = 0;
  int16_t blanksOutcome = kAfterValue;
  int64_t lookedAhead = 0;  // bytes looked at beyond the current one
};

ScannerVariables gScanner;

// The text being scanned and its dialect.
struct Scan {
  const unsigned char* text;
  int32_t size;
  const Dialect* dialect;
  bool html;
  unsigned char at(int32_t index) const { return index < size ? text[index] : 0; }
};

bool isQuote(unsigned char byte) { return byte == '"' || byte == '\''; }

// --- the two collecting buffers. Bytes beyond the length are always zero, so clearing
// only the used part leaves the whole buffer zero-filled.

// Appends a run of bytes, growing the buffer one step at a time exactly where appending
// them one by one would.
int appendRun(const ScratchArea& buffer, int32_t* length, const unsigned char* bytes, int32_t count) {
  ParserScratch& s = gParserScratch;
  do {
    int32_t room = s.*buffer.size - 16 - *length;
    if (room > count) room = count;
    unsigned char* target = s.*buffer.area + *length;
    if (room <= 16) {
      // Names and most texts are short; a plain loop beats a library call for them.
      for (int32_t i = 0; i < room; ++i) target[i] = bytes[i];
    } else {
      std::memcpy(target, bytes, static_cast<std::size_t>(room));
    }
    *length += room;
    bytes += room;
    count -= room;
    if (ensureFieldRoom(s, buffer, static_cast<long>(*length) + 16) != 0) return -1;
  } while (count > 0);
  return 0;
}

void clearBuffer(const ScratchArea& buffer, int32_t* length) {
  std::memset(gParserScratch.*buffer.area, 0, static_cast<std::size_t>(*length));
  *length = 0;
}

int appendNameByte(unsigned char byte) {
  gParserScratch.nameBuffer[gScanner.nameLength++] = byte;
  return ensureFieldRoom(gParserScratch, kNameBufferArea, static_cast<long>(gScanner.nameLength) + 16);
}
void clearName() { clearBuffer(kNameBufferArea, &gScanner.nameLength); }
void clearText() { clearBuffer(kTextBufferArea, &gScanner.textLength); }

// --- open elements

// Registers the name in the name buffer ("<NAME>" or "<<NAME>>") as a record and opens it.
int registerName(bool html) {
  ParserScratch& s = gParserScratch;
  ScannerVariables& v = gScanner;
  if (html && isSkippedTagName(s.nameBuffer, v.nameLength)) return 0;
  ++v.objectCounter;
  toUpperAscii(reinterpret_cast<char*>(s.nameBuffer), reinterpret_cast<const char*>(s.nameBuffer), v.nameLength);
  return openElement(v.nameLength, v.objectCounter, &v.openCount);
}

// Closes the innermost open element named as the name buffer and every element inside it;
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

void closeEmptyElement() { closeEmptyInnermost(&gScanner.openCount); }

// --- texts

bool endsOptionValue(ScanState state) {
  return state == kAfterValue || state == kAfterValueBlank || state == kTagClosed;
}

int attachText(int32_t offset, int32_t length) {
  ScannerVariables& v = gScanner;
  if (endsOptionValue(v.scanState)) {
    if (v.objectCounter > 0) attachContent(v.objectCounter - 1, offset, length);
    return 0;
  }
  return attachToInnermost(v.openCount, &v.objectCounter, offset, length);
}

int flushText() {
  ScannerVariables& v = gScanner;
  const bool toOption = endsOptionValue(v.scanState);
  // A text outside every element has no record to belong to; it is dropped.
  const bool dropped = !toOption && v.openCount == 0;
  if (!dropped) {
    ParseTableSlot& slot = cursorSlot();
    if (ensureFieldRoom(slot, kContentsArea, static_cast<long>(v.textLength) + gTableCursor.contentUsed + 16) != 0) {
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

// --- rules: the next state, or a fault

int16_t applyRule(int16_t rule, unsigned char byte, const Scan& scan) {
  ScannerVariables& v = gScanner;
  switch (rule) {
    case rBlank: {
      if (isQuote(v.quoteChar)) return kValue;
      if (v.position < v.blanksEnd) return v.blanksOutcome;
      int32_t i = v.position + 1;
      while (i < scan.size && scan.text[i] != 0 && isBlank(scan.text[i])) ++i;
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

int enterState(ScanState state, unsigned char byte, bool html) {
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
      return appendRun(kTextBufferArea, &v.textLength, &byte, 1);
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

int reportFault(int16_t fault, const Scan& scan) {
  long rows = 0;
  long columns = 0;
  countRowsCols(&rows, &columns, reinterpret_cast<const char*>(scan.text), gScanner.position);
  setMessage(kCodeInputStructure, kFmtInputStructure, faultText(static_cast<Fault>(fault)), rows, columns);
  return -1;
}

// Takes the bytes after the current one that keep the scanner in its state with the same
// action as one run, up to the first byte of the state's stop set; the results are those
// of taking them one by one. Only states whose action is nothing or the collecting of the
// byte have runs.
int takeRun(const Scan& scan) {
  ScannerVariables& v = gScanner;
  const ScratchArea* buffer = nullptr;
  int32_t* length = nullptr;
  switch (v.scanState) {
    case kBeforeFirstTag:
    case kComment:
      break;
    case kText:
    case kValue:
      buffer = &kTextBufferArea;
      length = &v.textLength;
      break;
    case kTagName:
    case kOptionName:
    case kEndTagName:
      buffer = &kNameBufferArea;
      length = &v.nameLength;
      break;
    default:
      return 0;
  }
  const ByteSet& stops = runStopsOf(*scan.dialect, v.scanState, v.quoteChar);
  const int32_t from = v.position + 1;
  int32_t end = from;
  while (end < scan.size && !stops.has[scan.text[end]]) ++end;
  if (end == from) return 0;
  if (buffer != nullptr && appendRun(*buffer, length, scan.text + from, end - from) != 0) return -1;
  v.position = end - 1;
  return 0;
}

}  // namespace

// The scan passes each byte once, so its work is where it stopped plus what it looked ahead.
int64_t lastScanSteps() { return gScanner.position + gScanner.lookedAhead; }

int scanMarkup(InputKind kind, ScanPath path) {
  gScanner = ScannerVariables{};
  clearParserScratch();
  clearPathIndex();
  const bool html = kind == InputKind::Html;
  const Scan scan{gParserScratch.inputText, gParserScratch.inputSize, html ? &kHtmlDialect : &kXmlDialect, html};
  ScannerVariables& v = gScanner;
  // The text ends at its first NUL, even when that is its first byte.
  if (scan.size <= 0 || scan.text[0] == 0) return 0;
  for (;;) {
    const unsigned char byte = scan.text[v.position];
    v.previousState = v.scanState;
    int16_t next = scan.dialect->transitions[v.scanState][scan.dialect->classes[byte]];
    if (next >= kFirstRule && next < kFirstFault) next = applyRule(next, byte, scan);
    if (next >= kFirstFault) return reportFault(next, scan);
    v.scanState = static_cast<ScanState>(next);
    if (enterState(v.scanState, byte, html) != 0) return -1;
    if (path == ScanPath::Bulk && takeRun(scan) != 0) return -1;
    ++v.position;
    if (v.position >= scan.size || scan.text[v.position] == 0) break;
  }
  // A text still open inside an element at the end belongs to it, as if a "<" followed.
  if (v.scanState == kText && v.textLength > 0) return flushText();
  return 0;
}

}  // namespace mq
