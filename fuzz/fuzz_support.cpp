#include "fuzz/fuzz_support.h"

#include "common/unicode_conversion.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "common/work_areas.h"

namespace mq::fuzz {

const char* writeInput(const uint8_t* data, std::size_t size) {
  static const std::string name = "/tmp/mq-fuzz-" + std::to_string(getpid()) + ".in";
  std::FILE* file = std::fopen(name.c_str(), "wb");
  if (file == nullptr) return name.c_str();
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);
  return name.c_str();
}

void checkDocumentRecords(const ParseTableSlot& slot) {
  for (int32_t i = 0; i < slot.recordCount; ++i) {
    const TagRecord& r = *recordAt(slot, i);
    if (r.tagNameOffset < 0 || r.tagNameOffset + r.tagNameLength >= slot.tagNameCapacity) __builtin_trap();
    if (r.contentOffset != -1 && (r.contentOffset < 0 || r.contentOffset + r.contentLength >= slot.contentCapacity))
      __builtin_trap();
    if (r.objectNo != i + 1) __builtin_trap();
  }
}

void checkUtf8Records(const ParseTableSlot& slot) {
  for (int32_t i = 0; i < slot.recordCount; ++i) {
    const TagRecord& r = *recordAt(slot, i);
    const auto* path = reinterpret_cast<const unsigned char*>(tagPathOf(slot, r));
    if (!isValidUtf8(path, r.tagNameLength)) __builtin_trap();
    if (r.contentOffset >= 0 && r.contentLength > 0 &&
        !isValidUtf8(reinterpret_cast<const unsigned char*>(contentOf(slot, r)), r.contentLength)) {
      __builtin_trap();
    }
  }
}

void chooseAllocationFailure(uint8_t selector) {
  resetAllocationSeam();
  if (selector < 16) return;
  AllocationSeam seam;
  seam.failAt = selector % 16 + 1;
  setAllocationSeam(seam);
}

}  // namespace mq::fuzz

namespace mq {

OutputRun& fuzzRun() {
  static OutputRun* const run = new OutputRun{};
  return *run;
}

}  // namespace mq
