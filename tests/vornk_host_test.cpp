// vornk-host's own pieces: its command line, the readable record, the round count that ends a
// run, the history file and its decoding, the cycle meter; vornk-sim's command line and values.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "tests/probe_vornk.h"
#include "tools/device_simulator.h"
#include "tools/history_decode.h"
#include "tools/history_file.h"
#include "tools/metered_client.h"
#include "tools/options.h"
#include "tools/printing_services.h"
#include "tools/record_text.h"
#include "tools/settings_file.h"
#include "tools/simulator_options.h"

using namespace vornk_tools;

TEST(HostOptions, DefaultsAndValues) {
  const ParsedOptions defaults = parseOptions({});
  ASSERT_TRUE(defaults.options) << defaults.error;
  EXPECT_EQ(defaults.options->dataId, 1u);
  EXPECT_EQ(defaults.options->endpoint, "simulated");
  EXPECT_FALSE(defaults.options->rounds);

  const ParsedOptions given = parseOptions(
      {"--data-id", "4294967295", "--rounds=2", "--endpoint", "10.0.0.9:47808", "--settings", "s"});
  ASSERT_TRUE(given.options) << given.error;
  EXPECT_EQ(given.options->dataId, 4294967295u);
  EXPECT_EQ(given.options->rounds, 2u);
  EXPECT_EQ(given.options->endpoint, "10.0.0.9:47808");
  EXPECT_EQ(given.options->settingsPath, "s");
}

TEST(HostOptions, MistakesAreNamed) {
  const std::pair<std::vector<std::string>, std::string> mistakes[] = {
      {{"--bogus"}, "--bogus"},
      {{"--rounds"}, "--rounds"},
      {{"--rounds", "0"}, "--rounds"},
      {{"--rounds", "2x"}, "--rounds"},
      {{"--data-id", "4294967296"}, "--data-id"},
      {{"--data-id", "-1"}, "--data-id"},
      {{"--endpoint="}, "--endpoint"},
      {{"--output", "a", "--output", "b"}, "--output"},
      {{"stray"}, "stray"},
  };
  for (const auto& [args, named] : mistakes) {
    const ParsedOptions parsed = parseOptions(args);
    EXPECT_FALSE(parsed.options) << args[0];
    EXPECT_NE(parsed.error.find(named), std::string::npos) << parsed.error;
  }
}

TEST(HostRecordText, ShowsIdentifierStampAndEveryPoint) {
  Bytes record(859, 0);
  record[0] = 0x02;
  record[1] = 0x01;  // data identifier 258
  record[12] = 1;    // binary input 3000485
  const Bytes value = floatBytes(21.5f);
  std::copy(value.begin(), value.end(), record.begin() + 840);  // analog output 10410
  const unsigned char stamp[7] = {0xEA, 0x07, 12, 8, 9, 5, 3};
  std::copy(stamp, stamp + 7, record.begin() + 852);

  const auto lines = splitLines(recordText(3, record.data(), record.size()));
  ASSERT_EQ(lines.size(), 285u);
  EXPECT_EQ(lines[0], "round 3 data-id 258 time 2026-12-08 09:05:03");
  EXPECT_EQ(lines[1], "  binary-input 10005 = 0");
  EXPECT_EQ(lines[9], "  binary-input 3000485 = 1");
  EXPECT_EQ(lines[282], "  analog-output 10410 = 21.5");
  EXPECT_EQ(lines[284], "  analog-value 3000836 = 0");
  EXPECT_THROW(recordText(1, record.data(), 858), std::invalid_argument);
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
  const Bytes record(859, 0);
  for (int round = 0; round < 3; ++round) {
    services.SendSP(device, 5156, record.data(), 859, false);
    services.SaveDeviceHistory(device, record.data(), 859);
  }
  EXPECT_EQ(stops, 1);
  EXPECT_TRUE(services.limitReached());
  EXPECT_EQ(services.storedRounds(), 3u);
  EXPECT_NE(shown.find("round 2 data-id 0"), std::string::npos);
}

