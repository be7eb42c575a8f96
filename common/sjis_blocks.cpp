#include "common/sjis_blocks.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mq {

namespace {

constexpr int kBlock = 64;

}  // namespace

ByteClasses byteClassesByByte(const unsigned char* bytes) {
  ByteClasses classes{0, 0, 0};
  for (int i = 0; i < kBlock; ++i) {
    const unsigned int byte = bytes[i];
    const uint64_t bit = uint64_t{1} << i;
    if (byte < 0x80 || isKatakana(byte)) classes.single |= bit;
    if (isSjisLead(byte)) classes.lead |= bit;
    if (isSjisTrail(byte)) classes.trail |= bit;
  }
  return classes;
}

namespace {

#if defined(__SSE2__)
// Whether each byte lies from low to high: taken from low, a byte in the range is at most
// high - low, unsigned.
__m128i inRange(__m128i bytes, unsigned char low, unsigned char high) {
  const __m128i shifted = _mm_sub_epi8(bytes, _mm_set1_epi8(static_cast<char>(low)));
  return _mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8(static_cast<char>(high - low))), shifted);
}

uint64_t bitsOf(__m128i mask) { return static_cast<uint16_t>(_mm_movemask_epi8(mask)); }
#endif

}  // namespace

ByteClasses byteClassesOf(const unsigned char* bytes) {
#if defined(__SSE2__)
  ByteClasses classes{0, 0, 0};
  for (int part = 0; part < kBlock / 16; ++part) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * part));
    const int shift = 16 * part;
    // The high bit is set in every byte from 80 up.
    const uint64_t ascii = ~bitsOf(x) & 0xFFFF;
    classes.single |= (ascii | bitsOf(inRange(x, 0xA1, 0xDF))) << shift;
    classes.lead |= bitsOf(_mm_or_si128(inRange(x, 0x81, 0x9F), inRange(x, 0xE0, 0xFC))) << shift;
    classes.trail |= bitsOf(_mm_andnot_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8(0x7F)), inRange(x, 0x40, 0xFC))) << shift;
  }
  return classes;
#else
  return byteClassesByByte(bytes);
#endif
}

bool isValidCp932InBlocks(const unsigned char* text, int64_t length) {
  constexpr uint64_t kEven = 0x5555555555555555ULL;  // bits 0, 2, 4, ...
  uint64_t pending = 0;  // 1: the byte before the block was a first byte, so its first is a second
  unsigned char tail[kBlock];
  for (int64_t at = 0; at < length; at += kBlock) {
    const unsigned char* block = text + at;
    if (length - at < kBlock) {
      // Zero bytes after the text are characters, and no second byte.
      std::memset(tail, 0, sizeof tail);
      std::memcpy(tail, block, static_cast<std::size_t>(length - at));
      block = tail;
    }
    const ByteClasses classes = byteClassesOf(block);
    // In a run of bytes that can be first bytes, the first, third, ... are first bytes and the
    // others their second bytes. The runs that start at an even place are the ones whose
    // bits a carry added at their start clears.
    const uint64_t leads = classes.lead & ~pending;
    const uint64_t starts = leads & ~(leads << 1);
    const uint64_t fromEven = leads & ~(leads + (starts & kEven));
    const uint64_t firsts = (fromEven & kEven) | (leads & ~fromEven & ~kEven);
    const uint64_t seconds = (firsts << 1) | pending;
    if ((seconds & ~classes.trail) != 0 || ~(seconds | firsts | classes.single) != 0) return false;
    pending = firsts >> 63;
  }
  return pending == 0;
}

}  // namespace mq
