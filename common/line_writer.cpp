#include "common/line_writer.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace mq {

void LineWriter::putLong(const char* bytes, std::size_t length) {
  if (length > sizeof buffer_ - used_) {
    flush();
    if (length > sizeof buffer_) {
      write(bytes, length);
      return;
    }
  }
  std::memcpy(buffer_ + used_, bytes, length);
  used_ += length;
}

void LineWriter::putLongNumber(long value) {
  char digits[24];
  char* end = digits + sizeof digits;
  char* at = end;
  unsigned long magnitude = value < 0 ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
  // Two digits per division.
  static constexpr char kPairs[] =
      "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243444546474849"
      "5051525354555657585960616263646566676869707172737475767778798081828384858687888990919293949596979899";
  while (magnitude >= 100) {
    const unsigned long pair = (magnitude % 100) * 2;
    magnitude /= 100;
    *--at = kPairs[pair + 1];
    *--at = kPairs[pair];
  }
  if (magnitude >= 10) {
    *--at = kPairs[magnitude * 2 + 1];
    *--at = kPairs[magnitude * 2];
  } else {
    *--at = static_cast<char>('0' + magnitude);
  }
  if (value < 0) *--at = '-';
  put(at, static_cast<std::size_t>(end - at));
}

std::string_view CountedNumber::of(long value) {
  char* const end = digits_ + sizeof digits_;
  if (value_ >= 0 && value_ < LONG_MAX && value == value_ + 1) {
    // Nines at the end become zeros and carry one to the digit before, or to a new first one.
    char* at = end - 1;
    while (at >= end - length_ && *at == '9') *at-- = '0';
    if (at < end - length_) {
      *at = '1';
      ++length_;
    } else {
      ++*at;
    }
  } else {
    const int written = std::snprintf(digits_, sizeof digits_, "%ld", value);
    length_ = static_cast<std::size_t>(written);
    std::memmove(end - length_, digits_, length_);
  }
  value_ = value >= 0 ? value : -1;
  return {end - length_, length_};
}

bool LineWriter::flush() {
  if (used_ > 0) write(buffer_, used_);
  used_ = 0;
  return !failed_;
}

void LineWriter::write(const char* bytes, std::size_t length) {
  written_ += static_cast<long long>(length);
  if (failed_) return;
  if (text_ != nullptr) {
    text_->append(bytes, length);
    return;
  }
  if (std::fwrite(bytes, 1, length, file_) != length || std::ferror(file_) != 0) failed_ = true;
}

}  // namespace mq
