// vornk-host's own pieces: its command line, the readable record and the round count that ends
// a run.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "options.h"
#include "printing_services.h"
#include "probe_vornk.h"
#include "record_text.h"

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
