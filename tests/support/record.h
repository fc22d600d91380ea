// The record as tests, benchmarks and fuzz targets see it: raw bytes of a known size, with every
// point of the point table found by what it is rather than by where it sits.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "bacnet.h"
#include "device/point_table.h"
#include "device/vornk_data.h"

namespace vk::test {

using Bytes = std::vector<unsigned char>;

// The bytes of one record, as the device publishes, stores and restores it.
inline constexpr std::size_t kRecordSize = sizeof(vornk_Data_t);

// A record is its data identifier, the points' slots, then its 7-byte stamp.
inline constexpr std::size_t kPointsOffset = offsetof(vornk_Data_t, bi);
inline constexpr std::size_t kStampOffset = offsetof(vornk_Data_t, stamp);
inline constexpr std::size_t kPointsSize = kStampOffset - kPointsOffset;

// A point's index in the point table: its place in the cycle's reading order, so also the index
// of its request in a cycle and, after the cycle's trace line, of its value line. Throws
// std::out_of_range for a point the table lacks, which stops the build in a constant expression.
constexpr std::size_t pointIndex(BACnetObjectType type, std::uint32_t instance) {
  for (std::size_t i = 0; i < device::kPoints.size(); ++i) {
    const device::Point& point = device::kPoints[i];
    if (point.type == type && point.instance == instance) return i;
  }
  throw std::out_of_range("the point table has no such point");
}

// The point table's row of a point, with its slot in the record.
constexpr const device::Point& pointOf(BACnetObjectType type, std::uint32_t instance) {
  return device::kPoints[pointIndex(type, instance)];
}

// A float's four bytes, as an analog slot holds them.
Bytes floatBytes(float value);

// The bytes a point's slot holds after the in-process device answered it with its default.
Bytes defaultSlot(const device::Point& point);

// The slot a point holds in one of two cached records (variant 0 or 1): values that differ
// between the two and from anything the in-process device answers.
Bytes cachedSlot(const device::Point& point, int variant);
// A cached record: the data identifier, variant's slot of every point and an all-zero stamp,
// which no round may publish.
Bytes cachedRecord(std::uint32_t dataId, int variant);

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t length);

// Whether the stamp of a record of kRecordSize bytes reads as a time: a year from 2000 to 2199,
// then month, day, hour, minute and second (up to a leap second) in range.
bool plausibleStamp(const Bytes& record);

// How many point slots of a record of kRecordSize bytes hold, in this order, what the in-process
// device answers, cached record 0's slot and cached record 1's; no slot holds two of these.
std::array<std::size_t, 3> slotSources(const Bytes& record);

}  // namespace vk::test
