// Shared by the fuzz targets: the allocation failure that the input's first byte chooses,
// so that a crashing input replays exactly.
#pragma once

#include <cstdint>

namespace mq::fuzz {

// Sets the allocation seam from the selector byte: 0 to 15 fail nothing, 16 and more fail
// the (selector % 16 + 1)-th allocation from now.
void chooseAllocationFailure(uint8_t selector);

}  // namespace mq::fuzz
