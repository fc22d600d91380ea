#include "tests/support/record.h"

#include <algorithm>
#include <cstring>

#include "doubles/in_process_device.h"

namespace vk::test {

Bytes floatBytes(float value) {
  Bytes bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

Bytes defaultSlot(const device::Point& point) {
  const std::uint32_t value = doubles::InProcessDevice::defaultValue(point.type, point.instance);
  Bytes bytes(point.size);
  std::memcpy(bytes.data(), &value, point.size);
  return bytes;
}

Bytes cachedSlot(const device::Point& point, int variant) {
  if (point.size == 1) return Bytes{static_cast<unsigned char>(variant == 0 ? 7 : 9)};
  return floatBytes((variant == 0 ? -1.0f : -0.5f) - static_cast<float>(point.instance));
}

Bytes cachedRecord(std::uint32_t dataId, int variant) {
  Bytes record(kRecordSize, 0);
  std::memcpy(record.data(), &dataId, sizeof dataId);
  for (const device::Point& point : device::kPoints) {
    const Bytes slot = cachedSlot(point, variant);
    std::copy(slot.begin(), slot.end(), record.begin() + point.recordOffset);
  }
  return record;
}

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t length) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
               bytes.begin() + static_cast<std::ptrdiff_t>(from + length));
}

bool plausibleStamp(const Bytes& record) {
  const unsigned char* stamp = record.data() + kStampOffset;
  const unsigned year = stamp[0] | stamp[1] << 8;
  return year >= 2000 && year < 2200 && stamp[2] >= 1 && stamp[2] <= 12 && stamp[3] >= 1 &&
         stamp[3] <= 31 && stamp[4] <= 23 && stamp[5] <= 59 && stamp[6] <= 60;
}

std::array<std::size_t, 3> slotSources(const Bytes& record) {
  std::array<std::size_t, 3> sources{};
  for (const device::Point& point : device::kPoints) {
    const Bytes slot = slice(record, point.recordOffset, point.size);
    sources[0] += slot == defaultSlot(point);
    sources[1] += slot == cachedSlot(point, 0);
    sources[2] += slot == cachedSlot(point, 1);
  }
  return sources;
}

}  // namespace vk::test
