// Command line of vornk-host.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vornk_tools {

struct Options {
  std::string modulePath;              // empty: vornk.so beside the executable
  std::uint32_t dataId = 1;            // the device's data identifier
  std::string endpoint = "simulated";  // names the BACnet device; begins every value line
  std::string settingsPath;            // empty: the device gets an empty JSON object
  // Stop after this many stored rounds (at least 1); unset: run until signalled.
  std::optional<std::uint64_t> rounds;
  std::string outputPath;  // empty: readable records go to standard error
  bool help = false;       // --help: print usage and do nothing else
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
  bool help = false;
};

struct ParsedDecodeOptions {
  std::optional<DecodeOptions> options;
  std::string error;
};

// Either the options or a one-line message naming the problem.
struct ParsedOptions {
  std::optional<Options> options;
  std::string error;
};

// A plain decimal number: digits only, no sign, no spaces, at most max. Empty otherwise.
std::optional<std::uint64_t> parseDecimal(std::string_view text, std::uint64_t max);

// Parses the arguments that follow the program name. Options take their value as the next
// argument or after '='; each may be given once. A next argument that begins with "--" is taken
// for a missing value, not for the value. --help ends parsing at once.
ParsedOptions parseOptions(const std::vector<std::string>& args);

// Parses the arguments that follow "decode".
ParsedDecodeOptions parseDecodeOptions(const std::vector<std::string>& args);

// The usage text that --help prints.
std::string usageText(std::string_view program);

}  // namespace vornk_tools
