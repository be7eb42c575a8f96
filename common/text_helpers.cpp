#include "common/text_helpers.h"

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

void countRowsColsOn(RowsCols* counted, const char* text, long length) {
  if (length <= 0) return;
  long i = 0;
  if (counted->partner != 0 && text[0] == counted->partner) i = 1;
  counted->partner = 0;
  for (; i < length; ++i) {
    // Eight bytes above CR at a time: most text has no TAB, LF or CR.
    while (i + 8 <= length && !holdsByteBelow14(text + i)) {
      counted->columns += 8;
      i += 8;
    }
    if (i >= length) break;
    const char byte = text[i];
    if (byte == '\t') {
      counted->columns += 4;
    } else if (byte == '\n' || byte == '\r') {
      ++counted->rows;
      counted->columns = 1;
      const char partner = byte == '\n' ? '\r' : '\n';
      if (i + 1 < length && text[i + 1] == partner) {
        ++i;
      } else if (i + 1 == length) {
        counted->partner = partner;
      }
    } else {
      ++counted->columns;
    }
  }
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
