// One received datagram, decoded as the answer to a ReadProperty request of each object type the
// module reads (invoke ID 7, instance 10365), as a request by the simulated device's side, and as
// an I-Am by device discovery.
#include <cstddef>
#include <cstdint>

#include "bacnet/codec.h"
#include "bacnet/enumerations.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (const auto& [type, name] : vk::bacnet::kObjectTypeNames) {
    const vk::bacnet::ReadPropertyRequest request{7, type, 10365, PROP_PRESENT_VALUE, std::nullopt};
    vk::bacnet::decodeReadPropertyAnswer(data, size, request);
  }
  vk::bacnet::decodeDeviceRequest(data, size);
  vk::bacnet::decodeIAm(data, size);
  return 0;
}
