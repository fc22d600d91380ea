#include "tools/options.h"

#include <charconv>
#include <limits>

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

constexpr std::string_view kBacnetIpScheme = "bacnet-ip://";

// The value as a decimal number from min to max.
std::uint64_t number(std::string_view name, const std::string& value, std::uint64_t min,
                     std::uint64_t max) {
  const auto parsed = parseDecimal(value, max);
  if (!parsed || *parsed < min) {
    throw SetupError(std::string(name) + " needs a decimal number from " + std::to_string(min) +
                     " to " + std::to_string(max) + ", not '" + value + "'");
  }
  return *parsed;
}

// An empty endpoint would make the device read nothing; empty paths name no file.
const std::string& nonEmpty(std::string_view name, const std::string& value) {
  if (value.empty()) throw SetupError("option " + std::string(name) + " needs a non-empty value");
  return value;
}

// "HOST:PORT" with a non-empty host and a port from 1 to 65535.
bool isHostAndPort(std::string_view text) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  const auto port = parseDecimal(text.substr(colon + 1), 65535);
  return port && *port != 0;
}

// The HOST:PORT of a --device value.
std::string deviceEndpoint(const std::string& value) {
  const std::string_view url = value;
  if (url.substr(0, kBacnetIpScheme.size()) != kBacnetIpScheme ||
      !isHostAndPort(url.substr(kBacnetIpScheme.size()))) {
    throw SetupError("--device needs bacnet-ip://HOST:PORT, not '" + value + "'");
  }
  return value.substr(kBacnetIpScheme.size());
}

void setDevice(Options& options, std::string_view, const std::string& value) {
  options.bacnetIp = true;
  options.endpoint = deviceEndpoint(value);
}

std::uint32_t apduTimeout(std::string_view name, const std::string& value) {
  return static_cast<std::uint32_t>(number(name, value, 1, 3600000));
}

unsigned retries(std::string_view name, const std::string& value) {
  return static_cast<unsigned>(number(name, value, 0, 100));
}

// "HOST" or "HOST:PORT", the port from 1 to 65535.
void setTarget(DiscoverOptions& options, std::string_view name, const std::string& value) {
  const std::size_t colon = value.rfind(':');
  if (value.empty() || colon == 0) {
    throw SetupError(std::string(name) + " needs HOST or HOST:PORT, not '" + value + "'");
  }
  if (colon != std::string::npos) {
    if (!isHostAndPort(value)) {
      throw SetupError(std::string(name) + " needs a port from 1 to 65535, not '" + value + "'");
    }
    options.targetPort = static_cast<std::uint16_t>(*parseDecimal(value.substr(colon + 1), 65535));
  }
  options.targetHost = value.substr(0, colon);
}

// For every command: an unknown "--name=..." is named without its value, a "-x..." whole;
// "--help=..." gives a value to the option that takes none; anything else is an unexpected
// argument.
std::string unknownArgument(const std::string& argument) {
  if (argument.rfind("--", 0) == 0) {
    const std::string name = argument.substr(0, argument.find('='));
    if (name == "--help") return "option --help takes no value";
    return "unknown option '" + name + "'";
  }
  if (argument.size() > 1 && argument[0] == '-') return "unknown option '" + argument + "'";
  return "unexpected argument '" + argument + "'";
}

void checkHostOptions(const Options& options, const std::set<std::string_view>& given) {
  if (options.bacnetIp && given.count("--endpoint") != 0) {
    throw SetupError("--device and --endpoint both name the device; give one of them");
  }
  for (const char* networkOption : {"--apdu-timeout", "--retries", "--local-port"}) {
    if (!options.bacnetIp && given.count(networkOption) != 0) {
      throw SetupError(std::string("option ") + networkOption + " needs --device");
    }
  }
  if (options.devices - 1 > std::numeric_limits<std::uint32_t>::max() - options.dataId) {
    throw SetupError("--data-id plus --devices goes past data identifier 4294967295");
  }
  if (options.localPort != 0 && options.localPort + (options.devices - 1) > 65535) {
    throw SetupError("--local-port plus --devices goes past port 65535");
  }
}

}  // namespace

