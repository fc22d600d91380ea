// JSON object files: the device settings that vornk-host hands to InitSetting, and vornk-sim's
// values.
#pragma once

#include <json/json.h>

#include <string>
#include <string_view>

namespace vk::tools {

// Parses settings text: one JSON object, comments allowed, nothing after it, no duplicate keys.
// Throws SetupError with a one-line message naming the problem; what the object holds names it
// ("settings must be a JSON object").
Json::Value parseSettings(const std::string& text, std::string_view what = "settings");

// Reads and parses a file of settings, or of what else it holds; messages name the file by that
// and its path ("cannot read settings file 'PATH': ...").
Json::Value loadSettingsFile(const std::string& path, std::string_view what = "settings");

}  // namespace vk::tools
