// Conversion of text whose code is known: Shift-JIS read as the code page CP932 (NEC row 13,
// the NEC-selected and IBM extensions, the user-defined area), EUC-JP read as EUC-JP-MS, or
// JIS (ISO-2022-JP and the code page's own JIS form), into one of the three. Unlike the mixed
// recognition of code_conversion.h nothing is guessed, and every character the target can
// hold is kept:
// - Shift-JIS and EUC map as EUC-JP-MS does, so every code page character comes back from
//   EUC as itself or, for a character the code page holds at two codes, as its preferred code.
// - JIS output is ISO-2022-JP while the text holds only JIS X 0208 and ASCII. Beyond that it
//   takes the code page's JIS form: half-width katakana in ESC ( I runs, row 13 and the IBM
//   extensions in the two-byte runs at their NEC rows (89-92). Each run is opened only by a
//   character written in it, and closed by ESC ( B, so no escape pair is ever empty.
// - A character the target cannot hold (the user-defined area in JIS, a supplementary EUC
//   character outside the code page), and a byte sequence that is not a character of the
//   source code, are written as the target's 〓 and counted. The same code on both sides
//   passes the bytes through unchanged.
#pragma once

#include <cstdint>

#include "common/code_conversion.h"

namespace mq {

// How runs of ASCII are taken: copied as runs (the fast path) or character by character.
// Both give the same result; the second is there so that tests can hold the first against it.
enum class KnownPath : uint8_t { Bulk, ByCharacter };

// The character set that a JIS text's bytes are read or written in.
enum class JisSet : uint8_t { Ascii, Kana, Kanji };

// Everything a conversion carries from one piece to the next, owned by the caller, so that a
// text converted in pieces of any sizes gives exactly the bytes of converting it whole.
struct KnownConversionState {
  CodeKind from;
  CodeKind to;
  JisSet inputSet;   // JIS source: the set the next bytes are read in
  JisSet outputSet;  // JIS target: the set of the run written last
  uint8_t carriedLength;
  unsigned char carried[3];  // the start of a character or escape sequence that the piece cut
  int64_t replaced;          // characters written as 〓 since the start
};

// A fresh state for converting from one code to another.
void startKnownConversion(KnownConversionState* state, CodeKind from, CodeKind to);

// Converts the next `length` source bytes (0 or less: none) into destination and returns the
// bytes written. A character or escape sequence cut at the end of the piece is carried in the
// state and completed by the next piece. Source and destination must not overlap.
int32_t convertKnownPiece(KnownConversionState* state, unsigned char* destination, const unsigned char* source,
                          int32_t length, KnownPath path = KnownPath::Bulk);

// Ends the text. A sequence that the text's end cut is not a character: it is written as 〓
// and counted, except that a JIS escape sequence cut short is an ESC control followed by
// what came after it, as it is in the middle of a text. Then an open JIS run is closed with
// ESC ( B. Returns the bytes written; the state is fresh again but keeps its count.
int32_t finishKnownConversion(KnownConversionState* state, unsigned char* destination);

// Room a destination needs for convertKnownPiece over `length` bytes followed by
// finishKnownConversion, whatever the state carries: 5 * length + 13 for JIS (one byte can
// become ESC $ B and a 〓), 2 * length + 6 for the other codes (a half-width katakana becomes
// 8E and itself in EUC, a bad byte a two-byte 〓).
int64_t knownConversionCapacity(int64_t length, CodeKind to);

// Whether the whole text has the structure of EUC-JP: 00-7F, A1-FE A1-FE, 8E A1-DF and
// 8F A1-FE A1-FE. Which codes are characters is not asked.
bool isValidEucJp(const unsigned char* text, int64_t length, KnownPath path = KnownPath::Bulk);

// Whether the whole text has the structure of Shift-JIS (CP932): 00-7F, A1-DF, and a first
// byte 81-9F or E0-FC followed by a second byte 40-7E or 80-FC.
bool isValidCp932(const unsigned char* text, int64_t length, KnownPath path = KnownPath::Bulk);

}  // namespace mq
