// Command lines of vornk-host and of its decode, probe and discover commands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tools/command_line.h"

namespace vornk_tools {

struct Options {
  std::string modulePath;              // empty: vornk.so beside the executable
  std::uint32_t dataId = 1;            // the device's data identifier
  std::string endpoint = "simulated";  // names the BACnet device; begins every value line
  std::string settingsPath;            // empty: the device gets an empty JSON object
  // Stop after this many stored rounds (at least 1); unset: run until signalled.
  std::optional<std::uint64_t> rounds;
  std::string outputPath;  // empty: readable records go to standard error
  // --device bacnet-ip://HOST:PORT: read that device over BACnet/IP (endpoint "HOST:PORT")
  // instead of the in-process simulated device.
  bool bacnetIp = false;
  std::uint32_t apduTimeoutMs = 3000;  // per transmission
  unsigned retries = 3;
  std::uint16_t localPort = 0;  // 0: any free port; device i uses localPort + i
  std::string historyPath;      // empty: stored records are only counted
  std::uint32_t devices = 1;    // data identifiers dataId, dataId + 1, ...
};

// vornk-host decode [--format csv|json] FILE
struct DecodeOptions {
  std::string path;
  bool json = false;
};

// vornk-host probe --device bacnet-ip://HOST:PORT [--apdu-timeout MS] [--retries N]
// [--format text|json]
struct ProbeOptions {
  std::string endpoint;  // HOST:PORT
  std::uint32_t apduTimeoutMs = 3000;
  unsigned retries = 3;
  bool json = false;
};

// vornk-host discover [--target HOST[:PORT]] [--timeout MS]
struct DiscoverOptions {
  std::string targetHost;  // empty: broadcast on the local network
  std::uint16_t targetPort = 47808;
  std::uint32_t timeoutMs = 3000;
};

// vornk-host [OPTION]...: each option may be given once; a value follows as the next argument
// (unless that begins with "--") or after '='.
extern const Command<Options> kHostCommand;
// vornk-host decode: --format may be repeated, the last one counts; its value is the next
// argument whatever it is, empty at the end.
extern const Command<DecodeOptions> kDecodeCommand;

// vornk-host probe and discover: each option may be given once, as for vornk-host.
extern const Command<ProbeOptions> kProbeCommand;
extern const Command<DiscoverOptions> kDiscoverCommand;

// A plain decimal number: digits only, no sign, no spaces, at most max. Empty otherwise.
std::optional<std::uint64_t> parseDecimal(std::string_view text, std::uint64_t max);

// The usage text that --help prints, for vornk-host and its commands alike.
std::string usageText(std::string_view program);

}  // namespace vornk_tools
