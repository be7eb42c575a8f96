// The scanner's constant tables: byte classes per dialect, the transition table of the
// 22 states, the fault messages and the HTML name lists.
#pragma once

#include <cstdint>

namespace mq {

enum ScanState : int32_t {
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
inline constexpr int kClassCount = 13;
inline constexpr int16_t kFirstRule = 500;
inline constexpr int16_t kFirstFault = 1000;

// Byte class columns.
enum ByteClass : uint8_t {
  kOther = 0,
  kSpace = 1,
  kBreak = 2,  // TAB, LF, CR
  kLess = 3,
  kGreater = 4,
  kEquals = 5,
  kDoubleQuote = 6,
  kSingleQuote = 7,
  kSlash = 8,
  kBang = 9,
  kQuestion = 10,
  kDash = 11,
  kBracket = 12,  // "[" and "]", XML only
};

struct Dialect {
  const uint8_t* classes;                     // 256 entries
  const int16_t (*transitions)[kClassCount];  // kStateCount rows
  bool html;
};

const Dialect& xmlDialect();
const Dialect& htmlDialect();

// The message of a fault number 1001 to 1016.
const char* faultMessage(int fault);

// Bracketed names as written, e.g. "<BR>".
bool isEmptyElementName(const unsigned char* name, int32_t length);
bool isSkippedTagName(const unsigned char* name, int32_t length);

}  // namespace mq
