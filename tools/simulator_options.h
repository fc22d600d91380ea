// Command line and values file of vornk-sim, the simulated BACnet/IP device.
#pragma once

#include <json/json.h>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "tools/command_line.h"
#include "tools/device_simulator.h"

namespace vornk_tools {

struct SimulatorOptions {
  SimulatorSettings settings;
  std::string valuesPath;  // empty: the default values
};

// vornk-sim [OPTION]...: a value follows as the next argument, whatever it is, or after '='; every
// option may be repeated (--drop, --error and --delay add objects, the others: the last counts).
// Objects are written TYPE:INSTANCE, TYPE a name such as analog-input or a number.
extern const Command<SimulatorOptions> kSimulatorCommand;

std::string simulatorUsageText(std::string_view program);

// Present values from a JSON object with a "points" array of {"type", "instance", "value"} (the
// shape of a line of vornk-host decode --format json). Binary values are integers from 0 to
// 4294967295; analog values numbers or "nan", "inf", "-inf". Throws SetupError otherwise.
std::map<ObjectKey, std::uint32_t> parsePointValues(const Json::Value& document);

// The present values of the values file at path. Its mistakes belong to the command line: the
// SetupError has exit status 2.
std::map<ObjectKey, std::uint32_t> loadPointValues(const std::string& path);

}  // namespace vornk_tools
