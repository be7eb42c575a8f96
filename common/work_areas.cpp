#include "common/work_areas.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/message_log.h"
#include "common/platform.h"
#include "common/texts.h"

namespace mq {

namespace {

AllocationSeam gSeam;
// Counted apart from the seam, atomically: runs on several threads allocate at once.
std::atomic<long> gSeamCount{0};

bool seamRefuses(std::size_t size) {
  const long count = gSeamCount.fetch_add(1, std::memory_order_relaxed) + 1;
  if (gSeam.failAt > 0 && count == gSeam.failAt) return true;
  if (gSeam.failAbove >= 0 && size > static_cast<std::size_t>(gSeam.failAbove)) return true;
  return gSeam.hook != nullptr && gSeam.hook(size);
}

// Every block starts with a header that says how it was obtained. Large blocks are mapped
// from the system directly where it offers that: their pages come zeroed, growth extends
// the mapping in place or moves it without copying, and the pages are asked for in one
// call instead of one fault each. Under the address sanitizer every block comes from the
// heap, so that the sanitizer sees them all.
struct BlockHeader {
  std::size_t mappedBytes;  // 0: heap block
  std::size_t reserved;     // keeps the area 16-byte aligned
};
constexpr std::size_t kHeaderBytes = sizeof(BlockHeader);

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif
const bool kMapLargeBlocks = !kSanitized && largePagesMapped();
constexpr std::size_t kMapThreshold = std::size_t{1} << 20;

std::atomic<long> gMappedBlocks{0};

std::size_t pageSize() { return systemPageSize(); }
std::size_t roundToPages(std::size_t bytes) { return (bytes + pageSize() - 1) & ~(pageSize() - 1); }

BlockHeader* headerOf(unsigned char* area) { return reinterpret_cast<BlockHeader*>(area - kHeaderBytes); }
unsigned char* areaOf(void* block) { return static_cast<unsigned char*>(block) + kHeaderBytes; }

void* mapBlock(std::size_t bytes) {
  const std::size_t mapped = roundToPages(bytes + kHeaderBytes);
  void* block = mapZeroedPages(mapped);
  if (block == nullptr) return nullptr;
  static_cast<BlockHeader*>(block)->mappedBytes = mapped;
  ++gMappedBlocks;
  return block;
}

}  // namespace

long mappedAreaCount() { return gMappedBlocks; }

void prepareForWriting(unsigned char* area, long size) {
  if (area == nullptr || size <= 0 || headerOf(area)->mappedBytes == 0) return;
  prefaultPages(headerOf(area), roundToPages(static_cast<std::size_t>(size) + kHeaderBytes));
}

void setAllocationSeam(const AllocationSeam& seam) {
  gSeam = seam;
  gSeamCount = 0;
}

void resetAllocationSeam() {
  gSeam = AllocationSeam{};
  gSeamCount = 0;
}

bool allocationSeamSet() { return gSeam.failAt > 0 || gSeam.failAbove >= 0 || gSeam.hook != nullptr; }

long allocationCount() { return gSeamCount.load(); }

int allocZeroed(unsigned char** reference, long size) {
  *reference = nullptr;
  if (size < 0) return -1;
  const std::size_t bytes = size > 0 ? static_cast<std::size_t>(size) : 1;
  if (seamRefuses(bytes)) return -1;
  void* block = kMapLargeBlocks && bytes >= kMapThreshold ? mapBlock(bytes) : std::calloc(bytes + kHeaderBytes, 1);
  if (block == nullptr) return -1;
  *reference = areaOf(block);
  return 0;
}

int takeArea(RunRecord& record, unsigned char** reference, int32_t size, const char* name) {
  if (allocZeroed(reference, size) != 0) {
    setMessage(record, kCodeTakeFailed, kFmtTakeFailed, name, static_cast<long>(size));
    return -1;
  }
  return 0;
}

int reportLackOfMemory(RunRecord& record) {
  setMessage(record, kCodeTakeFailed, kFmtTakeFailed, kAreaOutput, 0L);
  return -1;
}

void releaseArea(unsigned char** reference) {
  if (*reference == nullptr) return;
  BlockHeader* header = headerOf(*reference);
  if (header->mappedBytes != 0) {
    unmapPages(header, header->mappedBytes);
    --gMappedBlocks;
  } else {
    std::free(header);
  }
  *reference = nullptr;
}

int growArea(unsigned char** reference, int32_t oldSize, int32_t newSize) {
  if (*reference == nullptr) return allocZeroed(reference, newSize);
  if (newSize <= oldSize) return 0;
  if (seamRefuses(static_cast<std::size_t>(newSize))) return -1;
  BlockHeader* header = headerOf(*reference);
  const auto oldBytes = static_cast<std::size_t>(oldSize);
  const auto newBytes = static_cast<std::size_t>(newSize);
  if (header->mappedBytes != 0) {
    // Only the slack of the old mapping can hold anything but zeros.
    const std::size_t oldEnd = header->mappedBytes - kHeaderBytes;
    if (oldEnd > oldBytes) std::memset(*reference + oldBytes, 0, (newBytes < oldEnd ? newBytes : oldEnd) - oldBytes);
    const std::size_t mapped = roundToPages(newBytes + kHeaderBytes);
    if (mapped <= header->mappedBytes) return 0;
    void* moved = remapPages(header, header->mappedBytes, mapped);
    if (moved == nullptr) return -1;
    const std::size_t before = static_cast<BlockHeader*>(moved)->mappedBytes;
    prefaultPages(static_cast<unsigned char*>(moved) + before, mapped - before);
    static_cast<BlockHeader*>(moved)->mappedBytes = mapped;
    *reference = areaOf(moved);
    return 0;
  }
  if (kMapLargeBlocks && newBytes >= kMapThreshold) {
    // The one copy from the heap into a mapping of its own.
    void* block = mapBlock(newBytes);
    if (block == nullptr) return -1;
    std::memcpy(areaOf(block), *reference, oldBytes);
    std::free(header);
    *reference = areaOf(block);
    return 0;
  }
  // realloc moves the contents at most once; the new tail is cleared by hand since
  // every byte an owner has not written must read as NUL.
  void* moved = std::realloc(header, newBytes + kHeaderBytes);
  if (moved == nullptr) return -1;
  *reference = areaOf(moved);
  std::memset(*reference + oldBytes, 0, newBytes - oldBytes);
  return 0;
}

int growAreaForRoom(RunRecord& record, unsigned char** reference, int32_t* size, long long needed, int32_t step,
                    const char* name) {
  if (needed < *size) return 0;
  // Wider than the areas themselves, so that a size past the largest one is seen, not wrapped.
  const long long steps = (needed - *size) / step + 1;
  const long long target = *size + steps * step;
  if (target > kLargestAreaSize || growArea(reference, *size, static_cast<int32_t>(target)) != 0) {
    setMessage(record, kCodeGrowFailed, kFmtGrowFailed, name, target);
    return -1;
  }
  *size = static_cast<int32_t>(target);
  return 0;
}

}  // namespace mq
