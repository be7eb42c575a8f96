// The bytes of a document taken in pieces, from an open file or from a text in memory, so
// that no document needs to be held whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace mq {

class PieceSource {
 public:
  explicit PieceSource(std::FILE* file) : file_(file) {}
  PieceSource(const unsigned char* bytes, std::size_t size) : bytes_(bytes), size_(size) {}

  // Up to `room` next bytes at target: their count, 0 at the end, -1 when a read broke off.
  int32_t read(unsigned char* target, int32_t room) {
    if (room <= 0) return 0;
    if (file_ == nullptr) {
      const std::size_t count = size_ - at_ < static_cast<std::size_t>(room) ? size_ - at_ : static_cast<std::size_t>(room);
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

 private:
  std::FILE* file_ = nullptr;
  const unsigned char* bytes_ = nullptr;
  std::size_t size_ = 0;
  std::size_t at_ = 0;
};

}  // namespace mq
