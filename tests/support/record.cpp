#include "tests/support/record.h"

#include <cstring>

#include "doubles/simulated_device.h"

namespace vk::test {

Bytes floatBytes(float value) {
  Bytes bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

Bytes defaultSlot(const device::Point& point) {
  const std::uint32_t value =
      doubles::SimulatedBacnetDevice::defaultValue(point.type, point.instance);
  Bytes bytes(point.size);
  std::memcpy(bytes.data(), &value, point.size);
  return bytes;
}

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t length) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
               bytes.begin() + static_cast<std::ptrdiff_t>(from + length));
}

}  // namespace vk::test
