// Documents in a declared or labelled code read as UTF-8, and UTF-8 written back as the
// system's Shift-JIS (the Windows code page, CP932). This is how documents outside the three
// codes that the byte-by-byte conversion recognises reach the parse tables.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mq {

// The codes a document can be read from. Labelled: any other code the platform's converter
// knows by the label a document gives.
enum class SourceCode : uint8_t { Utf8, Utf16Le, Utf16Be, Cp932, EucJp, Jis, Labelled };

inline constexpr int kCodeLabelSize = 48;

// Reading a document as UTF-8, piece by piece. A byte sequence that is not of the code is
// replaced by U+FFFD (which later counts as a replaced character), or, when strict, stops
// the decoding.
struct Utf8Decoder {
  SourceCode code;
  void* converter;  // the platform converter, for the codes that need one
  bool strict;
  int64_t badOffset;  // strict: where the first bad sequence began, counted over all pieces; -1: none
  int64_t consumed;   // source bytes taken so far
  int64_t replaced;   // sequences written as U+FFFD so far
};

// Starts a decoder; label names the code for Labelled. -1 when the code cannot be read here.
int openDecoder(Utf8Decoder* decoder, SourceCode code, const char* label, bool strict);
void closeDecoder(Utf8Decoder* decoder);

// Decodes from the start of source into destination until the source is used up or less
// than 8 bytes of room are left. A sequence cut by the end of the source is left for the
// next piece unless `last`. *used: the source bytes taken. Returns the bytes written, or -1
// (strict) at a bad sequence, with badOffset set.
int32_t decodePiece(Utf8Decoder* decoder, const unsigned char* source, int32_t length, bool last,
                    unsigned char* destination, int32_t capacity, int32_t* used);

// How runs of ASCII are taken: copied as runs (the fast path) or character by character.
// Both give the same bytes; the second is there so that tests can hold the first against it.
enum class UnicodePath { Bulk, ByCharacter };

// Is the whole range valid UTF-8 (no overlong forms, surrogates or code points above U+10FFFF)?
bool isValidUtf8(const unsigned char* text, int64_t length, UnicodePath path = UnicodePath::Bulk);

// Rewrites ISO-2022-JP text in place as Shift-JIS (CP932) bytes: two-byte runs by the
// row-and-cell arithmetic, so that the code page's extensions (such as row 13) come through,
// half-width katakana runs as single bytes, escape sequences dropped. A character of a set
// that has no such form becomes the byte 0xFF, which no Shift-JIS reading accepts. Returns
// the new length, never more than the old.
int32_t jisToShiftJis(unsigned char* text, int32_t length);

// Writing UTF-8 as CP932. A character the code page lacks becomes 〓 (81 AC) and is counted;
// a no-break space becomes a space.
struct Cp932Encoder {
  void* converter;
  int64_t replaced;  // characters replaced so far
};

int openEncoder(Cp932Encoder* encoder);
void closeEncoder(Cp932Encoder* encoder);

// Writes the UTF-8 text as CP932 and returns the bytes written: never more than `length`.
// A byte that does not begin a valid UTF-8 sequence becomes "?" and is counted too.
int32_t encodeCp932(Cp932Encoder* encoder, const unsigned char* text, int32_t length, unsigned char* destination,
                    UnicodePath path = UnicodePath::Bulk);

// Decodes CP932 (Shift-JIS) into UTF-8 by the code page's table, as the system's converter
// reads it: a byte that begins no character is U+FFFD and reading goes on after it; a first
// byte at the end waits for the next piece unless `last`. Stops when less than 8 bytes of room
// are left. A strict decoder stops at a byte that begins no character instead (-1, badOffset
// set). Runs of ASCII and of two-byte characters are taken in bulk, or one by one. decodePiece
// reads CP932 this way; the decoder is one opened for SourceCode::Cp932.
int32_t decodeCp932(Utf8Decoder* decoder, const unsigned char* source, int32_t length, bool last,
                    unsigned char* destination, int32_t capacity, int32_t* used,
                    UnicodePath path = UnicodePath::Bulk);

// The longest start of the UTF-8 text of at most `limit` bytes that splits no character.
std::size_t utf8Cut(const char* text, std::size_t length, std::size_t limit);

// Writes the code point (at most U+10FFFF) as UTF-8; returns its bytes (1 to 4).
int32_t writeUtf8(uint32_t point, unsigned char* out);

// Whether the system converts between Shift-JIS and UTF-8 (the Windows build has no converter).
bool platformConvertsCodes();

// The length of the valid UTF-8 sequence at text (1 to 4), or 0 when none begins there.
int utf8SequenceLength(const unsigned char* text, int64_t available);

}  // namespace mq