TEST(HostRounds, AFailedWriteStopsTheRun) {
  int stops = 0;
  PrintingServices services([](std::string_view) { return ENOSPC; }, "out.txt", 0,
                            [&] { ++stops; });
  ProbeVornk device;
  const Bytes record(859, 0);
  EXPECT_EQ(services.SendSP(device, 5156, record.data(), 859, false), 0);
  EXPECT_EQ(stops, 1);
  EXPECT_NE(services.writeError().find("out.txt"), std::string::npos);
  EXPECT_NE(services.writeError().find(std::strerror(ENOSPC)), std::string::npos);
}

TEST(HostOptions, NetworkDevicesAndHistory) {
  const ParsedOptions given = parseOptions(
      {"--device", "bacnet-ip://127.0.0.1:47809", "--apdu-timeout=250", "--retries", "0",
       "--local-port", "47900", "--history", "h.bin", "--devices", "64", "--data-id", "10"});
  ASSERT_TRUE(given.options) << given.error;
  EXPECT_TRUE(given.options->bacnetIp);
  EXPECT_EQ(given.options->endpoint, "127.0.0.1:47809");
  EXPECT_EQ(given.options->apduTimeoutMs, 250u);
  EXPECT_EQ(given.options->retries, 0u);
  EXPECT_EQ(given.options->localPort, 47900u);
  EXPECT_EQ(given.options->historyPath, "h.bin");
  EXPECT_EQ(given.options->devices, 64u);

  const std::pair<std::vector<std::string>, std::string> mistakes[] = {
      {{"--device", "udp://127.0.0.1:47808"}, "--device"},
      {{"--device", "bacnet-ip://127.0.0.1"}, "--device"},
      {{"--device", "bacnet-ip://127.0.0.1:0"}, "--device"},
      {{"--device", "bacnet-ip://h:1", "--endpoint", "x"}, "--endpoint"},
      {{"--retries", "2"}, "--device"},
      {{"--device", "bacnet-ip://h:1", "--apdu-timeout", "0"}, "--apdu-timeout"},
      {{"--devices", "0"}, "--devices"},
      {{"--data-id", "4294967295", "--devices", "2"}, "--devices"},
      {{"--device", "bacnet-ip://h:1", "--local-port", "65535", "--devices", "2"}, "--devices"},
  };
  for (const auto& [args, named] : mistakes) {
    const ParsedOptions parsed = parseOptions(args);
    EXPECT_FALSE(parsed.options) << args[0] << ' ' << args[1];
    EXPECT_NE(parsed.error.find(named), std::string::npos) << parsed.error;
  }

  const ParsedDecodeOptions decode = parseDecodeOptions({"--format", "json", "h.bin"});
  ASSERT_TRUE(decode.options) << decode.error;
  EXPECT_TRUE(decode.options->json);
  EXPECT_EQ(decode.options->path, "h.bin");
  EXPECT_FALSE(parseDecodeOptions({"--format=xml", "h.bin"}).options);
  EXPECT_FALSE(parseDecodeOptions({}).options);
  EXPECT_FALSE(parseDecodeOptions({"a", "b"}).options);
}

// A record, a simulator values file made from its JSON line, and the record the simulator's
// values would give: the same bytes, special floats included.
TEST(HostDecode, JsonLineFeedsTheSimulatorBack) {
  Bytes record(859, 0);
  record[4] = 1;
  record[99] = 255;  // binary output 10104
  const std::pair<std::size_t, float> analog[] = {{100, 21.5f},
                                                  {104, -0.1f},
                                                  {108, std::numeric_limits<float>::quiet_NaN()},
                                                  {112, -std::numeric_limits<float>::infinity()},
                                                  {848, 3.4028235e38f}};
  for (const auto& [offset, value] : analog) {
    const Bytes bytes = floatBytes(value);
    std::copy(bytes.begin(), bytes.end(), record.begin() + static_cast<std::ptrdiff_t>(offset));
  }
  const std::string line = jsonLine(record.data());
  const LoadedSettings document = parseSettings(line);
  ASSERT_EQ(document.error, "") << line.substr(0, 200);
  std::map<ObjectKey, std::uint32_t> values;
  std::string error;
  ASSERT_TRUE(parsePointValues(document.settings, values, error)) << error;
  ASSERT_EQ(values.size(), vornk_points::kPointCount);

  Bytes rebuilt(859, 0);
  for (const vornk_points::Point& point : vornk_points::kPoints) {
    const std::uint32_t value = values.at({point.type, point.instance});
    std::memcpy(rebuilt.data() + point.recordOffset, &value, point.size);
  }
  EXPECT_EQ(slice(rebuilt, 4, 848), slice(record, 4, 848));

  const std::string header = csvHeader();
  EXPECT_EQ(header.substr(0, 48), "data_id,time,binary-input 10005,binary-input 100");
  EXPECT_EQ(std::count(header.begin(), header.end(), ','), 285);
  EXPECT_FALSE(parsePointValues(parseSettings(R"({"points":[{"type":"binary-input",
      "instance":10005,"value":1.5}]})")
                                    .settings,
                                values, error));
  EXPECT_FALSE(parsePointValues(parseSettings(R"({"points":[{"type":"analog-input",
      "instance":10365,"value":"warm"}]})")
                                    .settings,
                                values, error));
}