const Command<Options> kHostCommand{
    {"", "[OPTION]...",
     "Loads the vornk module, runs vornk devices against a simulated BACnet device (or a real\n"
     "one with --device) and shows every record they publish. The module's own lines go to\n"
     "standard output, the readable records to standard error; each record's first line states\n"
     "how long its cycle took and how many requests it made. Stops on SIGINT or SIGTERM, or\n"
     "once every device has completed --rounds rounds.\n"},
    {
        {"--module", "PATH", kOnce, "the module to load (default: vornk.so beside this program)",
         [](Options& o, std::string_view name, const std::string& value) {
           o.modulePath = nonEmpty(name, value);
         }},
        {"--data-id", "N", kOnce,
         "the (first) device's data identifier, 0 to 4294967295 (default: 1)",
         [](Options& o, std::string_view name, const std::string& value) {
           o.dataId = static_cast<std::uint32_t>(
               number(name, value, 0, std::numeric_limits<std::uint32_t>::max()));
         }},
        {"--devices", "N", kOnce,
         "run N devices, data identifiers counting up from --data-id, each\n"
         "sampling on its own thread from the same device (default: 1)",
         [](Options& o, std::string_view name, const std::string& value) {
           o.devices = static_cast<std::uint32_t>(number(name, value, 1, 4096));
         }},
        {"--endpoint", "TEXT", kOnce, "the device's endpoint text, not empty (default: simulated)",
         [](Options& o, std::string_view name, const std::string& value) {
           o.endpoint = nonEmpty(name, value);
         }},
        {"--device", "bacnet-ip://HOST:PORT", kOnce,
         "read this BACnet/IP device; the endpoint text is HOST:PORT", setDevice},
        {"--apdu-timeout", "MS", kOnce,
         "with --device: wait for each answer this long (default: 3000)",
         [](Options& o, std::string_view name, const std::string& value) {
           o.apduTimeoutMs = apduTimeout(name, value);
         }},
        {"--retries", "N", kOnce, "with --device: send a request again up to N times (default: 3)",
         [](Options& o, std::string_view name, const std::string& value) {
           o.retries = retries(name, value);
         }},
        {"--local-port", "N", kOnce,
         "with --device: the local UDP port, 0 for any (default: 0);\n"
         "with --devices, each further device uses the next port",
         [](Options& o, std::string_view name, const std::string& value) {
           o.localPort = static_cast<std::uint16_t>(number(name, value, 0, 65535));
         }},
        {"--settings", "FILE", kOnce, "JSON object handed to the device's settings (default: {})",
         [](Options& o, std::string_view name, const std::string& value) {
           o.settingsPath = nonEmpty(name, value);
         }},
        {"--rounds", "N", kOnce,
         "stop after N completed rounds of every device, N >= 1\n"
         "(default: run until signalled)",
         [](Options& o, std::string_view name, const std::string& value) {
           o.rounds = number(name, value, 1, std::numeric_limits<std::uint64_t>::max());
         }},
        {"--output", "FILE", kOnce,
         "write the readable records to FILE, truncating it first\n"
         "(default: standard error)",
         [](Options& o, std::string_view name, const std::string& value) {
           o.outputPath = nonEmpty(name, value);
         }},
        {"--history", "FILE", kOnce, "append every stored record to FILE as its raw 859 bytes",
         [](Options& o, std::string_view name, const std::string& value) {
           o.historyPath = nonEmpty(name, value);
         }},
    },
    {/*valueMayBeginWithDashes=*/false, /*missingValueIsEmpty=*/false, /*positional=*/nullptr,
     unknownArgument, checkHostOptions},
};

