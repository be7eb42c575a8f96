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

// The code as findDocumentCode finds it from the document's start: the declared code, a
// byte-order mark, UTF-16 markup or a label. False when only the validity of the whole text as
// UTF-8 can tell (UTF-8 if it is, else Shift-JIS). What a start of at least 4 KB shows is what
// the whole text shows, as long as an XML declaration at the start ends within it.
bool findShownCode(const unsigned char* text, int32_t size, InputKind kind, DocumentCode declared, DocumentSource* found);

// The bytes of a byte-order mark at the start (UTF-8 or UTF-16, its order in *code), or 0.
int32_t byteOrderMarkOf(const unsigned char* text, int32_t size, SourceCode* code);

// The code the document names itself: its XML declaration, or for HTML a <meta> charset
// whose tag lies within the first 4 KB. False when it names none that can be read here.
bool findDeclaredCode(const unsigned char* text, int32_t size, InputKind kind, DocumentSource* source);

// Do the bytes after the source's mark decode without a fault in the source's code?
bool decodesStrictly(const DocumentSource& source, const unsigned char* text, int32_t size);

// The name a report gives the source: UTF8, UTF16, SJIS, EUC, JIS, or the label.
const char* sourceCodeName(const DocumentSource& source);

// The code a label names (Shift_JIS, SJIS and x-sjis read as the Windows code page, EUC-JP
// with its extensions, any other label the platform converter knows as it is); false when
// the label names no code that can be read here.
bool codeFromLabel(const char* label, int32_t length, DocumentSource* source);

}  // namespace mq
