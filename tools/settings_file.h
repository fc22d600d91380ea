// The device settings that vornk-host hands to InitSetting.
#pragma once

#include <json/json.h>

#include <string>

namespace vk::tools {

// Parses settings text: one JSON object, comments allowed, nothing after it, no duplicate keys.
// Throws SetupError with a one-line message naming the problem.
Json::Value parseSettings(const std::string& text);

// Reads and parses a settings file; messages name the file.
Json::Value loadSettingsFile(const std::string& path);

}  // namespace vk::tools
