// The one code a document is written in, decided once for the whole document when none is
// declared: a byte-order mark, valid UTF-8 with a character beyond ASCII, a code the
// document names and its bytes are valid in, 7-bit text, valid EUC-JP, valid Shift-JIS;
// only a document valid in none of them is a mixture, read byte by byte as it always was.
#pragma once

#include <cstdint>

#include "common/settings.h"
#include "markup/document_code.h"

namespace mq {

enum class WholeCode : uint8_t {
  SevenBit,  // ASCII, perhaps with JIS escape sequences
  Sjis,
  Euc,
  Unicode,   // UTF-8 or UTF-16 (source says which), or a code the document names (Labelled)
  Mixture,   // valid in no single code: every byte recognised on its own
};

struct CodeDecision {
  WholeCode code;
  DocumentSource source;  // for Unicode: what to decode, and the bytes of a mark to skip
};

// The decision for a document read from a source that is known (named by the user or by
// the document itself).
CodeDecision decisionFor(const DocumentSource& source);

// Decides the code of a document of `kind` (the <meta> charset counts for HTML only).
CodeDecision decideWholeCode(const unsigned char* text, int32_t size, InputKind kind);

// The name a report gives the decided code: SJIS, EUC, JIS, ASCII, UTF8, UTF16, MIXED, or
// the label the document gives.
const char* wholeCodeName(const CodeDecision& decision, const unsigned char* text, int32_t size);

}  // namespace mq
