// The values file of vornk-sim: present values of the points, as vornk-host decode writes them.
#pragma once

#include <json/json.h>

#include <cstdint>
#include <map>
#include <string>

#include "tools/device_simulator.h"

namespace vk::tools {

// Present values from a JSON object with a "points" array of {"type", "instance", "value"} (the
// shape of a line of vornk-host decode --format json). Binary values are integers from 0 to
// 4294967295; analog values numbers or "nan", "inf", "-inf". Throws SetupError otherwise.
std::map<ObjectKey, std::uint32_t> parsePointValues(const Json::Value& document);

// The present values of the values file at path. Its messages name it ("values file 'PATH': ...");
// its mistakes belong to the command line: the SetupError has exit status 2.
std::map<ObjectKey, std::uint32_t> loadPointValues(const std::string& path);

}  // namespace vk::tools
