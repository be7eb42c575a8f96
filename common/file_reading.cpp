#include "common/file_reading.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "common/platform.h"
#include "common/work_areas.h"

namespace mq {

int getFileLength(long* length, const char* fileName) { return measureFile(fileName, length) ? 0 : -1; }

int readWholeFile(unsigned char** block, int32_t* length, const char* fileName) {
  WholeFile whole;
  if (openWholeFile(&whole, fileName) != 0) return -1;
  return readOpenedFile(&whole, block, length);
}

int openWholeFile(WholeFile* whole, const char* fileName) {
  *whole = WholeFile{};
  long fileLength = 0;
  if (getFileLength(&fileLength, fileName) != 0) return -1;
  if (fileLength > kLargestAreaSize - 16) return -1;
  whole->file = std::fopen(fileName, "rb");
  if (whole->file == nullptr) return -1;
  whole->length = fileLength;
  return 0;
}

int readOpenedFile(WholeFile* whole, unsigned char** block, int32_t* length) {
  int result = -1;
  if (allocZeroed(block, whole->length + 16) == 0) {
    prepareForWriting(*block, whole->length);
    const std::size_t got = std::fread(*block, 1, static_cast<std::size_t>(whole->length), whole->file);
    if (std::ferror(whole->file) == 0) {
      *length = static_cast<int32_t>(got);
      result = 0;
    }
  }
  closeWholeFile(whole);
  return result;
}

void closeWholeFile(WholeFile* whole) {
  if (whole->file != nullptr) std::fclose(whole->file);
  *whole = WholeFile{};
}

bool readStandardInput(std::string* bytes) {
  useBinaryMode(stdin);
  char piece[1 << 16];
  std::size_t got;
  while ((got = std::fread(piece, 1, sizeof piece, stdin)) > 0) {
    if (bytes->size() + got > static_cast<std::size_t>(kLargestAreaSize - 16)) return false;
    bytes->append(piece, got);
  }
  return std::ferror(stdin) == 0;
}

int copyWholeText(unsigned char** block, int32_t* length, const unsigned char* bytes, std::size_t size) {
  if (size > static_cast<std::size_t>(kLargestAreaSize - 16)) return -1;
  if (allocZeroed(block, static_cast<long>(size) + 16) != 0) return -1;
  if (size > 0) std::memcpy(*block, bytes, size);
  *length = static_cast<int32_t>(size);
  return 0;
}

}  // namespace mq
