// A tag listing read back through input loading, with an allocation failure injected
// where the first byte says; COUNT is 3 so that lines may go to several slots.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/settings.h"
#include "common/work_areas.h"
#include "fuzz/fuzz_support.h"
#include "markup/input_loading.h"
#include "markup/parse_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace mq;
  if (size == 0) return 0;
  resetSettings();
  gSettings.inputKind = InputKind::Csv;
  gSettings.inputCount = 3;
  const char* name = fuzz::writeInput(data + 1, size - 1);
  for (int k = 0; k < 3; ++k) std::snprintf(gSettings.inputFiles[k], kInputNameSize, "%s", name);
  fuzz::chooseAllocationFailure(data[0]);
  if (allocateParseTables() == 0) {
    loadInputs();
    for (int k = 0; k < 3; ++k) {
      const ParseTableSlot& slot = gParseTables[k];
      for (int32_t i = 0; i < slot.recordCount; ++i) {
        const TagRecord& r = *recordAt(slot, i);
        if (r.tagNameOffset < 0 || r.tagNameOffset + r.tagNameLength >= slot.tagNameCapacity) __builtin_trap();
        if (r.contentOffset < 0 || r.contentOffset + r.contentLength >= slot.contentCapacity) __builtin_trap();
      }
    }
  }
  releaseParseTables();
  resetAllocationSeam();
  return 0;
}
