#include "common/text_helpers.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace mq {

int copyTrimmed(char* destination, const char* source, int length) {
  int first = 0;
  while (first < length && isBlank(static_cast<unsigned char>(source[first]))) ++first;
  if (first >= length) return 0;
  int last = length - 1;
  while (isBlank(static_cast<unsigned char>(source[last]))) --last;
  const int count = last - first + 1;
  std::memmove(destination, source + first, static_cast<std::size_t>(count));
  return count;
}

int copyWithoutBlanks(char* destination, const char* source, int length) {
  int count = 0;
  int i = 0;
  while (i < length) {
    // Eight bytes at a time while none is at or below SPACE, where every blank lies.
    if (i + 8 <= length && !holdsByteBelow(source + i, ' ' + 1)) {
      std::memcpy(destination + count, source + i, 8);
      count += 8;
      i += 8;
      continue;
    }
    const int end = i + 8 < length ? i + 8 : length;
    for (; i < end; ++i) {
      if (!isBlank(static_cast<unsigned char>(source[i]))) destination[count++] = source[i];
    }
  }
  return count;
}

void toUpperAscii(char* destination, const char* source, int length) {
  for (int i = 0; i < length; ++i) {
    const char byte = source[i];
    destination[i] = (byte >= 'a' && byte <= 'z') ? static_cast<char>(byte - 0x20) : byte;
  }
}

void toUpperShiftJis(char* text, int length) {
  for (int i = 0; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool lead = (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    if (lead) {
      ++i;
    } else if (byte >= 'a' && byte <= 'z') {
      text[i] = static_cast<char>(byte - 0x20);
    }
  }
}

void countRowsCols(long* rows, long* columns, const char* text, long length) {
  RowsCols counted;
  countRowsColsOn(&counted, text, length);
  *rows = counted.rows;
  *columns = counted.columns;
}

namespace {

// The high bit of exactly the word's zero bytes.
uint64_t zeroBytesExactly(uint64_t word) {
  constexpr uint64_t kLow = 0x7F7F7F7F7F7F7F7FULL;
  return ~(((word & kLow) + kLow) | word | kLow);
}

// The TABs from `at` to `length`.
long tabsIn(const char* text, long at, long length) {
  constexpr uint64_t kTabs = 0x0909090909090909ULL;
  long tabs = 0;
  for (; at + 8 <= length; at += 8) {
    uint64_t word = 0;
    std::memcpy(&word, text + at, 8);
    tabs += std::popcount(zeroBytesExactly(word ^ kTabs));
  }
  for (; at < length; ++at) tabs += text[at] == '\t' ? 1 : 0;
  return tabs;
}

}  // namespace

// Only the bytes after the last line break decide the column: the count goes from line break
// to line break, and looks at the TABs of the last line alone.
void countRowsColsOn(RowsCols* counted, const char* text, long length) {
  if (length <= 0) return;
  long at = 0;
  if (counted->partner != 0 && text[0] == counted->partner) at = 1;
  counted->partner = 0;
  for (;;) {
    constexpr uint64_t kLfs = 0x0A0A0A0A0A0A0A0AULL;
    constexpr uint64_t kCrs = 0x0D0D0D0D0D0D0D0DULL;
    const long found =
        static_cast<long>(findAnyOfThree(reinterpret_cast<const unsigned char*>(text), at, length, kLfs, kCrs, kCrs));
    if (found == length) break;
    ++counted->rows;
    counted->columns = 1;
    const char partner = text[found] == '\n' ? '\r' : '\n';
    at = found + 1;
    if (at < length && text[at] == partner) {
      ++at;
    } else if (at == length) {
      counted->partner = partner;
    }
  }
  // A TAB counts four columns, every other byte one.
  counted->columns += (length - at) + 3 * tabsIn(text, at, length);
}

int checkNumber(const char* text, int length, NumberType type) {
  const bool signAllowed = type == kSignedDigits || type == kSignedDigitsAndPoint;
  const bool pointAllowed = type != kDigitsOnly && type != kSignedDigits;
  int i = 0;
  if (signAllowed && length > 0 && (text[0] == '+' || text[0] == '-')) i = 1;
  bool pointSeen = false;
  for (; i < length; ++i) {
    const char byte = text[i];
    if (byte >= '0' && byte <= '9') continue;
    if (byte == '.' && pointAllowed && !pointSeen) {
      pointSeen = true;
      continue;
    }
    return 2;
  }
  return 0;
}

}  // namespace mq
