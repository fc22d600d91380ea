// The device settings that vornk-host hands to InitSetting.
#pragma once

#include <string>

#include "json.h"

namespace vornk_tools {

// Either the settings or a one-line message naming the problem.
struct LoadedSettings {
  Json::Value settings;
  std::string error;  // empty on success
};

// Parses settings text: one JSON object, comments allowed, nothing after it, no duplicate keys.
LoadedSettings parseSettings(const std::string& text);

// Reads and parses a settings file; messages name the file.
LoadedSettings loadSettingsFile(const std::string& path);

}  // namespace vornk_tools
