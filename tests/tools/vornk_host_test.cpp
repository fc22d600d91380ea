// vornk-host's own pieces: the readable record, the round count that ends a run, the history file
// and its decoding, the cycle meter; vornk-sim's values; and how their setup fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/probe_vornk.h"
#include "tests/support/rounds.h"
#include "tests/support/temp_work_dir.h"
#include "tools/device_simulator.h"
#include "tools/history_decode.h"
#include "tools/history_file.h"
#include "tools/metered_client.h"
#include "tools/module_loader.h"
#include "tools/point_values.h"
#include "tools/printing_services.h"
#include "tools/record_text.h"
#include "tools/settings_file.h"
#include "tools/setup_error.h"
#include "tools/text_output.h"

using namespace vornk_tools;

namespace {

// The SetupError that call throws, as "STATUS: MESSAGE"; "none" when it throws none.
template <class Call>
std::string failureOf(Call call) {
  try {
    call();
  } catch (const SetupError& error) {
    return std::to_string(error.exitStatus()) + ": " + error.what();
  }
  return "none";
}

}  // namespace

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
  const std::pair<vornk_points::Point, float> analog[] = {
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
  ASSERT_EQ(lines.size(), 285u);
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
  const std::pair<long, std::string> cycles[] = {{400, "cycle 0.4 ms 284 requests"},
                                                 {12345, "cycle 12.3 ms 284 requests"},
                                                 {1500000, "cycle 1500.0 ms 284 requests"}};
  for (const auto& [micros, stats] : cycles) {
    const CycleStats cycle{std::chrono::microseconds(micros), 284};
    EXPECT_EQ(splitLines(recordText(3, record.data(), record.size(), cycle))[0],
              "round 3 data-id 258 time 2026-12-08 09:05:03 " + stats);
  }
}

TEST(HostRounds, StopIsAskedOnceWhenTheLastRoundIsStored) {
  std::string shown;
  int stops = 0;
  PrintingServices services(
      [&](std::string_view text) {
        shown += text;
        return 0;
      },
      "test", 2, [&] { ++stops; });
  ProbeVornk device;
  const Bytes record(kRecordSize, 0);
  for (int round = 0; round < 3; ++round) {
    services.SendSP(device, 5156, record.data(), kRecordSize, false);
    services.SaveDeviceHistory(device, record.data(), kRecordSize);
  }
  EXPECT_EQ(stops, 1);
  EXPECT_TRUE(services.limitReached());
  EXPECT_EQ(services.storedRounds(), 3u);
  EXPECT_EQ(shown.rfind("round 1 data-id 0 ", 0), 0u);  // rounds count from 1
  EXPECT_NE(shown.find("\nround 3 data-id 0 "), std::string::npos);
}

TEST(HostRounds, AFailedWriteStopsTheRun) {
  int stops = 0;
  PrintingServices services([](std::string_view) { return ENOSPC; }, "out.txt", 0,
                            [&] { ++stops; });
  ProbeVornk device;
  const Bytes record(kRecordSize, 0);
  EXPECT_EQ(services.SendSP(device, 5156, record.data(), kRecordSize, false), 0);
  EXPECT_EQ(stops, 1);
  EXPECT_NE(services.writeError().find("out.txt"), std::string::npos);
  EXPECT_NE(services.writeError().find(std::strerror(ENOSPC)), std::string::npos);
}

// A record, a simulator values file made from its JSON line, and the record the simulator's
// values would give: the same bytes, special floats included.
TEST(HostDecode, JsonLineFeedsTheSimulatorBack) {
  Bytes record(kRecordSize, 0);
  record[pointOf(OBJECT_BINARY_INPUT, 10005).recordOffset] = 1;
  record[pointOf(OBJECT_BINARY_OUTPUT, 10104).recordOffset] = 255;
  const std::pair<vornk_points::Point, float> analog[] = {
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
  ASSERT_EQ(values.size(), vornk_points::kPointCount);

  Bytes rebuilt(kRecordSize, 0);
  for (const vornk_points::Point& point : vornk_points::kPoints) {
    const std::uint32_t value = values.at({point.type, point.instance});
    std::memcpy(rebuilt.data() + point.recordOffset, &value, point.size);
  }
  EXPECT_EQ(slice(rebuilt, kPointsOffset, kPointsSize), slice(record, kPointsOffset, kPointsSize));

  const std::string header = csvHeader();
  EXPECT_EQ(header.substr(0, 48), "data_id,time,binary-input 10005,binary-input 100");
  EXPECT_EQ(std::count(header.begin(), header.end(), ','), 285);
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
  ASSERT_TRUE(decodeHistory(in, DecodeFormat::Csv, out, error)) << error;

  const auto columns = [](const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream row(line);
    for (std::string field; std::getline(row, field, ',');) fields.push_back(field);
    return fields;
  };
  const auto lines = splitLines(out.str());
  ASSERT_EQ(lines.size(), 2u);
  const std::vector<std::string> header = columns(lines[0]), row = columns(lines[1]);
  ASSERT_EQ(header.size(), 2 + vornk_points::kPointCount);
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
            static_cast<std::ptrdiff_t>(vornk_points::kPointCount - 3));
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
  const vornk_points::Point point = pointOf(OBJECT_ANALOG_INPUT, 10365);
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
  std::string error;
  EXPECT_FALSE(decodeHistory(in, DecodeFormat::JsonLines, out, error));
  EXPECT_EQ(error, "the file ends 100 bytes into record 3 (a record is " +
                       std::to_string(kRecordSize) + " bytes)");
  const auto lines = splitLines(out.str());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(0, 50), R"({"data_id":7,"time":"0000-00-00 00:00:00","points")");
}

