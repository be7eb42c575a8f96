// One document through the standard way in (code detection, conversion and libxml2's parser
// of the dialect the build chooses), with an allocation failure injected where the first
// byte says; the second byte chooses the declared code.
#include <cstddef>
#include <cstdint>

#include "common/settings.h"
#include "common/work_areas.h"
#include "fuzz/fuzz_support.h"
#include "markup/input_loading.h"
#include "markup/parse_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace mq;
  if (size < 2 || size - 2 > static_cast<std::size_t>(kLargestAreaSize - 16)) return 0;
  fuzz::chooseAllocationFailure(data[0]);
  const auto code = static_cast<DocumentCode>(data[1] % 6);
  // The second byte's top bit reads the document into UTF-8 instead of Shift-JIS.
  const TextCode working = (data[1] & 0x80) != 0 ? TextCode::Utf8 : TextCode::Sjis;
  if (allocateParseTables(mq::fuzzRun(), 1) == 0) {
    const int loaded = loadDocumentText(mq::fuzzRun(), static_cast<InputKind>(MQ_FUZZ_KIND), data + 2, static_cast<int32_t>(size - 2),
                                        ParserKind::Standard, code, working);
    // Whatever the outcome, the records must be readable where they say they are.
    fuzz::checkDocumentRecords(mq::fuzzRun().tables[0]);
    if (loaded == 0 && working == TextCode::Utf8) fuzz::checkUtf8Records(mq::fuzzRun().tables[0]);
  }
  releaseParseTables(mq::fuzzRun());
  resetAllocationSeam();
  return 0;
}
