#include "fuzz/fuzz_support.h"

#include "common/work_areas.h"

namespace mq::fuzz {

void chooseAllocationFailure(uint8_t selector) {
  resetAllocationSeam();
  if (selector < 16) return;
  AllocationSeam seam;
  seam.failAt = selector % 16 + 1;
  setAllocationSeam(seam);
}

}  // namespace mq::fuzz
