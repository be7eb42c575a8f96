#include "markup/scanner_tables.h"

#include <array>
#include <cstring>
#include <string_view>

#include "common/texts.h"

namespace mq {

namespace {

// Two letters per class, so that a row of sixteen bytes fits one line below.
constexpr uint8_t ot = kOtherByte, sp = kSpaceByte, tl = kTabLfCr, lt = kLessThan, gt = kGreaterThan, eq = kEqualsSign,
                  dq = kDoubleQuote, sq = kSingleQuote, sl = kSlash, ba = kBang, qm = kQuestionMark, da = kDash,
                  br = kSquareBracket;

// clang-format off
// The class of every byte in XML. HTML differs in "[" and "]" only, which are other bytes there.
constexpr uint8_t kXmlClasses[256] = {
//  _0  _1  _2  _3  _4  _5  _6  _7  _8  _9  _A  _B  _C  _D  _E  _F
    ot, ot, ot, ot, ot, ot, ot, ot, ot, tl, tl, ot, ot, tl, ot, ot,  // 0_: TAB LF CR
    ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot,  // 1_
    sp, ba, dq, ot, ot, ot, ot, sq, ot, ot, ot, ot, ot, da, ot, sl,  // 2_: SPACE ! " ' - /
    ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, lt, eq, gt, qm,  // 3_: < = > ?
    ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot,  // 4_
    ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, br, ot, br, ot, ot,  // 5_: [ ]
    ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot,  // 6_
    ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot,  // 7_
    ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot,  // 8_
    ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot,  // 9_
    ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot,  // A_
    ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot,  // B_
    ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot,  // C_
    ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot,  // D_
    ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot,  // E_
    ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot, ot,  // F_
};

// The next state for the state (row) and the class of its byte (column), in XML. HTML
// differs in one cell: "?" in 1 TagOpen is fTagSymbol there, since HTML knows no
// processing instructions (XML opens 20 Instruction).
constexpr int16_t kXmlTransitions[kStateCount][kClassCount] = {
  // other       SP        TAB LF CR  <           >           =           "           '           /           !           ?           -      [ ]
    {0,          0,        0,         1,          fGtOutside, 0,          0,          0,          0,          0,          0,          0,     0},           // 0 BeforeFirstTag
    {2,          1,        1,         fLt,        fNoTagName, fNoOptName, fDq,        fSq,        12,         rBang,      20,         fDash, 2},           // 1 TagOpen
    {2,          3,        3,         fLt,        10,         fNoTagName, fTagSymbol, fTagSymbol, 2,          fTagSymbol, fTagSymbol, 2,     2},           // 2 TagName
    {4,          3,        3,         fLt,        10,         fNoTagName, fDq,        fSq,        fSlash,     fBang,      fQm,        fDash, 4},           // 3 AfterTagName
    {4,          5,        5,         fOptSymbol, 10,         6,          fOptSymbol, fOptSymbol, fOptSymbol, fOptSymbol, fOptSymbol, 4,     4},           // 4 OptionName
    {4,          5,        5,         fLt,        10,         6,          fNoEquals,  fNoEquals,  fSlash,     fBang,      fQm,        fDash, 4},           // 5 AfterOptionName
    {7,          rBlank,   rBlank,    fLt,        10,         rEquals,    rQuote,     rQuote,     7,          7,          7,          7,     7},           // 6 BeforeValue
    {7,          rValueSp, 7,         rValueLt,   rValueGt,   7,          rValueDq,   rValueSq,   7,          7,          7,          7,     7},           // 7 Value
    {4,          9,        9,         fLt,        10,         fNoOptName, fNoEquals,  fNoEquals,  fSlash,     fBang,      fQm,        fDash, 4},           // 8 AfterValue
    {4,          9,        9,         fLt,        10,         fNoOptName, fNoEquals,  fNoEquals,  fSlash,     fBang,      fQm,        fDash, 4},           // 9 AfterValueBlank
    {11,         11,       11,        1,          fGtOutside, 11,         11,         11,         11,         11,         11,         11,    11},          // 10 TagClosed
    {11,         11,       11,        1,          fGtOutside, 11,         11,         11,         11,         11,         11,         11,    11},          // 11 Text
    {13,         12,       12,        fLt,        fNoTagName, fNoOptName, fDq,        fSq,        fSlash,     fBang,      fQm,        13,    13},          // 12 EndTagOpen
    {13,         14,       14,        fLt,        15,         fNoOptName, fDq,        fSq,        13,         fBang,      fQm,        13,    13},          // 13 EndTagName
    {fEndTagOpt, 14,       14,        fLt,        15,         fNoOptName, fDq,        fSq,        fSlash,     fBang,      fQm,        fDash, fEndTagOpt},  // 14 AfterEndTagName
    {11,         11,       11,        1,          fGtOutside, 11,         11,         11,         11,         11,         11,         11,    11},          // 15 EndTagClosed
    {16,         16,       16,        16,         16,         16,         16,         16,         16,         16,         16,         rDash, 16},          // 16 Comment
    {11,         11,       11,        1,          fGtOutside, 11,         11,         11,         11,         11,         11,         11,    11},          // 17 CommentClosed
    {18,         18,       18,        rAngle,     rAngle,     18,         18,         18,         18,         18,         18,         18,    rBracket},    // 18 Declaration
    {11,         11,       11,        1,          fGtOutside, 11,         11,         11,         11,         11,         11,         11,    11},          // 19 DeclarationClosed
    {20,         20,       20,        20,         21,         20,         20,         20,         20,         20,         20,         20,    20},          // 20 Instruction
    {11,         11,       11,        1,          fGtOutside, 11,         11,         11,         11,         11,         11,         11,    11},          // 21 InstructionClosed
};
// clang-format on

constexpr Dialect makeDialect(bool html) {
  Dialect d{};
  for (int b = 0; b < 256; ++b) {
    const bool htmlBracket = html && kXmlClasses[b] == kSquareBracket;
    d.classes[b] = htmlBracket ? uint8_t{kOtherByte} : kXmlClasses[b];
  }
  for (int s = 0; s < kStateCount; ++s) {
    for (int c = 0; c < kClassCount; ++c) d.transitions[s][c] = kXmlTransitions[s][c];
  }
  if (html) d.transitions[kTagOpen][kQuestionMark] = fTagSymbol;
  for (int s = 0; s < kStateCount; ++s) {
    for (int b = 0; b < 256; ++b) d.byByte[s][b] = d.transitions[s][d.classes[b]];
  }

  // A byte goes on a run when it leads back into the same state: its cell is that state, or
  // a rule whose outcome the quote alone decides is. Anything else, and NUL, ends the run.
  const auto stops = [&d](int16_t state, unsigned char quoteChar) {
    ByteSet set{};
    for (int b = 0; b < 256; ++b) {
      const int16_t cell = d.transitions[state][d.classes[b]];
      int16_t next = cell;
      if (cell >= kFirstFault) {
        next = -1;
      } else if (cell >= kFirstRule) {
        next = quoteRuleOutcome(cell, quoteChar);
      }
      set.has[b] = b == 0 || next != state;
    }
    int count = 0;
    for (int b = 0; b < 256; ++b) {
      if (!set.has[b]) continue;
      const uint64_t repeated = uint64_t{0x0101010101010101} * static_cast<uint8_t>(b);
      if (count < 3) set.few[static_cast<std::size_t>(count)] = repeated;
      ++count;
    }
    set.isFew = count <= 3;
    for (int i = count; i < 3; ++i) set.few[i] = set.few[0];
    return set;
  };
  for (int16_t s = 0; s < kStateCount; ++s) d.runStops[s] = stops(s, ' ');
  d.valueStops[0] = stops(kValue, ' ');
  d.valueStops[1] = stops(kValue, '"');
  d.valueStops[2] = stops(kValue, '\'');
  return d;
}

constexpr std::array<std::string_view, 21> kEmptyElementNames = {
    "<INPUT>", "<OPTION>", "<IMG>",     "<HR>",    "<BR>",        "<META>",    "<FRAME>",
    "<LI>",    "<DT>",     "<DD>",      "<WBR>",   "<LINK>",      "<AREA>",    "<BASEFONT>",
    "<BASE>",  "<EMBED>",  "<BGSOUND>", "<PARAM>", "<PLAINTEXT>", "<ISINDEX>", "<SPACER>"};

bool nameIs(const unsigned char* name, int32_t length, std::string_view expected) {
  return static_cast<std::size_t>(length) == expected.size() &&
         std::memcmp(name, expected.data(), expected.size()) == 0;
}

}  // namespace

constexpr Dialect kXmlDialect = makeDialect(false);
constexpr Dialect kHtmlDialect = makeDialect(true);

const char* faultText(Fault fault) {
  static constexpr const char* kTexts[] = {
      kFaultGreaterOutsideTag, kFaultStrayLess,        kFaultNoTagName,           kFaultNoOptionName,
      kFaultStrayDoubleQuote,  kFaultStraySingleQuote, kFaultStrayDash,           kFaultStraySlash,
      kFaultStrayBang,         kFaultStrayQuestion,    kFaultSymbolInTagName,     kFaultSymbolInOptionName,
      kFaultNoEquals,          kFaultOptionOnEndTag,   kFaultMoreClosingBrackets, kFaultMoreClosingAngles};
  if (fault < fGtOutside || fault > fAngles) return "";
  return kTexts[fault - fGtOutside];
}

bool isEmptyElementName(const unsigned char* name, int32_t length) {
  // Asked at every "<": most names are rejected by their length or first letter alone.
  constexpr int32_t kShortest = 4;
  constexpr int32_t kLongest = 11;
  if (length < kShortest || length > kLongest) return false;
  switch (name[1]) {
    case 'A':
    case 'B':
    case 'D':
    case 'E':
    case 'F':
    case 'H':
    case 'I':
    case 'L':
    case 'M':
    case 'O':
    case 'P':
    case 'S':
    case 'W':
      break;
    default:
      return false;
  }
  for (std::string_view candidate : kEmptyElementNames) {
    if (static_cast<std::size_t>(length) != candidate.size() || candidate[1] != static_cast<char>(name[1])) continue;
    bool same = true;
    for (int32_t i = 2; i < length && same; ++i)
      same = candidate[static_cast<std::size_t>(i)] == static_cast<char>(name[i]);
    if (same && name[0] == '<') return true;
  }
  return false;
}

bool isSkippedTagName(const unsigned char* name, int32_t length) { return nameIs(name, length, "<HTML>"); }

}  // namespace mq
