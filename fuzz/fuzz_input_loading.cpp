// One document through input loading (code conversion and scan) in the dialect chosen by
// the build, with an allocation failure injected where the first byte says.
#include <cstddef>
#include <cstdint>

#include "common/settings.h"
#include "common/work_areas.h"
#include "fuzz/fuzz_support.h"
#include "markup/input_loading.h"
#include "markup/parse_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace mq;
  if (size == 0 || size - 1 > static_cast<std::size_t>(kLargestAreaSize - 16)) return 0;
  fuzz::chooseAllocationFailure(data[0]);
  if (allocateParseTables(1) == 0) {
    loadDocumentText(static_cast<InputKind>(MQ_FUZZ_KIND), data + 1, static_cast<int32_t>(size - 1));
    // Whatever the outcome, the records must be readable where they say they are.
    fuzz::checkDocumentRecords(gParseTables[0]);
  }
  releaseParseTables();
  resetAllocationSeam();
  return 0;
}
