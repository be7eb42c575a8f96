// Writing the parse tables as a tag listing, as the listing tools write it: one line per
// record, the fields FileNo, No, SeaNo, TagName and Value between separators, CR LF at the
// end, and TAB, LF and CR in a value written as "[09]", "[0A]" and "[0D]".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/texts.h"
#include "common/work_areas.h"
#include "markup/parse_run.h"

namespace mq {

struct ListingFormat {
  char separator;  // written between the fields
  bool writeHeader;
  bool skipEmptyValues;
};

// The escaped value of the record being written, NUL-terminated; the area keeps its grown
// size for the rest of the run.
struct ValueArea {
  unsigned char* bytes;
  int32_t size;
  int32_t used;
};


inline constexpr AreaField<ValueArea> kValueAreas[] = {{&ValueArea::bytes, &ValueArea::size, kAreaWork, 4096, 4096}};

// A run that writes tag listings: the parse tables it reads and the value area.
struct ListingRun : ParseRun {
  ValueArea value;
};

int takeValueArea(ListingRun& run);
void releaseValueArea(ListingRun& run);

// Fills the value area with the value, TAB, LF and CR written as "[09]", "[0A]", "[0D]".
// -1 with message 1014 when the area cannot grow.
int escapeValue(ListingRun& run, const char* value, int32_t length);

// How values reach the listing: those with nothing to escape as they stand (the fast path),
// or every one through the value area. Both write the same bytes; tests compare them.
enum class ValuePath { AsItStands, Escaped };

class LineWriter;
class CountedNumber;

// The value a record's line carries: the record's own content as it stands, or text made in a
// run's area that stays valid until the next value is made; or no line at all.
struct LineValue {
  const char* bytes;
  std::size_t length;
  bool ownContent;  // bytes are the record's content, at its contentOffset
  bool skipped;     // the format writes no line for the record
};

// The header line, before the records of each document when the format has one.
void writeListingHeader(LineWriter& out, const ListingFormat& format);
// The value of a record's listing line. -1 only with message 1014 (the value area).
int listingValueOf(ListingRun& run, const ParseTableSlot& slot, const TagRecord& record, const ListingFormat& format,
                   ValuePath path, LineValue* value);
// The same value made without any area, so that it cannot fail: as it stands, or escaped
// into `scratch`. For a value that escapeValue would make without growing the area.
std::string_view listingValueMade(const char* value, std::size_t length, std::string* scratch);
// One line: the document, object and sequence numbers, the path and the value between
// separators, CR LF at the end. The object numbers of lines written in turn may be counted on.
void putRecordLine(LineWriter& out, char separator, int fileNo, int32_t objectNo, int32_t seqNo, const char* path,
                   std::size_t pathLength, const char* value, std::size_t valueLength,
                   CountedNumber* objectNumbers = nullptr);
// The line of one record of document fileNo; nothing for an empty value the format skips.
// -1 only with message 1014 (the value area).
int writeListingLine(ListingRun& run, LineWriter& out, int fileNo, const ParseTableSlot& slot, const TagRecord& record,
                     const ListingFormat& format, ValuePath path = ValuePath::AsItStands);

// Creates the listing file (standard output for "-") and writes the records of the first slotCount slots, stopping at
// the first slot without records. 0, or -1 with message 1001 (the file cannot be created),
// 1002 (a write or the close failed; the lines written stay) or 1014 (the value area).
int writeTagListing(ListingRun& run, const char* fileName, int32_t slotCount, const ListingFormat& format,
                    ValuePath path = ValuePath::AsItStands);

// The same lines appended to a text; -1 only with message 1014 (the value area).
int writeTagListingText(ListingRun& run, std::string* text, int32_t slotCount, const ListingFormat& format,
                        ValuePath path = ValuePath::AsItStands);

}  // namespace mq
