// Bytes taken one at a time from an open file or from a text in memory, for the readers
// that take either: tag listings and replacement tables come from files for the programs
// and from memory for the library.
#pragma once

#include <cstddef>
#include <cstdio>

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