TEST(HostMeter, ACycleCountsItsRequestsUntilTheRound) {
  auto simulated = std::make_shared<SimulatedBacnetDevice>();
  simulated->failReceive(OBJECT_BINARY_INPUT, 10008);
  MeteredClient meter(simulated);
  std::uint32_t value;
  auto read = [&](std::uint32_t instance) {
    return meter.SendReadProperty("sim", OBJECT_BINARY_INPUT, instance, PROP_PRESENT_VALUE,
                                  BACNET_ARRAY_ALL) &&
           meter.Receive(value);
  };
  EXPECT_FALSE(meter.takeCycle());
  EXPECT_TRUE(read(10005));
  EXPECT_FALSE(read(10008));  // a failure ends the cycle without a round
  EXPECT_FALSE(meter.takeCycle());
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(read(10005));
  const auto cycle = meter.takeCycle();
  ASSERT_TRUE(cycle);
  EXPECT_EQ(cycle->requests, 3u);
  EXPECT_GE(cycle->duration.count(), 0);
  EXPECT_FALSE(meter.takeCycle());

  // A failed send ends the cycle too; the next one starts at its own first request.
  simulated->failSend(OBJECT_BINARY_INPUT, 10032);
  EXPECT_TRUE(read(10005));
  EXPECT_FALSE(read(10032));
  EXPECT_FALSE(meter.takeCycle());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(read(10005));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_TRUE(read(10005));
  const auto timed = meter.takeCycle();
  ASSERT_TRUE(timed);
  EXPECT_EQ(timed->requests, 2u);
  EXPECT_GE(timed->duration, std::chrono::milliseconds(30));
  EXPECT_LE(timed->duration, std::chrono::duration_cast<std::chrono::microseconds>(
                                 std::chrono::steady_clock::now() - start));
}

TEST(HostSetup, ASimulatorRefusesObjectsItDoesNotHave) {
  SimulatorSettings unknown;
  unknown.port = 0;
  unknown.drop.insert({OBJECT_ANALOG_INPUT, 1});
  EXPECT_THROW(DeviceSimulator{unknown}, std::runtime_error);
}

TEST(HostRounds, HistoryGetsEveryStoredRecord) {
  const TempWorkDir scratch(TempWorkDir::kEnterOnRequest);
  const std::string path = (scratch.path() / "history").string();
  auto history = std::make_shared<HistoryFile>(path);
  PrintingServices services([](std::string_view) { return 0; }, "test", 0, nullptr, nullptr,
                            history);
  ProbeVornk device;
  Bytes record(kRecordSize, 0);
  for (unsigned char id = 1; id <= 2; ++id) {
    record[0] = id;
    EXPECT_TRUE(services.SaveDeviceHistory(device, record.data(), kRecordSize));
  }
  // A later run appends to the file it finds.
  record[0] = 3;
  EXPECT_EQ(HistoryFile(path).append(record.data(), kRecordSize), 0);
  std::ifstream in(path, std::ios::binary);
  const std::string stored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(stored.size(), 3 * kRecordSize);
  EXPECT_EQ(stored[0], 1);
  EXPECT_EQ(stored[kRecordSize], 2);
  EXPECT_EQ(stored[2 * kRecordSize], 3);
}

