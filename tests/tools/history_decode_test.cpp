// vornk-host decode: history records as CSV rows and JSON lines, and those lines back as
// vornk-sim's values.
#include "tools/history_decode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <sstream>

#include "tests/support/rounds.h"
#include "tools/point_values.h"
#include "tools/settings_file.h"
#include "tools/setup_error.h"
#include "ttime.h"

using namespace vk::test;

using namespace vk::tools;

// A record, a simulator values file made from its JSON line, and the record the simulator's
// values would give: the same bytes, special floats included.
TEST(HostDecode, JsonLineFeedsTheSimulatorBack) {
  Bytes record(kRecordSize, 0);
  record[pointOf(OBJECT_BINARY_INPUT, 10005).recordOffset] = 1;
  record[pointOf(OBJECT_BINARY_OUTPUT, 10104).recordOffset] = 255;
  const std::pair<vk::device::Point, float> analog[] = {
      {pointOf(OBJECT_ANALOG_INPUT, 10365), 21.5f},
      {pointOf(OBJECT_ANALOG_INPUT, 10368), -0.1f},
      {pointOf(OBJECT_ANALOG_INPUT, 10416), std::numeric_limits<float>::quiet_NaN()},
      {pointOf(OBJECT_ANALOG_INPUT, 10419), -std::numeric_limits<float>::infinity()},
      {pointOf(OBJECT_ANALOG_INPUT, 10422), std::numeric_limits<float>::infinity()},
      {pointOf(OBJECT_ANALOG_VALUE, 3000836), 3.4028235e38f}};
  for (const auto& [point, value] : analog) {
    const Bytes bytes = floatBytes(value);
    std::copy(bytes.begin(), bytes.end(), record.begin() + point.recordOffset);
  }
  const std::string line = jsonLine(record.data());
  const std::map<ObjectKey, std::uint32_t> values = parsePointValues(parseSettings(line));
  ASSERT_EQ(values.size(), vk::device::kPointCount);

  Bytes rebuilt(kRecordSize, 0);
  for (const vk::device::Point& point : vk::device::kPoints) {
    const std::uint32_t value = values.at({point.type, point.instance});
    std::memcpy(rebuilt.data() + point.recordOffset, &value, point.size);
  }
  EXPECT_EQ(slice(rebuilt, kPointsOffset, kPointsSize), slice(record, kPointsOffset, kPointsSize));

  const std::string header = csvHeader();
  EXPECT_EQ(header.substr(0, 48), "data_id,time,binary-input 10005,binary-input 100");
  EXPECT_EQ(std::count(header.begin(), header.end(), ','), vk::device::kPoints.size() + 1);
  EXPECT_THROW(parsePointValues(parseSettings(R"({"points":[{"type":"binary-input",
      "instance":10005,"value":1.5}]})")),
               SetupError);
  EXPECT_THROW(parsePointValues(parseSettings(R"({"points":[{"type":"analog-input",
      "instance":10365,"value":"warm"}]})")),
               SetupError);
}

// Each value lands under its own column: distinct values in the first binary input, a binary
// output and the last analog value, every other point 0.
TEST(HostDecode, CsvValuesStandUnderTheirOwnColumns) {
  Bytes record(kRecordSize, 0);
  record[0] = 9;  // data identifier 9
  record[pointOf(OBJECT_BINARY_INPUT, 10005).recordOffset] = 1;
  record[pointOf(OBJECT_BINARY_OUTPUT, 10104).recordOffset] = 2;
  const Bytes value = floatBytes(21.5f);
  std::copy(value.begin(), value.end(),
            record.begin() + pointOf(OBJECT_ANALOG_VALUE, 3000836).recordOffset);
  std::istringstream in(std::string(record.begin(), record.end()));
  std::ostringstream out;
  std::string error;
  ASSERT_TRUE(decodeHistory(in, DecodeFormat::Csv, out, error, [](const std::string&) {})) << error;

  const auto columns = [](const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream row(line);
    for (std::string field; std::getline(row, field, ',');) fields.push_back(field);
    return fields;
  };
  const auto lines = splitLines(out.str());
  ASSERT_EQ(lines.size(), 2u);
  const std::vector<std::string> header = columns(lines[0]), row = columns(lines[1]);
  ASSERT_EQ(header.size(), 2 + vk::device::kPointCount);
  ASSERT_EQ(row.size(), header.size());
  std::map<std::string, std::string> byColumn;
  for (std::size_t i = 0; i < header.size(); ++i) byColumn[header[i]] = row[i];
  EXPECT_EQ(header.front(), "data_id");
  EXPECT_EQ(header.back(), "analog-value 3000836");
  EXPECT_EQ(byColumn["data_id"], "9");
  EXPECT_EQ(byColumn["time"], "0000-00-00 00:00:00");
  EXPECT_EQ(byColumn["binary-input 10005"], "1");
  EXPECT_EQ(byColumn["binary-output 10104"], "2");
  EXPECT_EQ(byColumn["analog-value 3000836"], "21.5");
  EXPECT_EQ(std::count(row.begin() + 2, row.end(), "0"),
            static_cast<std::ptrdiff_t>(vk::device::kPointCount - 3));
}

