// Small operations on byte ranges. They count bytes: a two-byte character is two bytes to
// them. A blank is TAB, LF, CR or SPACE, nothing else.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace mq {

enum NumberType : int {
  kDigitsOnly = 1,
  kSignedDigits = 2,
  kDigitsAndPoint = 3,
  kSignedDigitsAndPoint = 4,
};

constexpr bool isBlank(unsigned char byte) { return byte == '\t' || byte == '\n' || byte == '\r' || byte == ' '; }

// The bytes of the text before its first NUL, at most `limit`.
inline std::size_t textLength(const char* text, std::size_t limit) {
  const void* nul = std::memchr(text, 0, limit);
  return nul == nullptr ? limit : static_cast<std::size_t>(static_cast<const char*>(nul) - text);
}

// copyShort's two moves of one size: the first bytes and the last, overlapping in between.
template <typename Word>
[[gnu::always_inline]] inline void copyBothEnds(unsigned char* to, const unsigned char* from, std::size_t length) {
  Word head = 0;
  Word tail = 0;
  std::memcpy(&head, from, sizeof(Word));
  std::memcpy(&tail, from + length - sizeof(Word), sizeof(Word));
  std::memcpy(to, &head, sizeof(Word));
  std::memcpy(to + length - sizeof(Word), &tail, sizeof(Word));
}

// Copies at most 16 bytes by moves of fixed sizes, overlapping where the length is not one of
// them: for the short texts of a line a library call costs more than the copy. The ranges
// must not overlap.
[[gnu::always_inline]] inline void copyShort(void* destination, const void* source, std::size_t length) {
  auto* to = static_cast<unsigned char*>(destination);
  const auto* from = static_cast<const unsigned char*>(source);
  if (length >= 8) {
    copyBothEnds<uint64_t>(to, from, length);
  } else if (length >= 4) {
    copyBothEnds<uint32_t>(to, from, length);
  } else if (length > 0) {
    const unsigned char first = from[0];
    const unsigned char middle = from[length / 2];
    const unsigned char last = from[length - 1];
    to[0] = first;
    to[length / 2] = middle;
    to[length - 1] = last;
  }
}

// Copies the range without its leading and trailing blanks; returns the bytes copied.
// No NUL is written: destinations are zero-filled by their owners.
int copyTrimmed(char* destination, const char* source, int length);

// Copies every byte of the range that is not a blank; returns the bytes copied.
int copyWithoutBlanks(char* destination, const char* source, int length);

// a-z become A-Z, every other byte stays; destination and source may be the same.
void toUpperAscii(char* destination, const char* source, int length);

// The same over Shift-JIS text in place, leaving both bytes of every two-byte character as
// they are (a trail byte may be a letter's byte).
void toUpperShiftJis(char* text, int length);

// Row and column (from 1) of the position just after the range: a TAB counts four
// columns, CR, LF and the pairs CR LF and LF CR each end one line.
void countRowsCols(long* rows, long* columns, const char* text, long length);

// Eight bytes of a text from `bytes` on, those from `left` bytes on cleared: for texts with
// eight bytes of room after them in their areas, read a word at a time.
inline uint64_t wordInRoom(const unsigned char* bytes, int32_t left) {
  static_assert(std::endian::native == std::endian::little, "a text's first bytes are a word's low bytes");
  uint64_t word = 0;
  std::memcpy(&word, bytes, 8);
  return left >= 8 ? word : word & ((uint64_t{1} << (8 * left)) - 1);
}

// toUpperAscii in place over such a text, a word at a time, when the bytes after it up to
// the end of its last word are no letters (as the zero bytes after a name are).
inline void toUpperAsciiInRoom(unsigned char* text, int32_t length) {
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  constexpr uint64_t kHigh = 0x8080808080808080ULL;
  for (int32_t i = 0; i < length; i += 8) {
    uint64_t word = 0;
    std::memcpy(&word, text + i, 8);
    // Of the low seven bits, 'a' and above reach the high bit with 0x1F added, above 'z' with
    // 0x05; neither sum carries into the next byte. Bytes with the high bit set are no letters.
    const uint64_t low = word & ~kHigh;
    const uint64_t lower = (low + (0x80 - 'a') * kOnes) & ~(low + (0x80 - 'z' - 1) * kOnes) & ~word & kHigh;
    // A letter's 0x20 bit, the high bit moved down two places, makes it a capital.
    word ^= lower >> 2;
    std::memcpy(text + i, &word, 8);
  }
}

// Whether two such texts of `length` bytes are the same.
inline bool sameBytesInRoom(const unsigned char* a, const unsigned char* b, int32_t length) {
  for (int32_t i = 0; i < length; i += 8) {
    if (wordInRoom(a + i, length - i) != wordInRoom(b + i, length - i)) return false;
  }
  return true;
}

// Whether any of the eight bytes at `bytes` is below `limit` (at most 0x80): text without
// such bytes is passed over eight bytes at a time.
inline bool holdsByteBelow(const char* bytes, uint64_t limit) {
  uint64_t word = 0;
  std::memcpy(&word, bytes, 8);
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  constexpr uint64_t kHigh = 0x8080808080808080ULL;
  // A byte below the limit turns its high bit on when the limit is taken from it; one that
  // had its high bit on already is masked out by ~word.
  return ((word - limit * kOnes) & ~word & kHigh) != 0;
}

// The high bit of every zero byte of the word set, and perhaps of bytes after the first zero
// one (a borrow); the lowest set bit is always the first zero byte's.
constexpr uint64_t zeroBytesMarked(uint64_t word) {
  return (word - 0x0101010101010101ULL) & ~word & 0x8080808080808080ULL;
}

// The first place from `at` before `end` whose byte is one of three, each given repeated over
// a word (fewer bytes repeat one), or `end`; eight bytes at a time.
inline int64_t findAnyOfThree(const unsigned char* text, int64_t at, int64_t end, uint64_t first, uint64_t second,
                              uint64_t third) {
  for (; at + 8 <= end; at += 8) {
    uint64_t word = 0;
    std::memcpy(&word, text + at, 8);
    const uint64_t marked =
        zeroBytesMarked(word ^ first) | zeroBytesMarked(word ^ second) | zeroBytesMarked(word ^ third);
    if (marked != 0) return at + std::countr_zero(marked) / 8;
  }
  const auto a = static_cast<unsigned char>(first);
  const auto b = static_cast<unsigned char>(second);
  const auto c = static_cast<unsigned char>(third);
  while (at < end && text[at] != a && text[at] != b && text[at] != c) ++at;
  return at;
}

// Below 0x0E lie TAB, LF and CR.
inline bool holdsByteBelow14(const char* bytes) { return holdsByteBelow(bytes, 14); }

// Rows and columns counted on over a text read in pieces, as countRowsCols counts the whole:
// a line break at the end of one piece pairs with its partner at the start of the next.
struct RowsCols {
  long rows = 1;
  long columns = 1;
  char partner = 0;  // the byte that would complete the last line break, or 0
};
void countRowsColsOn(RowsCols* counted, const char* text, long length);

// 0 when the range is a number of the type, 2 when it is not; a value outside the four
// types is taken as kDigitsAndPoint.
int checkNumber(const char* text, int length, NumberType type);

}  // namespace mq
