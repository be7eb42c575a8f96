// Lines gathered in a large block and written to a file (or a text) in few calls, with decimal
// numbers formatted as "%ld" formats them. Any failed write is remembered: later writes
// are dropped, and flush answers false.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/text_helpers.h"

namespace mq {

// A number written line after line that is most often the one before plus one, as a listing's
// object numbers are: its digits are counted on from the last instead of formatted anew.
class CountedNumber {
 public:
  // The digits of `value` as "%ld" writes them.
  std::string_view of(long value);

 private:
  long value_ = -1;  // -1: no digits yet, or a negative number's
  char digits_[24] = {};
  std::size_t length_ = 0;  // the digits stand at the end of digits_
};

class LineWriter {
 public:
  explicit LineWriter(std::FILE* file) : file_(file) {}
  // Gathers the lines at the end of a text instead.
  explicit LineWriter(std::string* text) : file_(nullptr), text_(text) {}
  LineWriter(const LineWriter&) = delete;
  LineWriter& operator=(const LineWriter&) = delete;

  bool failed() const { return failed_; }
  // Bytes put so far, written or gathered.
  long long position() const { return written_ + static_cast<long long>(used_); }
  void put(const char* bytes, std::size_t length) {
    // Numbers, separators and most values fit what is left: moves of fixed sizes beat a
    // library call for the short ones.
    if (length <= 16 && length <= sizeof buffer_ - used_) {
      copyShort(buffer_ + used_, bytes, length);
      used_ += length;
      return;
    }
    putLong(bytes, length);
  }
  void put(char byte) {
    if (used_ == sizeof buffer_) flush();
    buffer_[used_++] = byte;
  }
  // A signed decimal number without leading zeros or blanks.
  void putNumber(long value) {
    // One digit, as every document number and most sequence numbers are.
    if (static_cast<unsigned long>(value) < 10 && used_ < sizeof buffer_) {
      buffer_[used_++] = static_cast<char>('0' + value);
      return;
    }
    putLongNumber(value);
  }
  // Writes what is gathered; false when any write so far has failed.
  bool flush();

 private:
  void putLong(const char* bytes, std::size_t length);
  void putLongNumber(long value);
  void write(const char* bytes, std::size_t length);
  std::FILE* file_;
  std::string* text_ = nullptr;
  bool failed_ = false;
  long long written_ = 0;
  std::size_t used_ = 0;
  char buffer_[1 << 18];
};

}  // namespace mq
