// Conversion of mixed Shift-JIS, EUC and JIS text into one target code. The input code is
// never declared: every byte is classified on its own and two-byte characters of any of the
// three codes are rewritten in the target code; all other bytes pass through.
#pragma once

#include <cstdint>

namespace mq {

enum class CodeKind : int32_t { Jis = 1, Euc = 2, Sjis = 3 };

// What the bytes read so far leave open.
enum class PendingState : uint8_t {
  Ground,          // nothing pending
  AfterEsc,        // ESC
  AfterEscDollar,  // ESC $
  AfterEscParen,   // ESC (
  JisFirstHeld,    // the held byte is the first of a JIS pair
  SjisLeadHeld,    // the held byte is a Shift-JIS first byte
  EucLeadHeld,     // the held byte is an EUC first byte
};

// Everything a conversion carries from one byte to the next, owned by the caller, so that a
// text converted in pieces with one state gives exactly the bytes of converting it whole.
struct ConversionState {
  CodeKind target;
  PendingState pending;
  unsigned char heldByte;
  bool inputKanji;           // the input is in JIS two-byte mode
  bool outputKanji;          // the output is in two-byte mode (JIS: ESC $ B not yet closed); set with inputKanji
  CodeKind preferredDouble;  // how a first byte 0xE0-0xFC (Shift-JIS or EUC) is read
};

// A fresh state: nothing pending, one-byte mode, EUC preferred.
void startConversion(ConversionState* state, CodeKind target);

// Converts the next `length` source bytes (0 or less: none) into destination and returns the
// bytes written. A character or escape sequence cut at the end of the piece is kept in the
// state and completed by the next piece. For a Shift-JIS or EUC target converted from a
// fresh state the destination may be the source itself, since the output never runs ahead
// of the input; otherwise the two must not overlap (a byte held from an earlier piece comes
// out with the first byte of this one).
int32_t convertPiece(ConversionState* state, unsigned char* destination, const unsigned char* source, int32_t length);

// The same conversion through the byte-wise state machine alone, without the runs that take
// plain bytes and Shift-JIS pairs in bulk: the reference that convertPiece is held against.
int32_t convertPieceByteWise(ConversionState* state, unsigned char* destination, const unsigned char* source,
                             int32_t length);

// Ends the text: closes an open JIS two-byte run (ESC ( B), drops whatever is still pending
// and leaves the state fresh again. Returns the bytes written (0 or 3).
int32_t finishConversion(ConversionState* state, unsigned char* destination);

// Room a destination needs for convertPiece over `length` bytes followed by finishConversion:
// 7 * length + 3 for JIS (a line feed inside a two-byte run becomes 7 bytes), length + 1 for
// the other codes (a character whose first byte came with the previous piece).
int64_t conversionCapacity(int32_t length, CodeKind target);

// The one-call form: fresh state, convert, finish. For Shift-JIS and EUC targets the result
// never exceeds `length`; nothing is appended (no NUL).
int32_t ConvertCode(unsigned char* destination, const unsigned char* source, int32_t length, CodeKind target);

}  // namespace mq
