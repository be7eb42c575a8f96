#include "markup/document_code.h"

#include <cstring>
#include <string_view>

namespace mq {

namespace {

// A <meta> charset is looked for this far into the document, where pages put it.
constexpr int32_t kMetaReach = 4096;
constexpr int32_t kLongestLabel = kCodeLabelSize - 1;

char lowerAscii(unsigned char byte) {
  return static_cast<char>(byte >= 'A' && byte <= 'Z' ? byte + 0x20 : byte);
}

bool isSpace(unsigned char byte) { return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r' || byte == '\f'; }

bool isLabelByte(unsigned char byte) {
  return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
         byte == '-' || byte == '_' || byte == '.' || byte == ':';
}

// Does the text at `at` begin with `word`, ASCII case ignored?
bool startsWithWord(const unsigned char* text, int32_t size, int32_t at, std::string_view word) {
  if (at < 0 || size - at < static_cast<int32_t>(word.size())) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (lowerAscii(text[at + static_cast<int32_t>(i)]) != word[i]) return false;
  }
  return true;
}

struct LabelEntry {
  std::string_view label;
  SourceCode code;
};

constexpr LabelEntry kLabels[] = {
    {"utf-8", SourceCode::Utf8},
    {"utf8", SourceCode::Utf8},
    {"unicode-1-1-utf-8", SourceCode::Utf8},
    {"utf-16le", SourceCode::Utf16Le},
    {"utf-16be", SourceCode::Utf16Be},
    {"shift_jis", SourceCode::Cp932},
    {"shift-jis", SourceCode::Cp932},
    {"sjis", SourceCode::Cp932},
    {"x-sjis", SourceCode::Cp932},
    {"ms_kanji", SourceCode::Cp932},
    {"csshiftjis", SourceCode::Cp932},
    {"windows-31j", SourceCode::Cp932},
    {"cswindows31j", SourceCode::Cp932},
    {"cp932", SourceCode::Cp932},
    {"ms932", SourceCode::Cp932},
    {"x-ms-cp932", SourceCode::Cp932},
    {"euc-jp", SourceCode::EucJp},
    {"eucjp", SourceCode::EucJp},
    {"x-euc-jp", SourceCode::EucJp},
    {"ujis", SourceCode::EucJp},
    {"cseucpkdfmtjapanese", SourceCode::EucJp},
    {"euc-jp-ms", SourceCode::EucJp},
    {"eucjp-ms", SourceCode::EucJp},
    {"eucjp-win", SourceCode::EucJp},
    {"iso-2022-jp", SourceCode::Jis},
    {"csiso2022jp", SourceCode::Jis},
    {"iso2022jp", SourceCode::Jis},
    {"jis", SourceCode::Jis},
};

// UTF-16 without its byte order named: the mark decides, else where the zero bytes of the
// markup stand, else the order of the platform that wrote such files first.
SourceCode utf16Order(const unsigned char* text, int32_t size) {
  if (size >= 2 && text[0] == 0xFE && text[1] == 0xFF) return SourceCode::Utf16Be;
  if (size >= 2 && text[0] == 0xFF && text[1] == 0xFE) return SourceCode::Utf16Le;
  if (size >= 2 && text[0] == 0 && text[1] != 0) return SourceCode::Utf16Be;
  return SourceCode::Utf16Le;
}

int32_t byteOrderMark(const unsigned char* text, int32_t size, SourceCode* code) {
  if (size >= 3 && text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF) {
    *code = SourceCode::Utf8;
    return 3;
  }
  if (size >= 2 && ((text[0] == 0xFE && text[1] == 0xFF) || (text[0] == 0xFF && text[1] == 0xFE))) {
    *code = utf16Order(text, size);
    return 2;
  }
  return 0;
}

// The label of the attribute-like `name = "label"` that starts at `at`; false if none.
bool readLabelAfter(const unsigned char* text, int32_t end, int32_t at, DocumentSource* source) {
  int32_t i = at;
  while (i < end && isSpace(text[i])) ++i;
  if (i >= end || text[i] != '=') return false;
  ++i;
  while (i < end && isSpace(text[i])) ++i;
  if (i < end && (text[i] == '"' || text[i] == '\'')) ++i;
  const int32_t first = i;
  while (i < end && isLabelByte(text[i])) ++i;
  return codeFromLabel(reinterpret_cast<const char*>(text + first), i - first, source);
}

// The encoding of an XML declaration at the very start.
bool fromXmlDeclaration(const unsigned char* text, int32_t size, DocumentSource* source) {
  if (!startsWithWord(text, size, 0, "<?xml")) return false;
  for (int32_t i = 5; i + 1 < size && !(text[i] == '?' && text[i + 1] == '>'); ++i) {
    if (startsWithWord(text, size, i, "encoding")) return readLabelAfter(text, size, i + 8, source);
  }
  return false;
}

// The charset of the first <meta> tag near the start that names one. The whole tag must lie
// within the reach: a tag that does not end there is not read, and nothing after it is either.
bool fromMeta(const unsigned char* text, int32_t size, DocumentSource* source) {
  const int32_t reach = size < kMetaReach ? size : kMetaReach;
  for (int32_t i = 0; i < reach; ++i) {
    if (text[i] != '<' || !startsWithWord(text, reach, i + 1, "meta") || i + 5 >= reach || !isSpace(text[i + 5])) {
      continue;
    }
    int32_t end = i + 5;
    while (end < reach && text[end] != '>') ++end;
    if (end >= reach) return false;
    for (int32_t j = i + 5; j < end; ++j) {
      if (startsWithWord(text, end, j, "charset") && readLabelAfter(text, end, j + 7, source)) return true;
    }
    i = end;  // a "<meta" inside this tag starts no tag of its own
  }
  return false;
}

}  // namespace

bool codeFromLabel(const char* label, int32_t length, DocumentSource* source) {
  if (length <= 0 || length > kLongestLabel) return false;
  char lowered[kCodeLabelSize] = {};
  for (int32_t i = 0; i < length; ++i) lowered[i] = lowerAscii(static_cast<unsigned char>(label[i]));
  const std::string_view wanted(lowered, static_cast<std::size_t>(length));
  for (const LabelEntry& entry : kLabels) {
    if (entry.label == wanted) {
      source->code = entry.code;
      return true;
    }
  }
  if (wanted == "utf-16" || wanted == "ucs-2" || wanted == "iso-10646-ucs-2" || wanted == "unicode") {
    source->code = SourceCode::Utf16Le;  // the order is settled by the caller
    std::memcpy(source->label, "utf-16", 7);
    return true;
  }
  // Any other label is tried on the platform's converter.
  Utf8Decoder probe{};
  if (openDecoder(&probe, SourceCode::Labelled, lowered, false) != 0) return false;
  closeDecoder(&probe);
  source->code = SourceCode::Labelled;
  std::memcpy(source->label, lowered, sizeof lowered);
  return true;
}

const char* sourceCodeName(const DocumentSource& source) {
  switch (source.code) {
    case SourceCode::Utf8:
      return "UTF8";
    case SourceCode::Utf16Le:
    case SourceCode::Utf16Be:
      return "UTF16";
    case SourceCode::Cp932:
      return "SJIS";
    case SourceCode::EucJp:
      return "EUC";
    case SourceCode::Jis:
      return "JIS";
    case SourceCode::Labelled:
      break;
  }
  return source.label;
}

int32_t byteOrderMarkOf(const unsigned char* text, int32_t size, SourceCode* code) {
  return byteOrderMark(text, size, code);
}

bool findDeclaredCode(const unsigned char* text, int32_t size, InputKind kind, DocumentSource* source) {
  return fromXmlDeclaration(text, size, source) || (kind == InputKind::Html && fromMeta(text, size, source));
}

bool decodesStrictly(const DocumentSource& source, const unsigned char* text, int32_t size) {
  Utf8Decoder decoder{};
  if (openDecoder(&decoder, source.code, source.label, true) != 0) return false;
  unsigned char scratch[16384];
  bool valid = true;
  for (int32_t at = source.skip; valid && at < size;) {
    int32_t used = 0;
    valid = decodePiece(&decoder, text + at, size - at, true, scratch, static_cast<int32_t>(sizeof scratch), &used) >= 0;
    at += used;
    if (used == 0) break;
  }
  closeDecoder(&decoder);
  return valid;
}

bool findShownCode(const unsigned char* text, int32_t size, InputKind kind, DocumentCode declared, DocumentSource* found) {
  DocumentSource source{SourceCode::Cp932, {}, 0};
  SourceCode marked = SourceCode::Utf8;
  const int32_t mark = byteOrderMark(text, size, &marked);
  *found = source;
  switch (declared) {
    case DocumentCode::Utf8:
      found->code = SourceCode::Utf8;
      found->skip = mark > 0 && marked == SourceCode::Utf8 ? mark : 0;
      return true;
    case DocumentCode::Utf16:
      found->code = utf16Order(text, size);
      found->skip = mark > 0 && marked != SourceCode::Utf8 ? mark : 0;
      return true;
    case DocumentCode::Sjis:
      return true;
    case DocumentCode::Euc:
      found->code = SourceCode::EucJp;
      return true;
    case DocumentCode::Jis:
      found->code = SourceCode::Jis;
      return true;
    case DocumentCode::Detect:
      break;
  }
  if (mark > 0) {
    found->code = marked;
    found->skip = mark;
    return true;
  }
  // UTF-16 markup without a mark: "<" next to a zero byte.
  if (size >= 4 && ((text[0] == '<' && text[1] == 0 && text[3] == 0) || (text[0] == 0 && text[1] == '<' && text[2] == 0))) {
    found->code = utf16Order(text, size);
    return true;
  }
  DocumentSource labelled{SourceCode::Cp932, {}, 0};
  if (fromXmlDeclaration(text, size, &labelled) || (kind == InputKind::Html && fromMeta(text, size, &labelled))) {
    // A UTF-16 label, of either byte order, read from bytes that are no UTF-16 markup is a
    // label the document outgrew.
    if (labelled.code != SourceCode::Utf16Le && labelled.code != SourceCode::Utf16Be) {
      *found = labelled;
      return true;
    }
  }
  return false;
}

DocumentSource findDocumentCode(const unsigned char* text, int32_t size, InputKind kind, DocumentCode declared) {
  DocumentSource source{};
  if (!findShownCode(text, size, kind, declared, &source)) {
    source.code = isValidUtf8(text, size) ? SourceCode::Utf8 : SourceCode::Cp932;
  }
  return source;
}

}  // namespace mq
