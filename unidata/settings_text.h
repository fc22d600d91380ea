// Reading device settings: values are taken as text whatever their JSON type and converted with
// the C library's number rules, so a text that does not parse becomes 0.
#pragma once

#include <optional>
#include <string>

#include "unidata/host.h"

namespace vk::unidata {

// The member of an object, or null when the value is not an object or lacks the member.
const Json::Value* findMember(const Json::Value& object, const char* name);

// The text form of a member of an object: a string as it is, a number in decimal, true and false
// as words. None when the value is not an object or lacks the member, or when the member is null,
// an object or an array: a value without a text form counts as missing.
std::optional<std::string> memberText(const Json::Value& object, const char* name);

// strtol in base 10: leading blanks, an optional sign, the digits up to the first non-digit; 0
// without digits. Out-of-range values saturate at the limits of int, as strtol does where long
// has 32 bits.
int parseIntText(const std::string& text);

// strtod (decimal or hexadecimal floating text, infinity and nan words; 0 when nothing parses),
// narrowed to float.
float parseFloatText(const std::string& text);

// Why value cannot stand where a JSON object is expected, as "a JSON array is not an object"; null
// for an object, and for null, which counts as missing.
const char* notAnObject(const Json::Value& value);

// "appSetting"/"b_mode" of the settings.
struct ModeSetting {
  std::optional<int> mode;          // the parsed mode, when "b_mode" has a text form
  const char* ignoredBy = nullptr;  // why a present "b_mode" was ignored
};
ModeSetting readModeSetting(const Json::Value& settings);

}  // namespace vk::unidata
