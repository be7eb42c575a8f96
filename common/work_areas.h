// Work areas: zero-filled blocks known by a name in the memory messages, taken whole,
// grown in the owner's fixed step and released by their owner. Users keep offsets into
// an area, never pointers, so that growth may move it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mq {

inline constexpr int32_t kLargestAreaSize = 2147483647;

// A block of `size` zero bytes into *reference; -1 (reference none) when none can be had.
// Sets no message.
int allocZeroed(unsigned char** reference, long size);

// allocZeroed that reports a failure as message 1011 with the area's name and size.
int takeArea(unsigned char** reference, int32_t size, const char* name);

// Gives the block back; a reference that is none is left alone.
void releaseArea(unsigned char** reference);

// Enlarges the block to newSize bytes, keeping the first oldSize bytes and zero-filling
// the rest; a reference that is none gets a fresh zero-filled block. Sets no message; on
// failure the reference still holds the old block.
int growArea(unsigned char** reference, int32_t oldSize, int32_t newSize);

// The owners' growth convention in one place: when `needed` reaches or passes *size,
// grows once to the smallest *size + k * step that exceeds `needed`. Failure (no memory,
// or a size past 2147483647) sets message 1014 with the name and that size.
int growAreaForRoom(unsigned char** reference, int32_t* size, long needed, int32_t step, const char* name);
inline int ensureAreaRoom(unsigned char** reference, int32_t* size, long needed, int32_t step, const char* name) {
  return needed < *size ? 0 : growAreaForRoom(reference, size, needed, step, name);
}

// The allocation seam through which tests and fuzz targets make allocations fail.
// failAt: the failAt-th allocation from now fails (0: none); failAbove: every allocation
// of more bytes fails (-1: none); hook: asked before each allocation, true means fail.
struct AllocationSeam {
  long failAt = 0;
  long failAbove = -1;
  bool (*hook)(std::size_t size) = nullptr;
  long count = 0;  // allocations asked for since the seam was set
};
void setAllocationSeam(const AllocationSeam& seam);
void resetAllocationSeam();
long allocationCount();

// Asks for the pages of an area that is about to be filled whole in one call, instead of
// one fault per page; contents and results stay the same.
void prepareForWriting(unsigned char* area, long size);

// Areas currently held as mappings of their own (large areas outside the sanitizer
// builds); tests use it to see that every such area was released.
long mappedAreaCount();

}  // namespace mq