TEST(HostDecode, APartialRecordIsReportedAfterTheWholeOnes) {
  std::string bytes(859 * 2 + 100, '\0');
  bytes[0] = 7;
  std::istringstream in(bytes);
  std::ostringstream out;
  std::string error;
  EXPECT_FALSE(decodeHistory(in, DecodeFormat::JsonLines, out, error));
  EXPECT_EQ(error, "the file ends 100 bytes into record 3 (a record is 859 bytes)");
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
}

TEST(HostSimulatorOptions, ObjectsAndMistakes) {
  const ParsedSimulatorOptions given = parseSimulatorOptions(
      {"--port", "0", "--drop", "analog-output:10410", "--drop=3:10005", "--error",
       "binary-output:10095", "--delay", "analog-input:10365:250", "--device-instance", "77"});
  ASSERT_TRUE(given.options) << given.error;
  const SimulatorSettings& settings = given.options->settings;
  EXPECT_EQ(settings.port, 0u);
  EXPECT_EQ(settings.deviceInstance, 77u);
  EXPECT_EQ(settings.drop,
            (std::set<ObjectKey>{{OBJECT_ANALOG_OUTPUT, 10410}, {OBJECT_BINARY_INPUT, 10005}}));
  EXPECT_EQ(settings.error.count({OBJECT_BINARY_OUTPUT, 10095}), 1u);
  EXPECT_EQ(settings.delay.at({OBJECT_ANALOG_INPUT, 10365}), std::chrono::milliseconds(250));

  for (const std::vector<std::string>& mistake :
       std::vector<std::vector<std::string>>{{"--drop", "analog:1"},
                                             {"--delay", "analog-input:10365"},
                                             {"--port", "65536"},
                                             {"--bogus"},
                                             {"--error"}}) {
    EXPECT_FALSE(parseSimulatorOptions(mistake).options) << mistake[0];
  }
  // Settings naming an object the device does not have are refused.
  SimulatorSettings unknown;
  unknown.port = 0;
  unknown.drop.insert({OBJECT_ANALOG_INPUT, 1});
  EXPECT_THROW(DeviceSimulator{unknown}, std::runtime_error);
}

TEST(HostRounds, HistoryGetsEveryStoredRecord) {
  const std::string path = testing::TempDir() + "vornk_rounds_" + std::to_string(::getpid());
  ::unlink(path.c_str());
  auto history = std::make_shared<HistoryFile>();
  std::string error;
  ASSERT_TRUE(history->open(path, error)) << error;
  PrintingServices services([](std::string_view) { return 0; }, "test", 0, nullptr, nullptr,
                            history);
  ProbeVornk device;
  Bytes record(859, 0);
  for (unsigned char id = 1; id <= 2; ++id) {
    record[0] = id;
    EXPECT_TRUE(services.SaveDeviceHistory(device, record.data(), 859));
  }
  std::ifstream in(path, std::ios::binary);
  const std::string stored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(stored.size(), 2u * 859u);
  EXPECT_EQ(stored[0], 1);
  EXPECT_EQ(stored[859], 2);
  ::unlink(path.c_str());
}
