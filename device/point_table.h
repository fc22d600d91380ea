// The 284 BACnet points that every sampling cycle reads, in reading order, and where each one
// lives in the record. The table is data: runs of consecutive instance numbers per group, expanded
// at compile time into one flat list that the cycle and every record decoder walk.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "device/vornk_data.h"
#include "unidata/host.h"

namespace vk::device {

// The BACnet names the cycle passes, by their values: the host fixes the types BACnetObjectType
// and BACNET_PROPERTY_ID, not the spelling of their enumerators.
inline constexpr BACnetObjectType kAnalogInputType = static_cast<BACnetObjectType>(0);
inline constexpr BACnetObjectType kAnalogOutputType = static_cast<BACnetObjectType>(1);
inline constexpr BACnetObjectType kAnalogValueType = static_cast<BACnetObjectType>(2);
inline constexpr BACnetObjectType kBinaryInputType = static_cast<BACnetObjectType>(3);
inline constexpr BACnetObjectType kBinaryOutputType = static_cast<BACnetObjectType>(4);
inline constexpr BACNET_PROPERTY_ID kPresentValue = static_cast<BACNET_PROPERTY_ID>(85);

// Instances first, first + 1, ..., first + count - 1.
struct Run {
  std::uint32_t first;
  std::uint32_t count;
};

// clang-format off
inline constexpr Run kBinaryInputs[] = {
  {10005, 1}, {10008, 1}, {10032, 1}, {10035, 1}, {10038, 1}, {10041, 1}, {10044, 1}, {10047, 1},
  {3000485, 7}, {3000496, 7}, {3000507, 7}, {3000543, 16}, {3000561, 4}, {3000567, 4},
  {3000575, 11}, {3000787, 1}, {3000833, 1}, {3001086, 12}, {3001130, 1}, {3001132, 12},
  {3001148, 1},
};
inline constexpr Run kBinaryOutputs[] = {
  {10095, 1}, {10098, 1}, {10101, 1}, {10104, 1},
};
inline constexpr Run kAnalogInputs[] = {
  {10365, 1}, {10368, 1}, {10416, 1}, {10419, 1}, {10422, 1}, {10425, 1}, {10428, 1}, {10431, 1},
  {10434, 1}, {10437, 1}, {10440, 1}, {10446, 1}, {10455, 1}, {10488, 1}, {10491, 1}, {10497, 1},
  {10590, 1},
  {3000481, 4}, {3000492, 4}, {3000503, 4}, {3000559, 2}, {3000565, 2}, {3000574, 1},
  {3000742, 45}, {3000788, 45}, {3001056, 30}, {3001100, 30},
};
inline constexpr Run kAnalogOutputs[] = {
  {10407, 1}, {10410, 1},
};
inline constexpr Run kAnalogValues[] = {
  {3000835, 1}, {3000836, 1},
};
// clang-format on

// One group of points: one object type, stored as consecutive elements of one record array.
struct Group {
  BACnetObjectType type;
  std::size_t recordOffset;
  std::size_t elementSize;
  std::size_t elementCount;  // the record array's length
  const Run* runs;
  std::size_t runCount;
};

template <std::size_t N>
constexpr Group makeGroup(BACnetObjectType type, std::size_t offset, std::size_t arrayBytes,
                          std::size_t elementSize, const Run (&runs)[N]) {
  return {type, offset, elementSize, arrayBytes / elementSize, runs, N};
}

// Reading order of the cycle.
// clang-format off
inline constexpr Group kGroups[] = {
  makeGroup(kBinaryInputType,  offsetof(vornk_Data_t, bi), sizeof vornk_Data_t::bi, 1, kBinaryInputs),
  makeGroup(kBinaryOutputType, offsetof(vornk_Data_t, bo), sizeof vornk_Data_t::bo, 1, kBinaryOutputs),
  makeGroup(kAnalogInputType,  offsetof(vornk_Data_t, ai), sizeof vornk_Data_t::ai, 4, kAnalogInputs),
  makeGroup(kAnalogOutputType, offsetof(vornk_Data_t, ao), sizeof vornk_Data_t::ao, 4, kAnalogOutputs),
  makeGroup(kAnalogValueType,  offsetof(vornk_Data_t, av), sizeof vornk_Data_t::av, 4, kAnalogValues),
};
// clang-format on

inline constexpr std::size_t kPointCount = 284;

// One point: what to read and where its value goes.
struct Point {
  BACnetObjectType type;
  std::uint32_t instance;
  std::uint16_t recordOffset;
  std::uint8_t size;  // 1: low byte of the present value; 4: float bits
};

constexpr std::size_t countPoints(const Group& group) {
  std::size_t points = 0;
  for (std::size_t r = 0; r < group.runCount; ++r) points += group.runs[r].count;
  return points;
}

constexpr bool groupsFillTheirArrays() {
  std::size_t points = 0;
  for (const Group& group : kGroups) {
    if (countPoints(group) != group.elementCount) return false;
    points += group.elementCount;
  }
  return points == kPointCount;
}
static_assert(groupsFillTheirArrays(),
              "every record element has exactly one point, 284 points in all");

constexpr std::array<Point, kPointCount> expandPoints() {
  std::array<Point, kPointCount> points{};
  std::size_t next = 0;
  for (const Group& group : kGroups) {
    std::size_t offset = group.recordOffset;
    for (std::size_t r = 0; r < group.runCount; ++r) {
      for (std::uint32_t k = 0; k < group.runs[r].count; ++k) {
        points[next++] = {group.type, group.runs[r].first + k, static_cast<std::uint16_t>(offset),
                          static_cast<std::uint8_t>(group.elementSize)};
        offset += group.elementSize;
      }
    }
  }
  return points;
}

inline constexpr std::array<Point, kPointCount> kPoints = expandPoints();

// A binary point's stored byte in a record's raw bytes.
inline std::uint8_t binaryValue(const Point& point, const unsigned char* record) {
  return record[point.recordOffset];
}

// An analog point's float in a record's raw bytes, copied: the slot is unaligned.
inline float analogValue(const Point& point, const unsigned char* record) {
  float value;
  std::memcpy(&value, record + point.recordOffset, sizeof value);
  return value;
}

// The fragment of a value line that names the object type: " get 3 " for binary inputs.
constexpr std::string_view logFragment(BACnetObjectType type) {
  constexpr std::string_view fragments[] = {" get 0 ", " get 1 ", " get 2 ", " get 3 ", " get 4 "};
  return fragments[static_cast<std::size_t>(type)];
}

}  // namespace vk::device
