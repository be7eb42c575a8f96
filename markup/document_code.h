// The code a document is read from, when it is not read byte by byte: the code the settings
// declare, or the one the document itself shows (a byte-order mark, the XML declaration, the
// HTML <meta> charset), else UTF-8 when the whole document is valid UTF-8, else Shift-JIS.
#pragma once

#include <cstdint>

#include "common/settings.h"
#include "common/unicode_conversion.h"

namespace mq {

struct DocumentSource {
  SourceCode code;
  char label[kCodeLabelSize];  // for Labelled: the label as the document gives it
  int32_t skip;                // bytes of a byte-order mark before the text
};

// The source of a document of `kind` (XML or HTML) declared as `declared`.
DocumentSource findDocumentCode(const unsigned char* text, int32_t size, InputKind kind, DocumentCode declared);

// The code a label names (Shift_JIS, SJIS and x-sjis read as the Windows code page, EUC-JP
// with its extensions, any other label the platform converter knows as it is); false when
// the label names no code that can be read here.
bool codeFromLabel(const char* label, int32_t length, DocumentSource* source);

}  // namespace mq
