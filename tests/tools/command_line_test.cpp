// The command lines of vornk-host and vornk-sim: what each comes to, and the values CLI11 hands on
// after our checks and transforms.
#include "tools/command_line.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tools/setup_error.h"

using namespace vk::tools;

namespace {

// "run", "help: " and the usage's last paragraph, or the exit status and the line main writes for
// the mistake ("2: p: ...").
template <class Options>
std::string outcome(const std::vector<std::string>& args, Options& options) {
  std::ostringstream usage;
  try {
    if (parseCommandLine("p", args, options, usage)) return "run";
    return "help: " + usage.str().substr(usage.str().rfind("\n\n") + 2);
  } catch (const SetupError& error) {
    return std::to_string(error.exitStatus()) + ": " + error.line("p");
  }
}

template <class Options>
std::string outcome(const std::vector<std::string>& args) {
  Options options;
  return outcome(args, options);
}

}  // namespace

TEST(CommandLine, WhatEachLineComesTo) {
  using Host = HostCommandLine;
  using Sim = SimulatorOptions;
  const std::pair<std::string, std::string> cases[] = {
      {outcome<Host>({}), "run"},
      {outcome<Host>({"--help"}), "help"},
      {outcome<Host>({"decode", "-h"}), "help: Exit status: 0 when the file is whole records"},
      {outcome<Host>({"--rounds", "0"}), "2: p: --rounds: Value 0 not in range 1 to "},
      {outcome<Host>({"--data-id", "-1"}), "2: p: --data-id: '-1' is not a decimal number"},
      {outcome<Host>({"--devices", "0x10"}), "2: p: --devices: '0x10' is not a decimal number"},
      {outcome<Host>({"--data-id", "4294967296"}), "2: p: --data-id: Value 4294967296 not in "},
      {outcome<Host>({"--output", "a", "--output", "b"}), "2: p: --output: At Most 1 required"},
      {outcome<Host>({"--endpoint="}), "2: p: --endpoint: 1 required TEXT missing"},
      {outcome<Host>({"stray"}), "2: p: The following argument was not expected: stray"},
      {outcome<Host>({"--device", "bacnet-ip://h:0"}), "2: p: --device: needs bacnet-ip://HOST[:"},
      {outcome<Host>({"--device", "bacnet-ip://h:1", "--endpoint", "x"}),
       "2: p: --endpoint excludes --device"},
      {outcome<Host>({"--retries", "2"}), "2: p: --retries requires --device"},
      {outcome<Host>({"--local-port", "5000"}), "2: p: --local-port requires --device"},
      {outcome<Host>({"--data-id", "4294967295", "--devices", "2"}),
       "2: p: --devices: --data-id plus --devices goes past"},
      {outcome<Host>({"--device", "bacnet-ip://h:1", "--local-port", "65535", "--devices", "2"}),
       "2: p: --devices: --local-port plus --devices goes past port 65535"},
      {outcome<Host>({"--device", "bacnet-ip://h:1", "--local-port", "65534", "--devices", "2"}),
       "run"},
      {outcome<Host>({"decode"}), "2: p decode: FILE is required (see p --help)"},
      {outcome<Host>({"decode", "a", "b"}), "2: p decode: The following argument was not expected"},
      {outcome<Host>({"--rounds", "1", "decode", "a"}), "2: p decode: decode excludes --rounds"},
      {outcome<Host>({"probe"}), "2: p probe: --device is required"},
      {outcome<Host>({"probe", "--device", "bacnet-ip://h:1", "--format", "xml"}),
       "2: p probe: --format: xml not in {text,json}"},
      {outcome<Host>({"discover", "--target", "h:"}), "2: p discover: --target: needs bacnet-ip:"},
      {outcome<Sim>({"--port", "0", "--port", "1", "--address", "x"}), "run"},
      {outcome<Sim>({"--drop", "analog:1"}), "2: p: --drop: needs TYPE:INSTANCE, not 'analog:1'"},
      {outcome<Sim>({"--delay", "analog-input:10365"}), "2: p: --delay: needs TYPE:INSTANCE:MS"},
      {outcome<Sim>({"--port", "65536"}), "2: p: --port: Value 65536 not in range 0 to 65535"},
      {outcome<Sim>({"--error"}), "2: p: --error: 1 required TYPE:INSTANCE missing"},
  };
  for (const auto& [actual, expected] : cases) {
    EXPECT_EQ(actual.substr(0, expected.size()), expected) << actual;
  }
}

TEST(CommandLine, ValuesAfterChecksAndTransforms) {
  HostCommandLine host;
  ASSERT_EQ(outcome({"--device", "bacnet-ip://127.0.0.1:47809", "--data-id", "010"}, host), "run");
  EXPECT_EQ(host.command, HostCommandLine::Command::Run);
  EXPECT_TRUE(host.run.bacnetIp);
  EXPECT_EQ(host.run.endpoint, "127.0.0.1:47809");
  EXPECT_EQ(host.run.dataId, 10u);  // decimal, not octal
  // The defaults a user sees: 3000 ms for each answer, 3 retries, port 47808.
  EXPECT_EQ(host.run.apduTimeoutMs, 3000u);
  EXPECT_EQ(host.run.retries, 3u);
  ASSERT_EQ(outcome({"decode", "--format", "json", "--format", "csv", "h.bin"}, host), "run");
  EXPECT_EQ(host.command, HostCommandLine::Command::Decode);
  EXPECT_EQ(host.decode.format, DecodeFormat::Csv);  // the last --format counts
  // Both forms of an address, the port 47808 unless given.
  ASSERT_EQ(outcome({"discover", "--target", "localhost"}, host), "run");
  EXPECT_EQ(host.discover.target, "localhost:47808");
  ASSERT_EQ(outcome({"discover", "--target", "bacnet-ip://127.0.0.1:47601"}, host), "run");
  EXPECT_EQ(host.discover.target, "127.0.0.1:47601");
  ASSERT_EQ(outcome({"probe", "--device", "127.0.0.1"}, host), "run");
  EXPECT_EQ(host.probe.endpoint, "127.0.0.1:47808");
  EXPECT_EQ(host.discover.timeoutMs, 3000u);

  SimulatorOptions sim;
  ASSERT_EQ(outcome({"--drop", "3:10005", "--drop=analog-output:10410", "--delay",
                     "analog-input:10365:250", "--error", "binary-output:10095"},
                    sim),
            "run");
  EXPECT_EQ(sim.settings.drop,
            (std::set<ObjectKey>{{OBJECT_ANALOG_OUTPUT, 10410}, {OBJECT_BINARY_INPUT, 10005}}));
  EXPECT_EQ(sim.settings.error, (std::set<ObjectKey>{{OBJECT_BINARY_OUTPUT, 10095}}));
  EXPECT_EQ(sim.settings.delay.at({OBJECT_ANALOG_INPUT, 10365}), std::chrono::milliseconds(250));
}
