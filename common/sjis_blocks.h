// Whether a text has the structure of Shift-JIS (CP932), checked 64 bytes at a time: the bytes'
// classes as bit masks, and which bytes are first bytes found from them without a branch for
// each character. A document's code is surveyed over all of it, beside its reading; mixed text
// changes between one-byte and two-byte characters every few bytes, which a byte-at-a-time
// reading pays for in mispredicted branches.
#pragma once

#include <cstdint>

namespace mq {

// A Shift-JIS byte's place: first of two, second of two, half-width katakana of one.
constexpr bool isSjisLead(unsigned int byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}
constexpr bool isSjisTrail(unsigned int byte) { return byte >= 0x40 && byte <= 0xFC && byte != 0x7F; }
constexpr bool isKatakana(unsigned int byte) { return byte >= 0xA1 && byte <= 0xDF; }

// The classes of 64 bytes, a bit a byte (bit i: byte i).
struct ByteClasses {
  uint64_t single;  // 00-7F and A1-DF: a character of one byte
  uint64_t lead;    // 81-9F and E0-FC: the first of two bytes
  uint64_t trail;   // 40-7E and 80-FC: a second byte
};
ByteClasses byteClassesOf(const unsigned char* bytes);
// The same, a byte at a time: what the 16-byte comparisons are held to.
ByteClasses byteClassesByByte(const unsigned char* bytes);

// The same as the byte-at-a-time reading of isValidCp932.
bool isValidCp932InBlocks(const unsigned char* text, int64_t length);

}  // namespace mq
