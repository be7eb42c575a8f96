// The scanner's constant tables, all built at compile time: the class of every byte, the
// transition table of the 22 states (also by byte), the bytes that end a bulk run in each
// state (read off the transition table), the fault texts and the HTML name lists. XML and
// HTML each have their own tables.
#pragma once

#include <cstdint>

namespace mq {

enum ScanState : int16_t {
  kBeforeFirstTag = 0,
  kTagOpen = 1,
  kTagName = 2,
  kAfterTagName = 3,
  kOptionName = 4,
  kAfterOptionName = 5,
  kBeforeValue = 6,
  kValue = 7,
  kAfterValue = 8,
  kAfterValueBlank = 9,
  kTagClosed = 10,
  kText = 11,
  kEndTagOpen = 12,
  kEndTagName = 13,
  kAfterEndTagName = 14,
  kEndTagClosed = 15,
  kComment = 16,
  kCommentClosed = 17,
  kDeclaration = 18,
  kDeclarationClosed = 19,
  kInstruction = 20,
  kInstructionClosed = 21,
};
inline constexpr int kStateCount = 22;

// The columns of the transition table: what a byte is to the scanner.
enum ByteClass : uint8_t {
  kOtherByte = 0,       // every byte not named below; in HTML also "[" and "]"
  kSpaceByte = 1,       // SPACE
  kTabLfCr = 2,         // TAB, LF and CR
  kLessThan = 3,        // <
  kGreaterThan = 4,     // >
  kEqualsSign = 5,      // =
  kDoubleQuote = 6,     // "
  kSingleQuote = 7,     // '
  kSlash = 8,           // /
  kBang = 9,            // !
  kQuestionMark = 10,   // ?
  kDash = 11,           // -
  kSquareBracket = 12,  // [ and ], in XML only
};
inline constexpr int kClassCount = 13;

// A cell of the transition table holds the next state, a rule or a fault. The rules and
// faults are written r... and f... so that a row of the table fits one line.
inline constexpr int16_t kFirstRule = 500;
inline constexpr int16_t kFirstFault = 1000;

// Rules decide the next state from more than the state and the byte's class; applyRule in the
// scanner gives the exact outcome of each. A quoted value is one opened by a quote.
enum Rule : int16_t {
  rBlank = 502,    // blank in BeforeValue: a quote after more blanks opens a value, else the option has none
  rValueLt = 503,  // "<" in Value: part of the value
  rValueGt = 504,  // ">" in Value: part of a quoted value; else it ends the value and the tag
  rEquals = 505,   // "=" in BeforeValue: the first byte of the value
  rValueDq = 506,  // double quote in Value: ends a value opened by one, else part of the value
  rValueSq = 507,  // single quote in Value: ends a value opened by one, else part of the value
  rValueSp = 508,  // SPACE in Value: part of a quoted value; else it ends the value
  rBang = 509,     // "!" in TagOpen: in HTML "<!--" opens a comment; else a declaration, its depths from 0
  rDash = 510,     // "-" in Comment: in HTML "-->" closes the comment; else the comment goes on
  rQuote = 511,    // quote in BeforeValue: opens the value; the same again, an empty one; the other, part of it
  rBracket = 512,  // "[" or "]" in Declaration: counts the bracket depth; below 0 is fBrackets
  rAngle = 513,    // "<" or ">" in Declaration: counts the angle depth; the last ">" ends it, or is fAngles in brackets
};

// Faults end the scan with message 1021; each names its text.
enum Fault : int16_t {
  fGtOutside = 1001,  // ">" outside a tag
  fLt = 1002,         // a "<" that means nothing
  fNoTagName = 1003,  // a tag without name
  fNoOptName = 1004,  // an option without name
  fDq = 1005,         // a double quote that means nothing
  fSq = 1006,         // a single quote that means nothing
  fDash = 1007,       // a "-" that means nothing
  fSlash = 1008,      // a "/" that means nothing
  fBang = 1009,       // a "!" that means nothing
  fQm = 1010,         // a "?" that means nothing
  fTagSymbol = 1011,  // a quote, "!" or "?" in a tag name
  fOptSymbol = 1012,  // "<", a quote, "/", "!" or "?" in an option name
  fNoEquals = 1013,   // a quote where "=" is missing
  fEndTagOpt = 1014,  // an option on an end tag
  fBrackets = 1015,   // more "]" than "[" in a declaration
  fAngles = 1016,     // more ">" than "<" inside the brackets of a declaration
};

// The next state of the rules that look at nothing but the byte's class and the quote the
// value is read in (rValueLt, rValueGt, rEquals, rValueDq, rValueSq, rValueSp); -1 for the
// others. The scanner applies these rules through it, and the run stop sets are read off it.
constexpr int16_t quoteRuleOutcome(int16_t rule, unsigned char quoteChar) {
  const bool quoted = quoteChar == '"' || quoteChar == '\'';
  switch (rule) {
    case rValueLt:
    case rEquals:
      return kValue;
    case rValueGt:
      return quoted ? kValue : kTagClosed;
    case rValueDq:
      return quoteChar == '"' ? kAfterValue : kValue;
    case rValueSq:
      return quoteChar == '\'' ? kAfterValue : kValue;
    case rValueSp:
      return quoted ? kValue : kAfterValue;
    default:
      return -1;
  }
}

// A set of bytes, one flag per byte value.
struct ByteSet {
  bool has[256];
  // A set of at most three bytes also lists each of them repeated over a word (the first
  // again where there are fewer), so that a run can look for them a word at a time.
  bool isFew;
  uint64_t few[3];
};

struct Dialect {
  uint8_t classes[256];
  int16_t transitions[kStateCount][kClassCount];
  // The same cells by the byte itself, transitions[state][classes[byte]]: one lookup less on
  // the path from a byte to the next state.
  int16_t byByte[kStateCount][256];
  // The bytes that end a bulk run in a state: those whose cell is another state, a fault or
  // a rule that needs more than the quote, and NUL, where the text ends. Value has one set
  // per quote its value can be read in; the other states ignore the quote.
  ByteSet runStops[kStateCount];
  ByteSet valueStops[3];  // unquoted, double-quoted, single-quoted
};

extern const Dialect kXmlDialect;
extern const Dialect kHtmlDialect;

// The stop set for a run in `state`, the value's quote taken into account.
inline const ByteSet& runStopsOf(const Dialect& dialect, int16_t state, unsigned char quoteChar) {
  if (state != kValue) return dialect.runStops[state];
  return dialect.valueStops[quoteChar == '"' ? 1 : quoteChar == '\'' ? 2 : 0];
}

// The text of a fault.
const char* faultText(Fault fault);

// Bracketed names as written, e.g. "<BR>".
bool isEmptyElementName(const unsigned char* name, int32_t length);
bool isSkippedTagName(const unsigned char* name, int32_t length);

}  // namespace mq
