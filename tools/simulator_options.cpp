#include "tools/simulator_options.h"

#include <cmath>
#include <limits>

#include "bacnet/codec.h"
#include "bacnet/enumerations.h"
#include "tools/options.h"
#include "tools/record_text.h"
#include "tools/settings_file.h"

namespace vornk_tools {

namespace {

// TYPE:INSTANCE
std::optional<ObjectKey> parseObject(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const auto type = bacnet::objectTypeFromName(text.substr(0, colon));
  const auto instance =
      parseDecimal(text.substr(colon + 1), std::numeric_limits<std::uint32_t>::max());
  if (!type || !instance) return std::nullopt;
  return ObjectKey{*type, static_cast<std::uint32_t>(*instance)};
}

// TYPE:INSTANCE, for --drop and --error.
void addObject(std::set<ObjectKey>& objects, std::string_view name, const std::string& value) {
  const auto object = parseObject(value);
  if (!object) throw SetupError(std::string(name) + " needs TYPE:INSTANCE, not '" + value + "'");
  objects.insert(*object);
}

}  // namespace

const Command<SimulatorOptions> kSimulatorCommand{
    {"", "[OPTION]...",
     "A simulated BACnet/IP device with the 284 points that vornk reads. Answers ReadProperty\n"
     "of their present values and Who-Is with I-Am until SIGINT or SIGTERM. Prints the address\n"
     "it listens on as its first line.\n"},
    {
        {"--address", "ADDR", kRepeatable, "IPv4 address to listen on (default: 127.0.0.1)",
         [](SimulatorOptions& o, std::string_view, const std::string& value) {
           o.settings.address = value;
         }},
        {"--port", "N", kRepeatable, "UDP port, 0 for any free one (default: 47808)",
         [](SimulatorOptions& o, std::string_view, const std::string& value) {
           const auto port = parseDecimal(value, 65535);
           if (!port)
             throw SetupError("--port needs a number from 0 to 65535, not '" + value + "'");
           o.settings.port = static_cast<std::uint16_t>(*port);
         }},
        {"--device-instance", "N", kRepeatable,
         "the device object's instance for I-Am (default: 5156)",
         [](SimulatorOptions& o, std::string_view, const std::string& value) {
           const auto instance = parseDecimal(value, bacnet::kMaxInstance);
           if (!instance) {
             throw SetupError("--device-instance needs a number from 0 to 4194303, not '" + value +
                              "'");
           }
           o.settings.deviceInstance = static_cast<std::uint32_t>(*instance);
         }},
        {"--values", "FILE", kRepeatable,
         "present values from a JSON object with a \"points\" array\n"
         "of {\"type\",\"instance\",\"value\"}, for example a line of\n"
         "vornk-host decode --format json (default: built-in values)",
         [](SimulatorOptions& o, std::string_view, const std::string& value) {
           o.valuesPath = value;
         }},
        {"--drop", "TYPE:INSTANCE", kRepeatable, "never answer requests for this object",
         [](SimulatorOptions& o, std::string_view name, const std::string& value) {
           addObject(o.settings.drop, name, value);
         }},
        {"--error", "TYPE:INSTANCE", kRepeatable,
         "answer requests for this object with an Error PDU",
         [](SimulatorOptions& o, std::string_view name, const std::string& value) {
           addObject(o.settings.error, name, value);
         }},
        {"--delay", "TYPE:INSTANCE:MS", kRepeatable,
         "answer requests for this object MS milliseconds late",
         [](SimulatorOptions& o, std::string_view, const std::string& value) {
           const std::size_t colon = value.rfind(':');
           const auto object =
               colon == std::string::npos ? std::nullopt : parseObject(value.substr(0, colon));
           const auto delay =
               colon == std::string::npos
                   ? std::nullopt
                   : parseDecimal(std::string_view(value).substr(colon + 1), 3600000);
           if (!object || !delay) {
             throw SetupError("--delay needs TYPE:INSTANCE:MILLISECONDS, not '" + value + "'");
           }
           o.settings.delay[*object] = std::chrono::milliseconds(*delay);
         }},
    },
    {/*valueMayBeginWithDashes=*/true, /*missingValueIsEmpty=*/false, /*positional=*/nullptr,
     [](const std::string& argument) { return "unknown option or argument '" + argument + "'"; },
     /*finish=*/nullptr},
};

std::string simulatorUsageText(std::string_view program) {
  return formatUsage(
      program, kSimulatorCommand, {},
      "TYPE is binary-input, binary-output, analog-input, analog-output, analog-value or the\n"
      "object type's number; --drop, --error and --delay may be repeated.\n",
      29);
}

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
    document = loadSettingsFile(path);
  } catch (const SetupError& error) {
    throw SetupError(error.what(), 2);
  }
  try {
    return parsePointValues(document);
  } catch (const SetupError& error) {
    throw SetupError(path + ": " + error.what(), 2);
  }
}

}  // namespace vornk_tools
