// The named references that HTML reads even without their ';' ("i &lt n", "&copy 2024"),
// which the standard parser's HTML parser leaves as written: what they stand for, and a
// start tag's attribute values read again from its bytes with them decoded.
#pragma once

#include <cstdint>

namespace mq {

struct ParseRun;

// The character of a name that HTML reads as a reference without its ';' (the markup
// characters and those of Latin-1: lt, amp, nbsp, copy, eacute, ... and AMP, COPY, GT, LT,
// QUOT, REG), or 0 for any other name.
uint32_t legacyReference(const unsigned char* name, int32_t length);

// A reference the parser left as written, "&" and the name it read (`name`, `length`; the
// parser's names run on over '.', '-', '_', ':' and letters beyond ASCII), with the byte after
// it (`next`). When HTML reads its start as a legacy reference, returns the character and
// sets *used to the bytes of the name that this takes; else 0. HTML's names are letters and
// digits: a legacy name counts when no more of them follow, and not when ';' follows the
// whole name (a name with ';' is no reference without one) nor, in an attribute value, '='.
uint32_t bareLegacyReference(const unsigned char* name, int32_t length, unsigned char next, bool inValue,
                             int32_t* used);

// Writes the character as UTF-8 and returns its length (1 to 4).


// A start tag as written: `bytes` from its '<' to where the parser stopped reading it (its
// '>', or the "/>"), `length` bytes, followed by `after` bytes more that the parser also held.
struct WrittenTag {
  const unsigned char* bytes;
  int64_t length;
  int64_t after;
};

// Reads the tag's attributes again as the parser reads them and compares every name and
// value with the parser's (`attributes`: name and value pairs ending in a null name). When
// all agree, writes the attributes with each reference that the parser left as written and
// HTML reads as a legacy one decoded into `area` (grown as needed, pointers into it), sets
// *decoded to them and returns 1; when they do not agree, 0; when the area cannot grow, -1
// with message 1014.
int decodeBareReferences(ParseRun& run, const WrittenTag& tag, const unsigned char* element, const unsigned char* const* attributes,
                         unsigned char** area, int32_t* areaSize, const unsigned char* const** decoded);

// Whether a value the parser gave may hold such a reference ("&" and a legacy name), so
// that its tag is worth reading again.
bool mayHoldBareReference(const unsigned char* value);

}  // namespace mq
