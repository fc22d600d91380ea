#include "tools/simulator_options.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "tools/options.h"
#include "tools/record_text.h"

namespace vornk_tools {

namespace {

// TYPE:INSTANCE
std::optional<ObjectKey> parseObject(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const auto type = objectTypeFromName(text.substr(0, colon));
  const auto instance =
      parseDecimal(text.substr(colon + 1), std::numeric_limits<std::uint32_t>::max());
  if (!type || !instance) return std::nullopt;
  return ObjectKey{*type, static_cast<std::uint32_t>(*instance)};
}

ParsedSimulatorOptions failure(std::string message) { return {std::nullopt, std::move(message)}; }

bool isBinary(BACnetObjectType type) {
  return type == OBJECT_BINARY_INPUT || type == OBJECT_BINARY_OUTPUT;
}

}  // namespace

ParsedSimulatorOptions parseSimulatorOptions(const std::vector<std::string>& args) {
  SimulatorOptions options;
  SimulatorSettings& settings = options.settings;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      return {options, {}};
    }
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const bool known = name == "--address" || name == "--port" || name == "--device-instance" ||
                       name == "--values" || name == "--drop" || name == "--error" ||
                       name == "--delay";
    if (!known) return failure("unknown option or argument '" + arg + "'");
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      return failure("option " + name + " needs a value");
    }

    if (name == "--address") {
      settings.address = value;
    } else if (name == "--port") {
      const auto port = parseDecimal(value, 65535);
      if (!port) return failure("--port needs a number from 0 to 65535, not '" + value + "'");
      settings.port = static_cast<std::uint16_t>(*port);
    } else if (name == "--device-instance") {
      const auto instance = parseDecimal(value, bacnet::kMaxInstance);
      if (!instance) {
        return failure("--device-instance needs a number from 0 to 4194303, not '" + value + "'");
      }
      settings.deviceInstance = static_cast<std::uint32_t>(*instance);
    } else if (name == "--values") {
      options.valuesPath = value;
    } else if (name == "--delay") {
      // TYPE:INSTANCE:MILLISECONDS
      const std::size_t colon = value.rfind(':');
      const auto object =
          colon == std::string::npos ? std::nullopt : parseObject(value.substr(0, colon));
      const auto delay = colon == std::string::npos
                             ? std::nullopt
                             : parseDecimal(std::string_view(value).substr(colon + 1), 3600000);
      if (!object || !delay) {
        return failure("--delay needs TYPE:INSTANCE:MILLISECONDS, not '" + value + "'");
      }
      settings.delay[*object] = std::chrono::milliseconds(*delay);
    } else {
      const auto object = parseObject(value);
      if (!object) return failure(name + " needs TYPE:INSTANCE, not '" + value + "'");
      (name == "--drop" ? settings.drop : settings.error).insert(*object);
    }
  }
  return {options, {}};
}

std::string simulatorUsageText(std::string_view program) {
  std::string text = "Usage: ";
  text += program;
  text +=
      " [OPTION]...\n"
      "A simulated BACnet/IP device with the 284 points that vornk reads. Answers ReadProperty\n"
      "of their present values and Who-Is with I-Am until SIGINT or SIGTERM. Prints the address\n"
      "it listens on as its first line.\n"
      "\n"
      "Options:\n"
      "  --address ADDR             IPv4 address to listen on (default: 127.0.0.1)\n"
      "  --port N                   UDP port, 0 for any free one (default: 47808)\n"
      "  --device-instance N        the device object's instance for I-Am (default: 5156)\n"
      "  --values FILE              present values from a JSON object with a \"points\" array\n"
      "                             of {\"type\",\"instance\",\"value\"}, for example a line of\n"
      "                             vornk-host decode --format json (default: built-in values)\n"
      "  --drop TYPE:INSTANCE       never answer requests for this object\n"
      "  --error TYPE:INSTANCE      answer requests for this object with an Error PDU\n"
      "  --delay TYPE:INSTANCE:MS   answer requests for this object MS milliseconds late\n"
      "  -h, --help                 print this help and exit\n"
      "TYPE is binary-input, binary-output, analog-input, analog-output, analog-value or the\n"
      "object type's number; --drop, --error and --delay may be repeated.\n";
  return text;
}

bool parsePointValues(const Json::Value& document, std::map<ObjectKey, std::uint32_t>& values,
                      std::string& error) {
  const Json::Value& points = document.isObject() ? document["points"] : Json::Value();
  if (!points.isArray()) {
    error = "the values are not a JSON object with a \"points\" array";
    return false;
  }
  for (Json::ArrayIndex i = 0; i < points.size(); ++i) {
    const Json::Value& point = points[i];
    const std::string where = "point " + std::to_string(i + 1);
    const auto type = point.isObject() && point["type"].isString()
                          ? objectTypeFromName(point["type"].asString())
                          : std::nullopt;
    if (!type || !point["instance"].isUInt()) {
      error = where + ": needs a known \"type\" and an \"instance\" number";
      return false;
    }
    const Json::Value& value = point["value"];
    std::uint32_t bits;
    if (isBinary(*type)) {
      if (!value.isUInt()) {
        error = where + ": a binary value is an integer from 0 to 4294967295";
        return false;
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
        error = where + ": an analog value is a number, \"nan\", \"inf\" or \"-inf\"";
        return false;
      }
      std::memcpy(&bits, &number, sizeof bits);
    }
    values[{*type, point["instance"].asUInt()}] = bits;
  }
  return true;
}

}  // namespace vornk_tools
