// Marquill's output phase: the template expanded item by item with the values of the
// parse tables (KIND NORMAL or NOCRLF), or every record written as a tag listing (CSV).
#pragma once

#include <cstdint>

#include "common/line_writer.h"
#include "convert/listing_writer.h"
#include "convert/output_definitions.h"
#include "markup/parse_tables.h"

namespace mq {

struct OutputRun;

// The whole phase: areas taken, definitions loaded, output file written, areas released.
// 0, or non-zero with the message set; the caller logs it.
int runOutputPhase(OutputRun& run);

// Copies the loaded template to the open output file, each item replaced by its value.
int expandOutputDefinition(OutputRun& run);

// Looks the item's value up and writes it; 5021 is logged (with WARLOGOUT) when there is none.
// Its path is in the work area, or at `path`.
int emitItem(OutputRun& run, const OutputItem& item);
int emitItem(OutputRun& run, const OutputItem& item, const char* path);

// Writes the value through the replacement entry `replaceNo`, cut to maxLength when not 0;
// "?" and a 5022 warning when there is no such entry.
int applyReplacement(OutputRun& run, const char* value, int32_t length, int32_t maxLength, int32_t replaceNo);

// Buffered write to the output file; -1 with message 1002 when the file refuses bytes.
int writeOutput(OutputRun& run, const char* bytes, int32_t length);

// Writes the value cut to maxLength bytes (0: all). A cut after the first byte of a
// two-byte character writes a space for that byte, so no half character reaches the output.
int writeCut(OutputRun& run, const char* value, int32_t length, int32_t maxLength);

// The value into the work area with TAB, CR and LF made spaces (a CR LF or LF CR pair one
// space), NUL-terminated. -1 with message 1014 when the work area cannot grow.
int cleanValue(OutputRun& run, const char* value, int32_t length);

// KIND CSV: every record of every document as a tag-listing line.
int writeListingOutput(OutputRun& run);
// The line of one record of document fileNo; -1 with message 1014 when the work area cannot grow.
int writeCsvLine(OutputRun& run, LineWriter& out, int fileNo, const ParseTableSlot& slot, const TagRecord& record);
// The value of that line. -1 only with message 1014 (the work area).
int csvValueOf(OutputRun& run, const ParseTableSlot& slot, const TagRecord& record, LineValue* value);
// The same value made without any area, so that it cannot fail: as it stands, or cleaned into
// `scratch` up to its first NUL. For a value that cleanValue would make without growing the area.
std::string_view csvValueMade(const char* value, std::size_t length, std::string* scratch);

// Tests switch the listing writer's shortcut for values that need no cleaning off, to
// compare both ways; it is on by default.
void setListingShortcutEnabled(OutputRun& run, bool enabled);

}  // namespace mq
