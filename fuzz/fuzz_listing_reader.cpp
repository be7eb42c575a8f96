// A tag listing read back through input loading from memory, with an allocation failure
// injected where the first byte says; three slots, so that lines may go to several.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/byte_source.h"
#include "common/work_areas.h"
#include "fuzz/fuzz_support.h"
#include "markup/input_loading.h"
#include "markup/parse_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace mq;
  if (size == 0) return 0;
  constexpr int32_t kSlots = 3;
  // A stream over the bytes in memory: no file to write and read back for every input.
  std::FILE* listing = fmemopen(const_cast<uint8_t*>(data + 1), size - 1, "rb");
  if (listing == nullptr) return 0;
  fuzz::chooseAllocationFailure(data[0]);
  if (allocateParseTables(mq::fuzzRun(), kSlots) == 0) {
    ByteSource source(listing);
    loadListing(mq::fuzzRun(), source, "fuzz", kSlots);
    for (int k = 0; k < kSlots; ++k) {
      const ParseTableSlot& slot = mq::fuzzRun().tables[k];
      for (int32_t i = 0; i < slot.recordCount; ++i) {
        const TagRecord& r = *recordAt(slot, i);
        if (r.tagNameOffset < 0 || r.tagNameOffset + r.tagNameLength >= slot.tagNameCapacity) __builtin_trap();
        if (r.contentOffset < 0 || r.contentOffset + r.contentLength >= slot.contentCapacity) __builtin_trap();
      }
    }
  }
  std::fclose(listing);
  releaseParseTables(mq::fuzzRun());
  resetAllocationSeam();
  return 0;
}
