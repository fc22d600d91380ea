// LoadFromCache with the bytes, of any length; a record of the right length completes a round.
#include <cstddef>
#include <cstdint>
#include <limits>

#include "tests/support/exposed_vornk.h"

using namespace vk::test;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Rig rig = Rig::withoutSampling();
  if (size > static_cast<std::size_t>(std::numeric_limits<int>::max())) return 0;
  rig.host->clear();
  rig.device->LoadFromCache(data, static_cast<int>(size));
  return 0;
}
