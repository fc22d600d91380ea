#include "options.h"

#include <charconv>
#include <limits>
#include <set>

namespace vornk_tools {

namespace {

// A plain decimal number: digits only, no sign, no spaces, in range. Empty optional otherwise.
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

bool takesValue(std::string_view name) {
  return name == "--module" || name == "--data-id" || name == "--endpoint" ||
         name == "--settings" || name == "--rounds" || name == "--output";
}

ParsedOptions failure(std::string message) { return {std::nullopt, std::move(message)}; }

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

    if (name == "--data-id") {
      const auto number = parseDecimal(value, std::numeric_limits<std::uint32_t>::max());
      if (!number) {
        return failure("--data-id needs a decimal number from 0 to 4294967295, not '" + value +
                       "'");
      }
      options.dataId = static_cast<std::uint32_t>(*number);
    } else if (name == "--rounds") {
      const auto number = parseDecimal(value, std::numeric_limits<std::uint64_t>::max());
      if (!number || *number == 0) {
        return failure("--rounds needs a decimal number from 1 to 18446744073709551615, not '" +
                       value + "'");
      }
      options.rounds = *number;
    } else if (value.empty()) {
      // An empty endpoint would make the device read nothing; empty paths name no file.
      return failure("option " + name + " needs a non-empty value");
    } else if (name == "--module") {
      options.modulePath = value;
    } else if (name == "--endpoint") {
      options.endpoint = value;
    } else if (name == "--settings") {
      options.settingsPath = value;
    } else {
      options.outputPath = value;
    }
  }
  return {options, {}};
}

std::string usageText(std::string_view program) {
  std::string text = "Usage: ";
  text += program;
  text +=
      " [OPTION]...\n"
      "Loads the vornk module, runs one vornk device against a simulated BACnet device and shows\n"
      "every record it publishes. The module's own lines go to standard output, the readable\n"
      "records to standard error. Stops on SIGINT or SIGTERM, or after --rounds rounds.\n"
      "\n"
      "Options:\n"
      "  --module PATH     the module to load (default: vornk.so beside this program)\n"
      "  --data-id N       the device's data identifier, 0 to 4294967295 (default: 1)\n"
      "  --endpoint TEXT   the device's endpoint text, not empty (default: simulated)\n"
      "  --settings FILE   JSON object handed to the device's settings (default: {})\n"
      "  --rounds N        stop after N completed rounds, N >= 1 (default: run until signalled)\n"
      "  --output FILE     write the readable records to FILE, truncating it first\n"
      "                    (default: standard error)\n"
      "  -h, --help        print this help and exit\n"
      "\n"
      "Exit status: 0 when stopped by a signal or after N rounds, 1 on a runtime failure,\n"
      "2 on a command-line error.\n";
  return text;
}

}  // namespace vornk_tools
