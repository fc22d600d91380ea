// The readable record vornk-host shows for every published record.
#include "tools/record_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "tests/support/rounds.h"

using namespace vk::test;

using namespace vk::tools;

TEST(HostRecordText, ShowsIdentifierStampAndEveryPoint) {
  // A point's line: after the heading line, in the table's order.
  const auto lineOf = [](BACnetObjectType type, std::uint32_t instance) {
    return 1 + pointIndex(type, instance);
  };
  Bytes record(kRecordSize, 0);
  record[0] = 0x02;
  record[1] = 0x01;  // data identifier 258
  record[pointOf(OBJECT_BINARY_INPUT, 3000485).recordOffset] = 1;
  // printf's %g: six significant digits, exponent form from 1e6 on.
  const std::pair<vk::device::Point, float> analog[] = {
      {pointOf(OBJECT_ANALOG_OUTPUT, 10410), 21.5f},
      {pointOf(OBJECT_ANALOG_INPUT, 10365), 30.2f},
      {pointOf(OBJECT_ANALOG_OUTPUT, 10407), 1234567.0f}};
  for (const auto& [point, number] : analog) {
    const Bytes value = floatBytes(number);
    std::copy(value.begin(), value.end(), record.begin() + point.recordOffset);
  }
  const unsigned char stamp[7] = {0xEA, 0x07, 12, 8, 9, 5, 3};
  std::copy(stamp, stamp + 7, record.begin() + kStampOffset);

  const auto lines = splitLines(recordText(3, record.data(), record.size()));
  ASSERT_EQ(lines.size(), 1 + vk::device::kPoints.size());
  EXPECT_EQ(lines[0], "round 3 data-id 258 time 2026-12-08 09:05:03");
  EXPECT_EQ(lines[lineOf(OBJECT_BINARY_INPUT, 10005)], "  binary-input 10005 = 0");
  EXPECT_EQ(lines[lineOf(OBJECT_BINARY_INPUT, 3000485)], "  binary-input 3000485 = 1");
  EXPECT_EQ(lines[lineOf(OBJECT_ANALOG_OUTPUT, 10410)], "  analog-output 10410 = 21.5");
  EXPECT_EQ(lines[lineOf(OBJECT_ANALOG_INPUT, 10365)], "  analog-input 10365 = 30.2");
  EXPECT_EQ(lines[lineOf(OBJECT_ANALOG_OUTPUT, 10407)], "  analog-output 10407 = 1.23457e+06");
  EXPECT_EQ(lines[lineOf(OBJECT_ANALOG_VALUE, 3000836)], "  analog-value 3000836 = 0");
  EXPECT_THROW(recordText(1, record.data(), kRecordSize - 1), std::invalid_argument);

  // The data identifier is all four bytes: the largest --data-id.
  Bytes largest = record;
  std::fill_n(largest.begin(), 4, 0xFF);
  EXPECT_EQ(splitLines(recordText(3, largest.data(), largest.size()))[0],
            "round 3 data-id 4294967295 time 2026-12-08 09:05:03");

  // The cycle's duration in milliseconds with one decimal, then its requests.
  const std::size_t points = vk::device::kPoints.size();
  const std::string requests = " " + std::to_string(points) + " requests";
  const std::pair<long, std::string> cycles[] = {{400, "cycle 0.4 ms" + requests},
                                                 {12345, "cycle 12.3 ms" + requests},
                                                 {1500000, "cycle 1500.0 ms" + requests}};
  for (const auto& [micros, stats] : cycles) {
    const CycleStats cycle{std::chrono::microseconds(micros), points};
    EXPECT_EQ(splitLines(recordText(3, record.data(), record.size(), cycle))[0],
              "round 3 data-id 258 time 2026-12-08 09:05:03 " + stats);
  }
}
