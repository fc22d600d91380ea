// The point table that fills the record: its groups in reading order and their counts, each
// point's slot, and known points at their bytes.
#include "device/point_table.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <set>
#include <utility>

#include "tests/support/record.h"

using namespace vk::device;

namespace {

std::size_t countOf(BACnetObjectType type) {
  std::size_t count = 0;
  for (const Point& point : kPoints) count += point.type == type;
  return count;
}

}  // namespace

TEST(PointTable, GroupsComeInReadingOrderWithTheirCounts) {
  EXPECT_EQ(countOf(OBJECT_BINARY_INPUT), 92u);
  EXPECT_EQ(countOf(OBJECT_BINARY_OUTPUT), 4u);
  EXPECT_EQ(countOf(OBJECT_ANALOG_INPUT), 184u);
  EXPECT_EQ(countOf(OBJECT_ANALOG_OUTPUT), 2u);
  EXPECT_EQ(countOf(OBJECT_ANALOG_VALUE), 2u);
  // Reading order: 3, 4, 0, 1, 2, each group in one block.
  const BACnetObjectType order[] = {OBJECT_BINARY_INPUT, OBJECT_BINARY_OUTPUT, OBJECT_ANALOG_INPUT,
                                    OBJECT_ANALOG_OUTPUT, OBJECT_ANALOG_VALUE};
  std::size_t group = 0;
  for (const Point& point : kPoints) {
    while (group < 5 && point.type != order[group]) ++group;
    ASSERT_LT(group, 5u) << "point " << point.instance << " out of group order";
  }
}

// Every point has a slot of its own inside its group's array, the slots fill bytes 4 to 851
// without gaps, instances ascend within a group and never repeat anywhere.
TEST(PointTable, EveryRowIsSound) {
  std::size_t expectedOffset = 4;
  std::set<std::uint32_t> instances;
  std::map<BACnetObjectType, std::uint32_t> lastInstance;
  for (const Point& point : kPoints) {
    EXPECT_EQ(point.recordOffset, expectedOffset) << point.instance;
    const bool binary = point.type == OBJECT_BINARY_INPUT || point.type == OBJECT_BINARY_OUTPUT;
    EXPECT_EQ(point.size, binary ? 1u : 4u) << point.instance;
    expectedOffset += point.size;
    EXPECT_TRUE(instances.insert(point.instance).second) << "duplicate " << point.instance;
    EXPECT_GT(point.instance, lastInstance[point.type]) << point.instance;
    lastInstance[point.type] = point.instance;
  }
  EXPECT_EQ(expectedOffset, 852u);
}

TEST(PointTable, KnownPointsLiveAtTheirBytes) {
  const std::pair<std::pair<BACnetObjectType, std::uint32_t>, std::size_t> known[] = {
      {{OBJECT_BINARY_INPUT, 10005}, 4},     {{OBJECT_BINARY_INPUT, 10047}, 11},
      {{OBJECT_BINARY_INPUT, 3000485}, 12},  {{OBJECT_BINARY_INPUT, 3000787}, 68},
      {{OBJECT_BINARY_INPUT, 3001130}, 82},  {{OBJECT_BINARY_INPUT, 3001148}, 95},
      {{OBJECT_BINARY_OUTPUT, 10095}, 96},   {{OBJECT_BINARY_OUTPUT, 10104}, 99},
      {{OBJECT_ANALOG_INPUT, 10365}, 100},   {{OBJECT_ANALOG_INPUT, 10590}, 164},
      {{OBJECT_ANALOG_INPUT, 3000481}, 168}, {{OBJECT_ANALOG_INPUT, 3000574}, 232},
      {{OBJECT_ANALOG_INPUT, 3000742}, 236}, {{OBJECT_ANALOG_INPUT, 3000788}, 416},
      {{OBJECT_ANALOG_INPUT, 3001056}, 596}, {{OBJECT_ANALOG_INPUT, 3001129}, 832},
      {{OBJECT_ANALOG_OUTPUT, 10407}, 836},  {{OBJECT_ANALOG_OUTPUT, 10410}, 840},
      {{OBJECT_ANALOG_VALUE, 3000835}, 844}, {{OBJECT_ANALOG_VALUE, 3000836}, 848},
  };
  for (const auto& [object, offset] : known) {
    EXPECT_EQ(vk::test::pointOf(object.first, object.second).recordOffset, offset) << object.second;
  }
}
