// The records of a document read by the standard parser: the parser's events (names, texts
// and attribute values in UTF-8) turned into the same tag, option and text records as the
// classic scanner makes, in the slot of the table cursor.
//
// As in the classic scanner, in HTML an element that never has an end tag there (<BR>, <LI>,
// <OPTION>, ...) closes at the next markup only, so that the text after it is its own, and
// the root <HTML> element is not registered (its attributes are).
#pragma once

#include <cstdint>

#include "common/settings.h"
#include "common/unicode_conversion.h"

namespace mq {

struct ParseRun;

// Where the records of the document being read stand.
struct StandardState {
  bool html = false;
  int32_t objectCounter = 0;  // objectNo of the latest record
  int32_t openCount = 0;      // open elements of the records
  int32_t textLength = 0;     // UTF-8 bytes in the text buffer
  int32_t depth = 0;          // open elements of the parser
  Cp932Encoder* encoder = nullptr;
  unsigned char* entries = nullptr;  // a ParserEntry per element open in the parser
  int32_t entriesSize = 0;
};

// Starts the records of a new document of `kind` (XML or HTML): scratch areas cleared and
// taken, counters at their start values. The encoder writes names and texts as CP932 and
// counts what it replaces. -1 with message 1011 when the standard path's own area cannot
// be had.
int beginStandardRecords(ParseRun& run, InputKind kind, Cp932Encoder* encoder);  // no encoder: the records stay UTF-8
// Gives back the standard path's own area.
void endStandardRecords(ParseRun& run);

// A start tag; attributes are name and value pairs ending in a null name, a value null for
// an attribute written without one. Every event returns 0, or -1 with message 1014.
int standardStartElement(ParseRun& run, const unsigned char* name, const unsigned char* const* attributes);
// An end of an element; `written` tells an end tag of the document from one the parser
// implied. Only HTML looks at it.
int standardEndElement(ParseRun& run, const unsigned char* name, bool written);
// Text, in as many pieces as the parser delivers; comments, processing instructions and
// declarations only end a text run.
int standardText(ParseRun& run, const unsigned char* text, int32_t length);
int standardMarkup(ParseRun& run);
// The end of the document: a text still open belongs to its element.
int finishStandardRecords(ParseRun& run);

// Elements open as the parser counts them (the root included).
int32_t standardDepth(ParseRun& run);

}  // namespace mq
