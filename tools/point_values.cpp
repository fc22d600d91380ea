#include "tools/point_values.h"

#include <limits>

#include "bacnet/codec.h"
#include "bacnet/enumerations.h"
#include "tools/settings_file.h"
#include "tools/setup_error.h"

namespace vk::tools {

std::map<ObjectKey, std::uint32_t> parsePointValues(const Json::Value& document) {
  const Json::Value& points = document.isObject() ? document["points"] : Json::Value();
  if (!points.isArray()) {
    throw SetupError("the values are not a JSON object with a \"points\" array");
  }
  std::map<ObjectKey, std::uint32_t> values;
  for (Json::ArrayIndex i = 0; i < points.size(); ++i) {
    const Json::Value& point = points[i];
    const std::string where = "point " + std::to_string(i + 1);
    const auto type = point.isObject() && point["type"].isString()
                          ? bacnet::objectTypeFromName(point["type"].asString())
                          : std::nullopt;
    if (!type || !point["instance"].isUInt()) {
      throw SetupError(where + ": needs a known \"type\" and an \"instance\" number");
    }
    const Json::Value& value = point["value"];
    std::uint32_t bits;
    if (bacnet::isBinary(*type)) {
      if (!value.isUInt()) {
        throw SetupError(where + ": a binary value is an integer from 0 to 4294967295");
      }
      bits = value.asUInt();
    } else {
      float number;
      if (value.isNumeric()) {
        number = value.asFloat();
      } else if (value.isString() && (value.asString() == "nan" || value.asString() == "inf" ||
                                      value.asString() == "-inf")) {
        const std::string text = value.asString();
        number = text == "nan"   ? std::numeric_limits<float>::quiet_NaN()
                 : text == "inf" ? std::numeric_limits<float>::infinity()
                                 : -std::numeric_limits<float>::infinity();
      } else {
        throw SetupError(where + ": an analog value is a number, \"nan\", \"inf\" or \"-inf\"");
      }
      bits = bacnet::floatBits(number);
    }
    values[{*type, point["instance"].asUInt()}] = bits;
  }
  return values;
}

std::map<ObjectKey, std::uint32_t> loadPointValues(const std::string& path) {
  Json::Value document;
  try {
    document = loadSettingsFile(path, "values");
  } catch (const SetupError& error) {
    throw SetupError(error.what(), 2);
  }
  try {
    return parsePointValues(document);
  } catch (const SetupError& error) {
    throw SetupError("values file '" + path + "': " + error.what(), 2);
  }
}

}  // namespace vk::tools
