#include "common/file_reading.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "common/work_areas.h"

namespace mq {

int getFileLength(long* length, const char* fileName) {
  const int descriptor = ::open(fileName, O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return -1;
  struct stat status {};
  const bool measured = ::fstat(descriptor, &status) == 0 && !S_ISDIR(status.st_mode);
  ::close(descriptor);
  if (!measured) return -1;
  *length = static_cast<long>(status.st_size);
  return 0;
}

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

}  // namespace mq
