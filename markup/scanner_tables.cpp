#include "markup/scanner_tables.h"

#include <array>
#include <cstring>
#include <string_view>

#include "common/texts.h"

namespace mq {

namespace {

// clang-format off
constexpr int16_t kXmlTransitions[kStateCount][kClassCount] = {
  // other   SP  TLC    <     >     =     "     '     /     !     ?     -   [ ]
    {   0,    0,    0,    1, 1001,    0,    0,    0,    0,    0,    0,    0,    0},  // 0 BeforeFirstTag
    {   2,    1,    1, 1002, 1003, 1004, 1005, 1006,   12,  509,   20, 1007,    2},  // 1 TagOpen
    {   2,    3,    3, 1002,   10, 1003, 1011, 1011,    2, 1011, 1011,    2,    2},  // 2 TagName
    {   4,    3,    3, 1002,   10, 1003, 1005, 1006, 1008, 1009, 1010, 1007,    4},  // 3 AfterTagName
    {   4,    5,    5, 1012,   10,    6, 1012, 1012, 1012, 1012, 1012,    4,    4},  // 4 OptionName
    {   4,    5,    5, 1002,   10,    6, 1013, 1013, 1008, 1009, 1010, 1007,    4},  // 5 AfterOptionName
    {   7,  502,  502, 1002,   10,  505,  511,  511,    7,    7,    7,    7,    7},  // 6 BeforeValue
    {   7,  508,    7,  503,  504,    7,  506,  507,    7,    7,    7,    7,    7},  // 7 Value
    {   4,    9,    9, 1002,   10, 1004, 1013, 1013, 1008, 1009, 1010, 1007,    4},  // 8 AfterValue
    {   4,    9,    9, 1002,   10, 1004, 1013, 1013, 1008, 1009, 1010, 1007,    4},  // 9 AfterValueBlank
    {  11,   11,   11,    1, 1001,   11,   11,   11,   11,   11,   11,   11,   11},  // 10 TagClosed
    {  11,   11,   11,    1, 1001,   11,   11,   11,   11,   11,   11,   11,   11},  // 11 Text
    {  13,   12,   12, 1002, 1003, 1004, 1005, 1006, 1008, 1009, 1010,   13,   13},  // 12 EndTagOpen
    {  13,   14,   14, 1002,   15, 1004, 1005, 1006,   13, 1009, 1010,   13,   13},  // 13 EndTagName
    {1014,   14,   14, 1002,   15, 1004, 1005, 1006, 1008, 1009, 1010, 1007, 1014},  // 14 AfterEndTagName
    {  11,   11,   11,    1, 1001,   11,   11,   11,   11,   11,   11,   11,   11},  // 15 EndTagClosed
    {  16,   16,   16,   16,   16,   16,   16,   16,   16,   16,   16,  510,   16},  // 16 Comment
    {  11,   11,   11,    1, 1001,   11,   11,   11,   11,   11,   11,   11,   11},  // 17 CommentClosed
    {  18,   18,   18,  513,  513,   18,   18,   18,   18,   18,   18,   18,  512},  // 18 Declaration
    {  11,   11,   11,    1, 1001,   11,   11,   11,   11,   11,   11,   11,   11},  // 19 DeclarationClosed
    {  20,   20,   20,   20,   21,   20,   20,   20,   20,   20,   20,   20,   20},  // 20 Instruction
    {  11,   11,   11,    1, 1001,   11,   11,   11,   11,   11,   11,   11,   11},  // 21 InstructionClosed
};
// clang-format on

struct Tables {
  uint8_t xmlClasses[256];
  uint8_t htmlClasses[256];
  int16_t htmlTransitions[kStateCount][kClassCount];
  Dialect xml;
  Dialect html;

  Tables() {
    for (int b = 0; b < 256; ++b) xmlClasses[b] = kOther;
    const auto set = [this](char byte, ByteClass byteClass) {
      xmlClasses[static_cast<unsigned char>(byte)] = byteClass;
    };
    set(' ', kSpace);
    set('\t', kBreak);
    set('\n', kBreak);
    set('\r', kBreak);
    set('<', kLess);
    set('>', kGreater);
    set('=', kEquals);
    set('"', kDoubleQuote);
    set('\'', kSingleQuote);
    set('/', kSlash);
    set('!', kBang);
    set('?', kQuestion);
    set('-', kDash);
    std::memcpy(htmlClasses, xmlClasses, sizeof htmlClasses);
    set('[', kBracket);
    set(']', kBracket);
    std::memcpy(htmlTransitions, kXmlTransitions, sizeof htmlTransitions);
    // HTML knows no processing instructions.
    htmlTransitions[kTagOpen][kQuestion] = 1011;
    xml = Dialect{xmlClasses, kXmlTransitions, false};
    html = Dialect{htmlClasses, htmlTransitions, true};
  }
};

const Tables& tables() {
  static const Tables instance;
  return instance;
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

const Dialect& xmlDialect() { return tables().xml; }
const Dialect& htmlDialect() { return tables().html; }

const char* faultMessage(int fault) {
  static constexpr const char* kMessages[] = {
      kFaultGreaterOutsideTag, kFaultStrayLess,        kFaultNoTagName,           kFaultNoOptionName,
      kFaultStrayDoubleQuote,  kFaultStraySingleQuote, kFaultStrayDash,           kFaultStraySlash,
      kFaultStrayBang,         kFaultStrayQuestion,    kFaultSymbolInTagName,     kFaultSymbolInOptionName,
      kFaultNoEquals,          kFaultOptionOnEndTag,   kFaultMoreClosingBrackets, kFaultMoreClosingAngles};
  if (fault < 1001 || fault > 1016) return "";
  return kMessages[fault - 1001];
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
