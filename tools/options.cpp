#include "tools/options.h"

#include <charconv>
#include <limits>
#include <set>

namespace vornk_tools {

std::optional<std::uint64_t> parseDecimal(std::string_view text, std::uint64_t max) {
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > max) return std::nullopt;
  return value;
}

namespace {

bool takesValue(std::string_view name) {
  return name == "--module" || name == "--data-id" || name == "--endpoint" ||
         name == "--settings" || name == "--rounds" || name == "--output" || name == "--device" ||
         name == "--apdu-timeout" || name == "--retries" || name == "--local-port" ||
         name == "--history" || name == "--devices";
}

ParsedOptions failure(std::string message) { return {std::nullopt, std::move(message)}; }

// "HOST:PORT" with a non-empty host and a port from 1 to 65535.
bool isHostAndPort(std::string_view text) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  const auto port = parseDecimal(text.substr(colon + 1), 65535);
  return port && *port != 0;
}

constexpr std::string_view kBacnetIpScheme = "bacnet-ip://";

}  // namespace

ParsedOptions parseOptions(const std::vector<std::string>& args) {
  Options options;
  std::set<std::string> seen;

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      Options help;
      help.help = true;
      return {help, {}};
    }
    if (arg.rfind("--", 0) != 0) {
      if (arg.rfind("-", 0) == 0 && arg.size() > 1) return failure("unknown option '" + arg + "'");
      return failure("unexpected argument '" + arg + "'");
    }

    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (!takesValue(name)) {
      if (name == "--help") return failure("option --help takes no value");
      return failure("unknown option '" + name + "'");
    }
    if (!seen.insert(name).second) return failure("option " + name + " given more than once");

    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) {
      value = args[++i];
    } else {
      return failure("option " + name + " needs a value");
    }

    // The value as a number from min to max, in number; false when it is not one.
    std::uint64_t number = 0;
    std::string rangeError;
    auto inRange = [&](std::uint64_t min, std::uint64_t max) {
      const auto parsed = parseDecimal(value, max);
      if (parsed && *parsed >= min) {
        number = *parsed;
        return true;
      }
      rangeError = name + " needs a decimal number from " + std::to_string(min) + " to " +
                   std::to_string(max) + ", not '" + value + "'";
      return false;
    };
    if (name == "--device") {
      const std::string_view url = value;
      if (url.substr(0, kBacnetIpScheme.size()) != kBacnetIpScheme ||
          !isHostAndPort(url.substr(kBacnetIpScheme.size()))) {
        return failure("--device needs bacnet-ip://HOST:PORT, not '" + value + "'");
      }
      options.bacnetIp = true;
      options.endpoint = value.substr(kBacnetIpScheme.size());
    } else if (name == "--apdu-timeout") {
      if (!inRange(1, 3600000)) return failure(rangeError);
      options.apduTimeoutMs = static_cast<std::uint32_t>(number);
    } else if (name == "--retries") {
      if (!inRange(0, 100)) return failure(rangeError);
      options.retries = static_cast<unsigned>(number);
    } else if (name == "--local-port") {
      if (!inRange(0, 65535)) return failure(rangeError);
      options.localPort = static_cast<std::uint16_t>(number);
    } else if (name == "--devices") {
      if (!inRange(1, 4096)) return failure(rangeError);
      options.devices = static_cast<std::uint32_t>(number);
    } else if (name == "--data-id") {
      if (!inRange(0, std::numeric_limits<std::uint32_t>::max())) return failure(rangeError);
      options.dataId = static_cast<std::uint32_t>(number);
    } else if (name == "--rounds") {
      if (!inRange(1, std::numeric_limits<std::uint64_t>::max())) return failure(rangeError);
      options.rounds = number;
    } else if (value.empty()) {
      // An empty endpoint would make the device read nothing; empty paths name no file.
      return failure("option " + name + " needs a non-empty value");
    } else if (name == "--module") {
      options.modulePath = value;
    } else if (name == "--endpoint") {
      options.endpoint = value;
    } else if (name == "--settings") {
      options.settingsPath = value;
    } else if (name == "--history") {
      options.historyPath = value;
    } else {
      options.outputPath = value;
    }
  }
  if (options.bacnetIp && seen.count("--endpoint") != 0) {
    return failure("--device and --endpoint both name the device; give one of them");
  }
  for (const char* networkOption : {"--apdu-timeout", "--retries", "--local-port"}) {
    if (!options.bacnetIp && seen.count(networkOption) != 0) {
      return failure(std::string("option ") + networkOption + " needs --device");
    }
  }
  if (options.devices - 1 > std::numeric_limits<std::uint32_t>::max() - options.dataId) {
    return failure("--data-id plus --devices goes past data identifier 4294967295");
  }
  if (options.localPort != 0 && options.localPort + (options.devices - 1) > 65535) {
    return failure("--local-port plus --devices goes past port 65535");
  }
  return {options, {}};
}

