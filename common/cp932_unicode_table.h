// The Unicode code point of every two-byte CP932 code (lead bytes 81-9F and E0-FC, trail
// bytes 40-FC, 189 a lead), 0 where the code is no character. Written from the machine's
// iconv by common/make_cp932_unicode_table.py.
#pragma once

#include <cstdint>

namespace mq {

inline constexpr int kCp932Trails = 189;
extern const uint16_t kCp932Unicode[11340];

}  // namespace mq
