#include "common/file_reading.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "common/platform.h"
#include "common/work_areas.h"

namespace mq {

int getFileLength(long* length, const char* fileName) { return measureFile(fileName, length) ? 0 : -1; }

int readWholeFile(unsigned char** block, int32_t* length, const char* fileName) {
  long fileLength = 0;
  if (getFileLength(&fileLength, fileName) != 0) return -1;
  if (fileLength > kLargestAreaSize - 16) return -1;
  if (allocZeroed(block, fileLength + 16) != 0) return -1;
  std::FILE* file = std::fopen(fileName, "rb");
  if (file == nullptr) return -1;
  prepareForWriting(*block, fileLength);
  const std::size_t got = std::fread(*block, 1, static_cast<std::size_t>(fileLength), file);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return -1;
  *length = static_cast<int32_t>(got);
  return 0;
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