ParsedDecodeOptions parseDecodeOptions(const std::vector<std::string>& args) {
  DecodeOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      return {options, {}};
    }
    if (arg == "--format" || arg.rfind("--format=", 0) == 0) {
      std::string format;
      if (arg != "--format") {
        format = arg.substr(9);
      } else if (i + 1 < args.size()) {
        format = args[++i];
      }
      if (format != "csv" && format != "json") {
        return {std::nullopt, "--format needs csv or json, not '" + format + "'"};
      }
      options.json = format == "json";
    } else if (arg.rfind("-", 0) == 0 && arg.size() > 1) {
      return {std::nullopt, "unknown option '" + arg + "'"};
    } else if (options.path.empty() && !arg.empty()) {
      options.path = arg;
    } else {
      return {std::nullopt, "unexpected argument '" + arg + "'"};
    }
  }
  if (options.path.empty()) return {std::nullopt, "decode needs a history FILE"};
  return {options, {}};
}

std::string usageText(std::string_view program) {
  std::string text = "Usage: ";
  text += program;
  text +=
      " [OPTION]...\n"
      "   or: ";
  text += program;
  text +=
      " decode [--format csv|json] FILE\n"
      "Loads the vornk module, runs vornk devices against a simulated BACnet device (or a real\n"
      "one with --device) and shows every record they publish. The module's own lines go to\n"
      "standard output, the readable records to standard error; each record's first line states\n"
      "how long its cycle took and how many requests it made. Stops on SIGINT or SIGTERM, or\n"
      "once every device has completed --rounds rounds.\n"
      "decode writes the records of a history file as CSV (the default) or JSON lines.\n"
      "\n"
      "Options:\n"
      "  --module PATH       the module to load (default: vornk.so beside this program)\n"
      "  --data-id N         the (first) device's data identifier, 0 to 4294967295 (default: 1)\n"
      "  --devices N         run N devices, data identifiers counting up from --data-id, each\n"
      "                      sampling on its own thread from the same device (default: 1)\n"
      "  --endpoint TEXT     the device's endpoint text, not empty (default: simulated)\n"
      "  --device bacnet-ip://HOST:PORT\n"
      "                      read this BACnet/IP device; the endpoint text is HOST:PORT\n"
      "  --apdu-timeout MS   with --device: wait for each answer this long (default: 3000)\n"
      "  --retries N         with --device: send a request again up to N times (default: 3)\n"
      "  --local-port N      with --device: the local UDP port, 0 for any (default: 0);\n"
      "                      with --devices, each further device uses the next port\n"
      "  --settings FILE     JSON object handed to the device's settings (default: {})\n"
      "  --rounds N          stop after N completed rounds of every device, N >= 1\n"
      "                      (default: run until signalled)\n"
      "  --output FILE       write the readable records to FILE, truncating it first\n"
      "                      (default: standard error)\n"
      "  --history FILE      append every stored record to FILE as its raw 859 bytes\n"
      "  -h, --help          print this help and exit\n"
      "\n"
      "Exit status: 0 when stopped by a signal or after N rounds, 1 on a runtime failure,\n"
      "2 on a command-line error.\n";
  return text;
}

}  // namespace vornk_tools
