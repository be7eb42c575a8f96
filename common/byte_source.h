// Bytes of an open file or of a text in memory, for the readers that take either: taken one
// at a time (tag listings and replacement tables) or in pieces (documents, which are never
// held whole). Files come from the programs, texts from the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/platform.h"

namespace mq {

class ByteSource {
 public:
  explicit ByteSource(std::FILE* file) : file_(file) {}
  ByteSource(const unsigned char* bytes, std::size_t size) : bytes_(bytes), size_(size) {}

  // The next byte, or EOF at the end.
  int next() {
    if (file_ != nullptr) return getByteUnlocked(file_);  // one reader per file: no locking needed
    return at_ < size_ ? bytes_[at_++] : EOF;
  }
  // Up to `room` next bytes at target: their count, 0 at the end, -1 when a read broke off.
  int32_t read(unsigned char* target, int32_t room) {
    if (room <= 0) return 0;
    if (file_ == nullptr) {
      const std::size_t left = size_ - at_;
      const std::size_t count = left < static_cast<std::size_t>(room) ? left : static_cast<std::size_t>(room);
      if (count > 0) std::memcpy(target, bytes_ + at_, count);
      at_ += count;
      return static_cast<int32_t>(count);
    }
    const std::size_t got = std::fread(target, 1, static_cast<std::size_t>(room), file_);
    if (got == 0 && std::ferror(file_) != 0) return -1;
    return static_cast<int32_t>(got);
  }
  // Back to the first byte; false when the file cannot be read again.
  bool rewind() {
    at_ = 0;
    return file_ == nullptr || std::fseek(file_, 0, SEEK_SET) == 0;
  }

  // A read that broke off, which is no end of the text.
  bool failed() const { return file_ != nullptr && std::ferror(file_) != 0; }

  // Passes a UTF-8 byte-order mark at the start, which is no part of the first line.
  void skipUtf8Mark() {
    if (file_ == nullptr) {
      if (size_ >= 3 && bytes_[0] == 0xEF && bytes_[1] == 0xBB && bytes_[2] == 0xBF) at_ = 3;
      return;
    }
    unsigned char mark[3] = {};
    const std::size_t got = std::fread(mark, 1, 3, file_);
    if (got == 3 && mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF) return;
    std::rewind(file_);
  }

 private:
  std::FILE* file_ = nullptr;
  const unsigned char* bytes_ = nullptr;
  std::size_t size_ = 0;
  std::size_t at_ = 0;
};

}  // namespace mq
