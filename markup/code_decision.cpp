#include "markup/code_decision.h"

#include <cstring>

#include "common/known_code_conversion.h"
#include "common/unicode_conversion.h"

namespace mq {

namespace {

constexpr unsigned char kEsc = 0x1B;

// Is every byte below 0x80? Eight bytes at a time: text is mostly ASCII.
bool isSevenBit(const unsigned char* text, int32_t size) {
  int32_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word = 0;
    std::memcpy(&word, text + i, 8);
    if ((word & 0x8080808080808080ULL) != 0) return false;
  }
  for (; i < size; ++i) {
    if (text[i] >= 0x80) return false;
  }
  return true;
}

// Are the bytes valid in the code the document names? Labels the platform reads otherwise
// are tried by decoding strictly.
bool validIn(const DocumentSource& named, const unsigned char* text, int32_t size) {
  switch (named.code) {
    case SourceCode::Cp932:
      return isValidCp932(text, size);
    case SourceCode::EucJp:
      return isValidEucJp(text, size);
    case SourceCode::Jis:
      return isSevenBit(text, size);
    case SourceCode::Utf8:
      return isValidUtf8(text, size);
    case SourceCode::Labelled:
      return decodesStrictly(named, text, size);
    case SourceCode::Utf16Le:
    case SourceCode::Utf16Be:
      return false;  // a label the 8-bit document outgrew
  }
  return false;
}

CodeDecision unicode(SourceCode code, int32_t skip) { return CodeDecision{WholeCode::Unicode, DocumentSource{code, {}, skip}}; }

}  // namespace

CodeDecision decisionFor(const DocumentSource& source) {
  switch (source.code) {
    case SourceCode::Cp932:
      return CodeDecision{WholeCode::Sjis, source};
    case SourceCode::EucJp:
      return CodeDecision{WholeCode::Euc, source};
    case SourceCode::Jis:
      return CodeDecision{WholeCode::SevenBit, source};
    default:
      return CodeDecision{WholeCode::Unicode, source};
  }
}

CodeDecision decideWholeCode(const unsigned char* text, int32_t size, InputKind kind) {
  SourceCode marked = SourceCode::Utf8;
  const int32_t mark = byteOrderMarkOf(text, size, &marked);
  if (mark > 0) return unicode(marked, mark);
  const bool sevenBit = isSevenBit(text, size);
  if (!sevenBit && isValidUtf8(text, size)) return unicode(SourceCode::Utf8, 0);
  DocumentSource named{SourceCode::Cp932, {}, 0};
  if (findDeclaredCode(text, size, kind, &named) && validIn(named, text, size)) return decisionFor(named);
  const DocumentSource none{SourceCode::Cp932, {}, 0};
  if (sevenBit) return CodeDecision{WholeCode::SevenBit, none};
  // Real Shift-JIS text is almost never valid EUC: its kana and most kanji lead with 81-9F.
  if (isValidEucJp(text, size)) return CodeDecision{WholeCode::Euc, none};
  if (isValidCp932(text, size)) return CodeDecision{WholeCode::Sjis, none};
  return CodeDecision{WholeCode::Mixture, none};
}

const char* wholeCodeName(const CodeDecision& decision, const unsigned char* text, int32_t size) {
  switch (decision.code) {
    case WholeCode::SevenBit:
      return std::memchr(text, kEsc, static_cast<std::size_t>(size)) != nullptr ? "JIS" : "ASCII";
    case WholeCode::Sjis:
      return "SJIS";
    case WholeCode::Euc:
      return "EUC";
    case WholeCode::Mixture:
      return "MIXED";
    case WholeCode::Unicode:
      break;
  }
  return sourceCodeName(decision.source);
}

}  // namespace mq
