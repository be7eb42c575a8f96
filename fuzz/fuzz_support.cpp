#include "fuzz/fuzz_support.h"

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

void chooseAllocationFailure(uint8_t selector) {
  resetAllocationSeam();
  if (selector < 16) return;
  AllocationSeam seam;
  seam.failAt = selector % 16 + 1;
  setAllocationSeam(seam);
}

}  // namespace mq::fuzz