const Command<DecodeOptions> kDecodeCommand{
    {"decode", "[--format csv|json] FILE",
     "decode writes the records of a history file as CSV (the default) or JSON lines.\n"},
    {
        {"--format", "csv|json", kRepeatable, "how to write the records (default: csv)",
         [](DecodeOptions& o, std::string_view, const std::string& value) {
           if (value != "csv" && value != "json") {
             throw SetupError("--format needs csv or json, not '" + value + "'");
           }
           o.json = value == "json";
         }},
    },
    {/*valueMayBeginWithDashes=*/true, /*missingValueIsEmpty=*/true,
     [](DecodeOptions& o, const std::string& argument) {
       if (!o.path.empty() || argument.empty()) {
         throw SetupError("unexpected argument '" + argument + "'");
       }
       o.path = argument;
     },
     [](const std::string& argument) { return "unknown option '" + argument + "'"; },
     [](const DecodeOptions& o, const std::set<std::string_view>&) {
       if (o.path.empty()) throw SetupError("decode needs a history FILE");
     }},
};

const Command<ProbeOptions> kProbeCommand{
    {"probe", "--device bacnet-ip://HOST:PORT [OPTION]...",
     "probe reads each point of the device once, in the module's order, going on past\n"
     "failures (--apdu-timeout and --retries as above), and reports the failed points with\n"
     "why, the answer times and whether the module would complete rounds with the device;\n"
     "--format json writes the report as one JSON object.\n"},
    {
        {"--device", "bacnet-ip://HOST:PORT", kOnce, "",
         [](ProbeOptions& o, std::string_view, const std::string& value) {
           o.endpoint = deviceEndpoint(value);
         }},
        {"--apdu-timeout", "MS", kOnce, "",
         [](ProbeOptions& o, std::string_view name, const std::string& value) {
           o.apduTimeoutMs = apduTimeout(name, value);
         }},
        {"--retries", "N", kOnce, "",
         [](ProbeOptions& o, std::string_view name, const std::string& value) {
           o.retries = retries(name, value);
         }},
        {"--format", "text|json", kOnce, "",
         [](ProbeOptions& o, std::string_view, const std::string& value) {
           if (value != "text" && value != "json") {
             throw SetupError("--format needs text or json, not '" + value + "'");
           }
           o.json = value == "json";
         }},
    },
    {/*valueMayBeginWithDashes=*/false, /*missingValueIsEmpty=*/false, /*positional=*/nullptr,
     unknownArgument,
     [](const ProbeOptions& o, const std::set<std::string_view>&) {
       if (o.endpoint.empty()) throw SetupError("probe needs --device bacnet-ip://HOST:PORT");
     }},
};

const Command<DiscoverOptions> kDiscoverCommand{
    {"discover", "[--target HOST[:PORT]] [--timeout MS]",
     "discover sends Who-Is to HOST (port 47808 by default), or broadcasts it on the local\n"
     "network without --target, and lists every I-Am received within MS milliseconds\n"
     "(default 3000).\n"},
    {
        {"--target", "HOST[:PORT]", kOnce, "", setTarget},
        {"--timeout", "MS", kOnce, "",
         [](DiscoverOptions& o, std::string_view name, const std::string& value) {
           o.timeoutMs = static_cast<std::uint32_t>(number(name, value, 1, 3600000));
         }},
    },
    {/*valueMayBeginWithDashes=*/false, /*missingValueIsEmpty=*/false, /*positional=*/nullptr,
     unknownArgument, /*finish=*/nullptr},
};

std::string usageText(std::string_view program) {
  return formatUsage(
      program, kHostCommand, {&kDecodeCommand, &kProbeCommand, &kDiscoverCommand},
      "\n"
      "Exit status: 0 when stopped by a signal or after N rounds, 1 on a runtime failure,\n"
      "2 on a command-line error. probe: 0 when every point answered, 1 when some failed.\n"
      "discover: 0 when a device answered, 1 when none did.\n",
      22);
}

}  // namespace vornk_tools
