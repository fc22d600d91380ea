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
};

// Either the options or a one-line message naming the problem.
struct ParsedOptions {
  std::optional<Options> options;
  std::string error;
};

// Parses the arguments that follow the program name. Options take their value as the next
// argument or after '='; each may be given once. A next argument that begins with "--" is taken
// for a missing value, not for the value. --help ends parsing at once.
ParsedOptions parseOptions(const std::vector<std::string>& args);

// The usage text that --help prints.
std::string usageText(std::string_view program);

}  // namespace vornk_tools
