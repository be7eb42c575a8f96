// The standard way in: XML read with a conformant XML parser and HTML with a tolerant HTML
// parser (the build's libxml2, both pushed piece by piece), into the records the classic
// scanner makes. Documents are read as UTF-8 from their own code (document_code) and their
// names and texts written back as Shift-JIS.
#pragma once

#include <cstdint>

#include "common/byte_source.h"
#include "common/settings.h"
#include "markup/document_code.h"

namespace mq {

struct ParseRun;
struct RunRecord;

// Whether this build has the standard parser (it is an optional part of the build).
bool standardParserAvailable();

// Parses the document (the file's bytes; a JIS document is rewritten in place) of `kind`
// into the slot of the table cursor, which must be open and empty, its names and texts in the
// working code. *replaced: the characters written as 〓 because Shift-JIS lacks them; *found
// (when given): the code the document was read from. 0, or -1 with the message set: 1021 for a
// document the parser cannot read (its message, line and column), one nested deeper than
// 1024 elements, or an XML document with bytes its code has not; 1014 when an area cannot
// grow; 1031 in a build without the parser.
int parseStandardDocument(ParseRun& run, InputKind kind, DocumentCode declared, unsigned char* text, int32_t size, TextCode working,
                          int64_t* replaced, DocumentSource* found = nullptr);

// Parses the document as parseStandardDocument does, from the source's code, its bytes taken
// from `bytes` (at its first byte) and its text pushed to the parser `piece` bytes at a time, so
// that it is never held whole; a JIS document cannot be read so. Also 1003 naming `name` when
// a read breaks off.
int parseStandardPieces(ParseRun& run, InputKind kind, const DocumentSource& source, ByteSource& bytes, int32_t piece,
                        TextCode working, int64_t* replaced, const char* name);

// The refusal of a build without the parser: message 1031 naming the setting; returns -1.
int refuseStandardParser(RunRecord& record, const char* setting);

}  // namespace mq
