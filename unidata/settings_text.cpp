#include "unidata/settings_text.h"

#include <climits>
#include <cstdlib>

namespace vk::unidata {

namespace {

std::optional<std::string> settingText(const Json::Value& value) {
  if (value.isNull() || value.isObject() || value.isArray()) return std::nullopt;
  return value.asString();
}

}  // namespace

const Json::Value* findMember(const Json::Value& object, const char* name) {
  // isMember tells a member holding null from a missing one; the const operator[] then yields
  // the member itself, never adding one.
  if (!object.isObject() || !object.isMember(name)) return nullptr;
  return &object[name];
}

std::optional<std::string> memberText(const Json::Value& object, const char* name) {
  const Json::Value* member = findMember(object, name);
  if (member == nullptr) return std::nullopt;
  return settingText(*member);
}

int parseIntText(const std::string& text) {
  const long value = std::strtol(text.c_str(), nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

float parseFloatText(const std::string& text) {
  return static_cast<float>(std::strtod(text.c_str(), nullptr));
}

const char* notAnObject(const Json::Value& value) {
  if (value.isNull() || value.isObject()) return nullptr;
  if (value.isArray()) return "a JSON array is not an object";
  if (value.isBool()) return "a JSON boolean is not an object";
  if (value.isNumeric()) return "a JSON number is not an object";
  return "a JSON string is not an object";
}

ModeSetting readModeSetting(const Json::Value& settings) {
  ModeSetting setting;
  const Json::Value* app = findMember(settings, "appSetting");
  if (app == nullptr) return setting;
  const Json::Value* mode = findMember(*app, "b_mode");
  if (mode == nullptr || mode->isNull()) return setting;
  if (mode->isObject()) {
    setting.ignoredBy = "a JSON object has no text form";
  } else if (mode->isArray()) {
    setting.ignoredBy = "a JSON array has no text form";
  } else {
    setting.mode = parseIntText(mode->asString());
  }
  return setting;
}

}  // namespace vk::unidata
