// The output-definition file: a template copied to the output byte for byte, except that
// every stretch from the START marker to the END marker is an item naming a value: file
// number (1 digit), tag path, sequence number (4 digits, or every digit after the path's
// last ">" when there are more), replacement number (3 digits, 000 none) and maximum length
// in bytes (3 digits, 000 no limit).
#pragma once

#include <cstdint>

#include "common/file_reading.h"

namespace mq {

struct OutputRun;

// The shortest item code: file number, one tag byte and the ten digits.
constexpr int32_t kShortestItem = 12;

struct OutputItem {
  int32_t fileNo;
  int32_t tagNameOffset;  // in the work area: always 1
  int32_t tagNameLength;
  int32_t seqNo;
  int32_t replaceNo;
  int32_t maxLength;
};

// Reads run.settings.outputDefinitionFile whole into run.output.definition. 0, or -1 with
// message 1003 after releasing every area of the output phase.
int loadOutputDefinition(OutputRun& run);
// The same in two steps, the file opened first and read after, perhaps on another thread;
// each fails as the whole does.
int openOutputDefinition(OutputRun& run, WholeFile* file);
int readOutputDefinition(OutputRun& run, WholeFile* file);

// One piece of the template's division: literal text, then (when hasItem) an item whose
// text runs from itemOffset for itemLength bytes, its START marker at markerOffset. An item
// is closed when its END comes before the template ends and before any other START.
struct TemplateStretch {
  int32_t literalOffset;
  int32_t literalLength;
  bool hasItem;
  bool closed;
  int32_t markerOffset;
  int32_t itemOffset;
  int32_t itemLength;
  int32_t next;  // where the next stretch begins; the template's size after the last one
};

// A marker made ready once for its many searches: its length, and the byte a search looks
// for, one other than "<" and ">" when it has one, for an item's path is full of both.
struct Marker {
  const char* text;
  int32_t length;
  int32_t key;
};
Marker markerOf(const char* text);

// The run's START and END markers, made ready.
struct StretchMarkers {
  Marker start;
  Marker end;
};
StretchMarkers stretchMarkersOf(const OutputRun& run);

// The first place in [from, end) where the marker begins, or -1.
int32_t findMarker(const char* text, int32_t from, int32_t end, const Marker& marker);

// The stretch that begins at `from` in the loaded template, its markers made ready by
// stretchMarkersOf(run).
TemplateStretch nextStretch(const OutputRun& run, int32_t from, const StretchMarkers& markers);

// Checks the item code of n bytes in the work area (blanks already dropped), upper-cases
// its tag path and hands it to emitItem. -1 with message 1022 (ROWS and COLS of the START
// marker at markerOffset) for a faulty item; otherwise emitItem's result.
int parseOutputItem(OutputRun& run, int32_t length, int32_t markerOffset);

// Upper-cases the item's tag path at `path` as the names of the document it names were.
void upperCaseItemPath(OutputRun& run, const OutputItem& item, char* path);

// Sets message 1022 with the detail and the row and column of the START marker at
// markerOffset; -1.
int reportItemFault(OutputRun& run, const char* detail, int32_t markerOffset);

// The item's fields, or the detail text of its first fault (nullptr when it has none).
const char* checkOutputItem(OutputRun& run, const char* code, int32_t length, OutputItem* item);

}  // namespace mq
