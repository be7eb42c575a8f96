// Work areas: zero-filled blocks known by a name in the memory messages, taken whole,
// grown in the owner's fixed step and released by their owner. Users keep offsets into
// an area, never pointers, so that growth may move it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace mq {

struct RunRecord;

inline constexpr int32_t kLargestAreaSize = 2147483647;

// A block of `size` zero bytes into *reference; -1 (reference none) when none can be had.
// Sets no message.
int allocZeroed(unsigned char** reference, long size);

// allocZeroed that reports a failure as message 1011 with the area's name and size.
int takeArea(RunRecord& record, unsigned char** reference, int32_t size, const char* name);

// Memory the run's other holdings (lists, texts, queues) could not have: message 1011 on
// the output area with no size, as a thrown lack of memory is reported. -1.
int reportLackOfMemory(RunRecord& record);

// Gives the block back; a reference that is none is left alone.
void releaseArea(unsigned char** reference);

// Enlarges the block to newSize bytes, keeping the first oldSize bytes and zero-filling
// the rest; a reference that is none gets a fresh zero-filled block. Sets no message; on
// failure the reference still holds the old block.
int growArea(unsigned char** reference, int32_t oldSize, int32_t newSize);

// The owners' growth convention in one place: when `needed` reaches or passes *size,
// grows once to the smallest *size + k * step that exceeds `needed`. Failure (no memory,
// or a size past 2147483647) sets message 1014 with the name and that size.
int growAreaForRoom(RunRecord& record, unsigned char** reference, int32_t* size, long long needed, int32_t step,
                    const char* name);
inline int ensureAreaRoom(RunRecord& record, unsigned char** reference, int32_t* size, long long needed, int32_t step,
                          const char* name) {
  return needed < *size ? 0 : growAreaForRoom(record, reference, size, needed, step, name);
}

// One area of an owner's group, described once: where its reference and size live in the
// owner's record, its name in memory messages, its first size and its growth step (0: the
// owner grows it in a way of its own). Taking, growing, clearing and releasing the group
// all walk the same list.
template <class Owner>
struct AreaField {
  unsigned char* Owner::*area;
  int32_t Owner::*size;
  const char* name;
  int32_t firstSize;
  int32_t step;
};

// Grows the area by the field's step when `needed` reaches its size (1014 on failure).
template <class Owner>
int ensureFieldRoom(RunRecord& record, Owner& owner, const AreaField<Owner>& field, long long needed) {
  return ensureAreaRoom(record, &(owner.*field.area), &(owner.*field.size), needed, field.step, field.name);
}

// Every area of the group given back; an area that is none is left alone.
template <class Owner, std::size_t N>
void releaseAreaGroup(Owner& owner, const AreaField<Owner> (&fields)[N]) {
  for (const AreaField<Owner>& field : fields) releaseArea(&(owner.*field.area));
}

// Every reference none and every size its first size, then the areas taken in list order;
// at the first failure the whole group is released and the 1011 message of that take stays.
template <class Owner, std::size_t N>
int takeAreaGroup(RunRecord& record, Owner& owner, const AreaField<Owner> (&fields)[N]) {
  for (const AreaField<Owner>& field : fields) {
    owner.*field.area = nullptr;
    owner.*field.size = field.firstSize;
  }
  for (const AreaField<Owner>& field : fields) {
    if (takeArea(record, &(owner.*field.area), owner.*field.size, field.name) != 0) {
      releaseAreaGroup(owner, fields);
      return -1;
    }
  }
  return 0;
}

// Zero-fills every taken area of the group over its current size (grown sizes stay).
template <class Owner, std::size_t N>
void clearAreaGroup(Owner& owner, const AreaField<Owner> (&fields)[N]) {
  for (const AreaField<Owner>& field : fields) {
    if (owner.*field.area != nullptr) std::memset(owner.*field.area, 0, static_cast<std::size_t>(owner.*field.size));
  }
}

template <class Owner, std::size_t N>
bool holdsAnyArea(const Owner& owner, const AreaField<Owner> (&fields)[N]) {
  for (const AreaField<Owner>& field : fields) {
    if (owner.*field.area != nullptr) return true;
  }
  return false;
}

// The allocation seam through which tests and fuzz targets make allocations fail: the one
// process-wide setting left in the library, set by tests only, never while runs go on.
// failAt: the failAt-th allocation from now fails (0: none); failAbove: every allocation
// of more bytes fails (-1: none); hook: asked before each allocation, true means fail.
struct AllocationSeam {
  long failAt = 0;
  long failAbove = -1;
  bool (*hook)(std::size_t size) = nullptr;
};
void setAllocationSeam(const AllocationSeam& seam);
void resetAllocationSeam();
// Whether a test has set the seam to refuse allocations.
bool allocationSeamSet();
long allocationCount();

// Asks for the pages of an area that is about to be filled whole in one call, instead of
// one fault per page; contents and results stay the same.
void prepareForWriting(unsigned char* area, long size);

// Areas currently held as mappings of their own (large areas outside the sanitizer
// builds); tests use it to see that every such area was released.
long mappedAreaCount();

}  // namespace mq
