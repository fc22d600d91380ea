// Command line and values file of vornk-sim, the simulated BACnet/IP device.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json.h"
#include "tools/device_simulator.h"

namespace vornk_tools {

struct SimulatorOptions {
  SimulatorSettings settings;
  std::string valuesPath;  // empty: the default values
  bool help = false;
};

struct ParsedSimulatorOptions {
  std::optional<SimulatorOptions> options;
  std::string error;
};

// Options take their value as the next argument or after '='. --drop, --error and --delay may be
// repeated; objects are written TYPE:INSTANCE, TYPE a name such as analog-input or a number.
ParsedSimulatorOptions parseSimulatorOptions(const std::vector<std::string>& args);

std::string simulatorUsageText(std::string_view program);

// Reads present values from a JSON object with a "points" array of {"type", "instance",
// "value"} (the shape of a line of vornk-host decode --format json). Binary values are integers
// from 0 to 4294967295; analog values numbers or "nan", "inf", "-inf". False with error set
// otherwise.
bool parsePointValues(const Json::Value& document, std::map<ObjectKey, std::uint32_t>& values,
                      std::string& error);

}  // namespace vornk_tools