// The JSON line as documented: data_id, time, then each point's type, instance and value.
TEST(HostDecode, JsonLineHasTheDocumentedLayout) {
  Bytes record(kRecordSize, 0);
  record[0] = 1;
  const unsigned char stamp[7] = {0xEA, 0x07, 12, 8, 1, 11, 21};
  std::copy(stamp, stamp + 7, record.begin() + kStampOffset);
  record[pointOf(OBJECT_BINARY_INPUT, 10005).recordOffset] = 1;
  const Bytes value = floatBytes(21.5f);
  std::copy(value.begin(), value.end(),
            record.begin() + pointOf(OBJECT_ANALOG_VALUE, 3000836).recordOffset);

  const std::string line = jsonLine(record.data());
  const std::string head = R"({"data_id":1,"time":"2026-12-08 01:11:21","points":[)"
                           R"({"type":"binary-input","instance":10005,"value":1},)"
                           R"({"type":"binary-input","instance":10008,"value":0},)";
  const std::string tail = R"({"type":"analog-value","instance":3000836,"value":21.5}]})"
                           "\n";
  EXPECT_EQ(line.substr(0, head.size()), head);
  ASSERT_GE(line.size(), tail.size());
  EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
}

// An analog value is the shortest text that reads back as the same float.
TEST(HostDecode, AnalogValuesAreTheShortestTextThatReadsBack) {
  const std::pair<float, std::string> cases[] = {{0.1f, "0.1"},
                                                 {-0.1f, "-0.1"},
                                                 {30.2f, "30.2"},
                                                 {1e-45f, "1e-45"},
                                                 {16777216.0f, "16777216"},
                                                 {3.4028235e38f, "3.4028235e+38"},
                                                 {std::numeric_limits<float>::infinity(), "inf"}};
  const vk::device::Point point = pointOf(OBJECT_ANALOG_INPUT, 10365);
  Bytes record(kRecordSize, 0);
  for (const auto& [number, text] : cases) {
    const Bytes value = floatBytes(number);
    std::copy(value.begin(), value.end(), record.begin() + point.recordOffset);
    EXPECT_EQ(pointValueText(point, record.data()), text) << number;
    EXPECT_EQ(std::strtof(text.c_str(), nullptr), number) << text;
  }
}

TEST(HostDecode, APartialRecordIsReportedAfterTheWholeOnes) {
  std::string bytes(2 * kRecordSize + 100, '\0');
  bytes[0] = 7;
  std::istringstream in(bytes);
  std::ostringstream out;
  std::string error, notes;
  EXPECT_FALSE(decodeHistory(in, DecodeFormat::JsonLines, out, error,
                             [&](const std::string& note) { notes += note + '\n'; }));
  EXPECT_EQ(error, "the file ends 100 bytes into record 3 (a record is " +
                       std::to_string(kRecordSize) + " bytes)");
  const auto lines = splitLines(out.str());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(0, 50), R"({"data_id":7,"time":"0000-00-00 00:00:00","points")");
  // A stamp of zeros, as a time without a date gives, is no plausible date: both are noted.
  const std::string note =
      ": its time stamp 0000-00-00 00:00:00 is not a plausible date; the file "
      "may not be a vornk history or may be cut at the wrong place\n";
  EXPECT_EQ(notes, "record 1" + note + "record 2" + note);
}

// A stamp is plausible with a year from 1970 to 2199, a day its month has, a time up to 23:59:60.
TEST(HostDecode, PlausibleStampsAreDatesAControllerClockGives) {
  const unsigned stamps[][7] = {
      // year, month, day, hour, minute, second; plausible
      {1970, 1, 1, 0, 0, 0, 1},  {1969, 12, 31, 23, 59, 59, 0}, {2199, 12, 31, 23, 59, 60, 1},
      {2200, 1, 1, 0, 0, 0, 0},  {2024, 2, 29, 0, 0, 0, 1},     {2100, 2, 29, 0, 0, 0, 0},
      {2026, 4, 31, 0, 0, 0, 0}, {2026, 13, 1, 0, 0, 0, 0},     {2026, 1, 0, 0, 0, 0, 0},
      {2026, 1, 1, 24, 0, 0, 0}, {2026, 1, 1, 0, 60, 0, 0},     {2026, 1, 1, 0, 0, 61, 0}};
  for (const auto& s : stamps) {
    const ttime stamp{std::uint8_t(s[0]), std::uint8_t(s[0] >> 8), std::uint8_t(s[1]),
                      std::uint8_t(s[2]), std::uint8_t(s[3]),      std::uint8_t(s[4]),
                      std::uint8_t(s[5])};
    EXPECT_EQ(plausibleStamp(stamp), s[6] == 1) << format_ttime(stamp);
  }
}