// What main writes for a failure: the program, for a command-line mistake also the command and
// the pointer to --help.
TEST(CommandLine, FailureLines) {
  const std::pair<SetupError, std::string> cases[] = {
      {SetupError("cannot open x"), "prog: cannot open x"},
      {SetupError("bad values", 2), "prog: bad values"},
      {SetupError::commandLine("", "unknown option '-x'"),
       "prog: unknown option '-x' (see prog --help)"},
      {SetupError::commandLine("decode", "decode needs a history FILE"),
       "prog decode: decode needs a history FILE (see prog --help)"},
  };
  for (const auto& [error, line] : cases) EXPECT_EQ(error.line("prog"), line);
  EXPECT_EQ(SetupError("x").exitStatus(), 1);
  EXPECT_EQ(SetupError::commandLine("decode", "x").exitStatus(), 2);
}

TEST(CommandLine, ForeignExceptionsBecomeSetupErrors) {
  EXPECT_EQ(failureOf([] { orSetupError("opening: ", [] { throw std::runtime_error("busy"); }); }),
            "1: opening: busy");
  EXPECT_EQ(failureOf([] { orSetupError("opening: ", [] { throw 5; }); }),
            "1: opening: unknown error");
  // Its own failures pass unchanged.
  EXPECT_EQ(failureOf([] { orSetupError("opening: ", [] { throw SetupError("no file", 2); }); }),
            "2: no file");
  EXPECT_EQ(orSetupError("opening: ", [] { return 7; }), 7);
}

// What the tools open before a run fails with a SetupError naming the file and the reason.
TEST(HostSetup, FailuresNameWhatFailed) {
  const TempWorkDir scratch(TempWorkDir::kEnterOnRequest);
  const std::string folder = scratch.path().string();
  const std::string absent = folder + "/absent/file";
  const std::string noPoints = folder + "/no_points.json";
  scratch.write("no_points.json", R"({"values": []})");
  const std::string notFound = std::strerror(ENOENT);

  const std::pair<std::string, std::string> cases[] = {
      {failureOf([&] { HistoryFile history(absent); }),
       "1: cannot open " + absent + ": " + notFound},
      {failureOf([&] { TextOutput output(absent); }),
       "1: cannot open output file '" + absent + "': " + notFound},
      {failureOf([&] { loadSettingsFile(absent); }),
       "1: cannot read settings file '" + absent + "': " + notFound},
      // The simulator's values file belongs to its command line: status 2.
      {failureOf([&] { loadPointValues(absent); }),
       "2: cannot read settings file '" + absent + "': " + notFound},
      {failureOf([&] { loadPointValues(noPoints); }),
       "2: " + noPoints + ": the values are not a JSON object with a \"points\" array"},
  };
  for (const auto& [actual, expected] : cases) EXPECT_EQ(actual, expected);
  EXPECT_EQ(failureOf([&] {
              LoadedModule module(absent);
            }).rfind("1: cannot load module '" + absent + "': ", 0),
            0u);
}

TEST(HostSetup, ASimulatorThatCannotListenFailsWithASetupError) {
  SimulatorSettings settings;
  settings.address = "999.1.1.1";
  EXPECT_EQ(failureOf([&] { DeviceSimulator simulator(settings); }),
            "1: '999.1.1.1' is not an IPv4 address");

  settings.address = "127.0.0.1";
  settings.port = 0;
  DeviceSimulator first(settings);
  settings.port = first.port();
  const std::string taken = failureOf([&] { DeviceSimulator second(settings); });
  EXPECT_EQ(taken.rfind("1: cannot bind UDP 127.0.0.1:" + std::to_string(first.port()), 0), 0u)
      << taken;
}

// --output truncates the file it names, so the file holds this run's records only.
TEST(HostSetup, AnOutputFileIsTruncatedFirst) {
  const TempWorkDir scratch(TempWorkDir::kEnterOnRequest);
  scratch.write("out.txt", "an earlier run's much longer text\n");
  const std::string path = (scratch.path() / "out.txt").string();
  {
    const TextOutput output(path);
    EXPECT_EQ(writeAll(output.fd(), "new\n"), 0);
  }
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()),
            "new\n");
}

// A bare file name is looked up in the current folder, not on the library path.
TEST(HostSetup, ModulePathsForDlopen) {
  const std::pair<std::string, std::string> cases[] = {{"vornk.so", "./vornk.so"},
                                                       {"./vornk.so", "./vornk.so"},
                                                       {"lib/vornk.so", "lib/vornk.so"},
                                                       {"/opt/zeq/vornk.so", "/opt/zeq/vornk.so"}};
  for (const auto& [given, opened] : cases) EXPECT_EQ(modulePathForDlopen(given), opened);
  EXPECT_EQ(executableFolder(),
            std::filesystem::read_symlink("/proc/self/exe").parent_path().string());
}
