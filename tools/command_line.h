// The command lines of vornk-host (a run, decode, probe, discover) and vornk-sim, parsed by CLI11.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "bacnet/ip_client.h"
#include "tools/device_simulator.h"
#include "tools/history_decode.h"

namespace vk::tools {

// vornk-host [OPTION]...
struct Options {
  std::string modulePath;              // empty: vornk.so beside the executable
  std::uint32_t dataId = 1;            // the (first) device's data identifier
  std::uint32_t devices = 1;           // data identifiers dataId, dataId + 1, ...
  std::string endpoint = "simulated";  // names the BACnet device; begins every value line
  // --device [bacnet-ip://]HOST[:PORT]: read that device over BACnet/IP (endpoint "HOST:PORT",
  // the port 47808 unless given) instead of the in-process simulated device.
  bool bacnetIp = false;
  std::uint32_t apduTimeoutMs = bacnet::kDefaultApduTimeout.count();  // per transmission
  unsigned retries = bacnet::kDefaultRetries;
  std::uint16_t localPort = 0;  // 0: any free port; device i uses localPort + i
  std::string settingsPath;     // empty: the device gets an empty JSON object
  std::uint64_t rounds = 0;     // stored rounds of every device to stop after; 0: until signalled
  std::string outputPath;       // empty: readable records go to standard error
  std::string historyPath;      // empty: stored records are only counted
};

// vornk-host decode [--format csv|json] FILE
struct DecodeOptions {
  std::string path;
  DecodeFormat format = DecodeFormat::Csv;
};

// vornk-host probe --device [bacnet-ip://]HOST[:PORT] [OPTION]...
struct ProbeOptions {
  enum class Format { Text, Json };
  std::string endpoint;  // HOST:PORT
  std::uint32_t apduTimeoutMs = bacnet::kDefaultApduTimeout.count();
  unsigned retries = bacnet::kDefaultRetries;
  Format format = Format::Text;
};

// vornk-host discover [--target [bacnet-ip://]HOST[:PORT]] [--timeout MS]
struct DiscoverOptions {
  std::string target;  // HOST:PORT; empty: broadcast on the local network
  // Listens for I-Am as long as a client waits for an answer, unless told otherwise.
  std::uint32_t timeoutMs = bacnet::kDefaultApduTimeout.count();
};

struct HostCommandLine {
  enum class Command { Run, Decode, Probe, Discover };
  Command command = Command::Run;
  Options run;
  DecodeOptions decode;
  ProbeOptions probe;
  DiscoverOptions discover;
};

// vornk-sim [OPTION]...
struct SimulatorOptions {
  SimulatorSettings settings;
  std::string valuesPath;  // empty: the default values
};

// Parse args, the arguments after the program's name, into `into`. False when they ask for the
// usage, which is then written to out. A mistake throws SetupError::commandLine (exit status 2).
bool parseCommandLine(std::string_view program, std::vector<std::string> args,
                      HostCommandLine& into, std::ostream& out);
bool parseCommandLine(std::string_view program, std::vector<std::string> args,
                      SimulatorOptions& into, std::ostream& out);

}  // namespace vk::tools
