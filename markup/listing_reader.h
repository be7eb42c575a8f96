// Reading tag listings back into the parse tables: one tag record per line, in the five
// TAB-separated fields FileNo, No, SeaNo, TagName and Value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace mq {

struct ParseRun;
class ByteSource;

// Reads one tag listing into the slots that its lines name, FileNo 1 to slotCount. Each
// line is appended through the table cursor, whose used lengths run on from line to line
// and from earlier listings; the parser scratch must be taken, since its name buffer holds
// the line being read. 0 when the whole file was read; -1 with the message set (1003
// unreadable, 1014 no memory, 1021 a faulty line). The file is closed in every case, and a
// line that fails is not appended; the lines before it stay in the tables.
int readTagListing(ParseRun& run, const char* fileName, int32_t slotCount);

// The same from a stream the caller opened (and closes) or a text in memory; fileName names
// it in messages.
int readTagListingFrom(ParseRun& run, ByteSource& file, const char* fileName, int32_t slotCount);

}  // namespace mq
