#include "common/work_areas.h"

#include <cstdlib>
#include <cstring>

#include "common/message_log.h"
#include "common/texts.h"

namespace mq {

namespace {

AllocationSeam gSeam;

bool seamRefuses(std::size_t size) {
  ++gSeam.count;
  if (gSeam.failAt > 0 && gSeam.count == gSeam.failAt) return true;
  if (gSeam.failAbove >= 0 && size > static_cast<std::size_t>(gSeam.failAbove)) return true;
  return gSeam.hook != nullptr && gSeam.hook(size);
}

}  // namespace

void setAllocationSeam(const AllocationSeam& seam) {
  gSeam = seam;
  gSeam.count = 0;
}

void resetAllocationSeam() { gSeam = AllocationSeam{}; }

long allocationCount() { return gSeam.count; }

int allocZeroed(unsigned char** reference, long size) {
  *reference = nullptr;
  if (size < 0) return -1;
  const std::size_t bytes = size > 0 ? static_cast<std::size_t>(size) : 1;
  if (seamRefuses(bytes)) return -1;
  void* block = std::calloc(bytes, 1);
  if (block == nullptr) return -1;
  *reference = static_cast<unsigned char*>(block);
  return 0;
}

int takeArea(unsigned char** reference, int32_t size, const char* name) {
  if (allocZeroed(reference, size) != 0) {
    setMessage(kCodeTakeFailed, kFmtTakeFailed, name, static_cast<long>(size));
    return -1;
  }
  return 0;
}

void releaseArea(unsigned char** reference) {
  if (*reference == nullptr) return;
  std::free(*reference);
  *reference = nullptr;
}

int growArea(unsigned char** reference, int32_t oldSize, int32_t newSize) {
  if (*reference == nullptr) return allocZeroed(reference, newSize);
  if (newSize <= oldSize) return 0;
  // realloc moves the contents at most once; the new tail is cleared by hand since
  // every byte an owner has not written must read as NUL.
  if (seamRefuses(static_cast<std::size_t>(newSize))) return -1;
  void* moved = std::realloc(*reference, static_cast<std::size_t>(newSize));
  if (moved == nullptr) return -1;
  *reference = static_cast<unsigned char*>(moved);
  std::memset(*reference + oldSize, 0, static_cast<std::size_t>(newSize - oldSize));
  return 0;
}

int ensureAreaRoom(unsigned char** reference, int32_t* size, long needed, int32_t step, const char* name) {
  if (needed < *size) return 0;
  const long steps = (needed - *size) / step + 1;
  const long target = *size + steps * step;
  if (target > kLargestAreaSize || growArea(reference, *size, static_cast<int32_t>(target)) != 0) {
    setMessage(kCodeGrowFailed, kFmtGrowFailed, name, target);
    return -1;
  }
  *size = static_cast<int32_t>(target);
  return 0;
}

}  // namespace mq
