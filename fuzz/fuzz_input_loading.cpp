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
  fuzz::chooseAllocationFailure(data[0] & 0x7F);
  // The first byte's top bit reads the document into UTF-8 instead of Shift-JIS.
  const TextCode working = (data[0] & 0x80) != 0 ? TextCode::Utf8 : TextCode::Sjis;
  if (allocateParseTables(mq::fuzzRun(), 1) == 0) {
    const int loaded = loadDocumentText(mq::fuzzRun(), static_cast<InputKind>(MQ_FUZZ_KIND), data + 1, static_cast<int32_t>(size - 1),
                                        ParserKind::Classic, DocumentCode::Detect, working);
    // Whatever the outcome, the records must be readable where they say they are.
    fuzz::checkDocumentRecords(mq::fuzzRun().tables[0]);
    if (loaded == 0 && working == TextCode::Utf8) fuzz::checkUtf8Records(mq::fuzzRun().tables[0]);
  }
  releaseParseTables(mq::fuzzRun());
  resetAllocationSeam();
  return 0;
}
