// LoadFromCache with the bytes, of any length; a record of the right length completes a round.
#include <cstddef>
#include <cstdint>
#include <limits>

#include "fuzz/fuzz_device.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static FuzzVornk device;
  if (size > static_cast<std::size_t>(std::numeric_limits<int>::max())) return 0;
  device.host->clear();
  device.LoadFromCache(data, static_cast<int>(size));
  return 0;
}
