// Hashes for the open-addressed tables that look up tag paths: bytes taken eight at a time,
// and a final mix so that the low bits of the hash pick a table slot well.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace mq {

inline uint64_t mixBits(uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  return h;
}

// The bytes hashed on from `seed`.
inline uint64_t hashBytes(const char* bytes, int32_t length, uint64_t seed) {
  uint64_t h = seed;
  int32_t i = 0;
  for (; i + 8 <= length; i += 8) {
    uint64_t word = 0;
    std::memcpy(&word, bytes + i, 8);
    h = (h ^ word) * 0x9E3779B97F4A7C15ULL;
    h ^= h >> 29;
  }
  uint64_t tail = 0;
  std::memcpy(&tail, bytes + i, static_cast<std::size_t>(length - i));
  return mixBits((h ^ tail) * 0x9E3779B97F4A7C15ULL);
}

}  // namespace mq
