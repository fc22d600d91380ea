#include "tools/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>
#include <utility>

#include "bacnet/enumerations.h"
#include "tools/setup_error.h"

namespace vk::tools {

namespace {

constexpr std::uint32_t kMaxMilliseconds = 3600000;

// The number that text is, in decimal digits alone (no sign, space, hex or octal), up to max.
std::optional<std::uint64_t> decimal(
    std::string_view text, std::uint64_t max = std::numeric_limits<std::uint64_t>::max()) {
  std::uint64_t value = 0;
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > max) return std::nullopt;
  return value;
}

// Hands CLI11, whose own conversion also takes signs, spaces, hex and octal, the number's plain
// decimal text.
const CLI::Validator kDecimal(
    [](std::string& text) {
      const std::optional<std::uint64_t> value = decimal(text);
      if (!value) return "'" + text + "' is not a decimal number";
      text = std::to_string(*value);
      return std::string();
    },
    "");

// An empty endpoint would make the device read nothing; empty paths name no file.
const CLI::Validator kNonEmpty(
    [](std::string& text) { return text.empty() ? "needs a non-empty value" : ""; }, "");

// A BACnet/IP device's address, bacnet-ip://HOST[:PORT] or HOST[:PORT], which becomes the
// endpoint text HOST:PORT, the port 47808 unless given.
const CLI::Validator kDeviceAddress(
    [](std::string& text) {
      const auto address = bacnet::parseHostAndPort(text, bacnet::kDefaultPort);
      if (!address) {
        return "needs bacnet-ip://HOST[:PORT] or HOST[:PORT] with a port from 1 to 65535, not '" +
               text + "'";
      }
      text = address->host + ":" + std::to_string(address->port);
      return std::string();
    },
    "");
constexpr const char* kDeviceAddressForm = "[bacnet-ip://]HOST[:PORT]";

// TYPE:INSTANCE, TYPE a name such as analog-input or the type's number.
std::optional<ObjectKey> parseObject(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const auto type = bacnet::objectTypeFromName(text.substr(0, colon));
  const auto instance = decimal(text.substr(colon + 1), std::numeric_limits<std::uint32_t>::max());
  if (!type || !instance) return std::nullopt;
  return ObjectKey{*type, static_cast<std::uint32_t>(*instance)};
}

// TYPE:INSTANCE:MS
std::optional<std::pair<ObjectKey, std::chrono::milliseconds>> parseDelay(std::string_view text) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const auto object = parseObject(text.substr(0, colon));
  const auto delay = decimal(text.substr(colon + 1), kMaxMilliseconds);
  if (!object || !delay) return std::nullopt;
  return std::make_pair(*object, std::chrono::milliseconds(*delay));
}

// Checks that parse takes the text.
template <class Parsed>
CLI::Validator parsable(Parsed (*parse)(std::string_view), std::string form) {
  return CLI::Validator(
      [parse, form](std::string& text) {
        return parse(text) ? std::string() : "needs " + form + ", not '" + text + "'";
      },
      "");
}

// An option taking a decimal number from min to max into value; the usage shows the range as
// CLI11 describes it unless given.
template <class Number>
CLI::Option* number(CLI::App& app, const std::string& name, Number& value, std::uint64_t min,
                    std::uint64_t max, const std::string& help, const std::string& type = "N",
                    const std::string& range = "") {
  CLI::Range inRange(min, max);
  if (!range.empty()) inRange.description(range);
  return app.add_option(name, value, help)->type_name(type)->transform(kDecimal)->check(inRange);
}

// An option naming a file or a text, which must not be empty.
CLI::Option* text(CLI::App& app, const std::string& name, std::string& value,
                  const std::string& help, const std::string& type = "FILE") {
  return app.add_option(name, value, help)->type_name(type)->check(kNonEmpty);
}

// An option choosing one of the names of choices, taken into value as its enumerator. The names
// are checked first, so that the enumerators' numbers are no choice of their own.
template <class Enum>
CLI::Option* choice(CLI::App& app, const std::string& name, Enum& value, const std::string& help,
                    const std::vector<std::pair<std::string, Enum>>& choices) {
  std::vector<std::string> names;
  std::string current;
  for (const auto& [choiceName, choiceValue] : choices) {
    names.push_back(choiceName);
    if (choiceValue == value) current = choiceName;
  }
  return app.add_option(name, value, help)
      ->type_name("TEXT")
      ->default_str(current)
      ->transform(CLI::Transformer(choices).description(""))
      ->transform(CLI::IsMember(names));  // runs first: each transform goes before the others
}

// How long to wait for each answer, and how often to ask again: --apdu-timeout and --retries.
std::vector<CLI::Option*> networkOptions(CLI::App& app, std::uint32_t& apduTimeoutMs,
                                         unsigned& retries) {
  return {number(app, "--apdu-timeout", apduTimeoutMs, 1, kMaxMilliseconds,
                 "wait for each answer this long", "MS"),
          number(app, "--retries", retries, 0, 100, "send a request again up to N times")};
}

// Parses args with app; false when they ask for the usage, which is then written to out.
bool parse(CLI::App& app, std::vector<std::string> args, std::ostream& out) {
  std::reverse(args.begin(), args.end());  // CLI11 takes the arguments last first
  try {
    app.parse(args);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return false;
  } catch (const CLI::ParseError& error) {
    const std::vector<CLI::App*> command = app.get_subcommands();
    throw SetupError::commandLine(command.empty() ? "" : command.front()->get_name(), error.what());
  }
  return true;
}

// vornk-host's own options, for a run; returns them, which no command takes.
std::vector<CLI::Option*> addRunOptions(CLI::App& app, Options& run) {
  text(app, "--module", run.modulePath,
       "the module to load (default: vornk.so beside this program)", "PATH");
  number(app, "--data-id", run.dataId, 0, std::numeric_limits<std::uint32_t>::max(),
         "the (first) device's data identifier");
  number(app, "--devices", run.devices, 1, 4096,
         "run N devices, data identifiers counting up from --data-id,\n"
         "each sampling on its own thread from the same device");
  CLI::Option* endpoint =
      text(app, "--endpoint", run.endpoint, "the device's endpoint text", "TEXT");
  CLI::Option* device = app.add_option("--device", run.endpoint,
                                       "read this BACnet/IP device; the endpoint text is HOST:PORT")
                            ->type_name(kDeviceAddressForm)
                            ->transform(kDeviceAddress)
                            ->default_str("")
                            ->excludes(endpoint)
                            ->each([&run](const std::string&) { run.bacnetIp = true; });
  for (CLI::Option* option : networkOptions(app, run.apduTimeoutMs, run.retries)) {
    option->needs(device);
  }
  number(app, "--local-port", run.localPort, 0, 65535,
         "the local UDP port, 0 for any; with --devices,\n"
         "each further device uses the next port")
      ->needs(device);
  text(app, "--settings", run.settingsPath,
       "JSON object handed to the device's settings (default: {})");
  number(app, "--rounds", run.rounds, 1, std::numeric_limits<std::uint64_t>::max(),
         "stop after N completed rounds of every device\n(default: run until signalled)", "N",
         "at least 1")
      ->default_str("");
  text(app, "--output", run.outputPath,
       "write the readable records to FILE, truncating it\nfirst (default: standard error)");
  text(app, "--history", run.historyPath, "append every stored record to FILE as its raw bytes");
  return app.get_options([&](const CLI::Option* option) { return option != app.get_help_ptr(); });
}

// What the run options allow each alone, but not together: data identifiers and local ports
// past their ranges.
void checkRunOptions(const Options& run) {
  if (run.devices - 1 > std::numeric_limits<std::uint32_t>::max() - run.dataId) {
    throw CLI::ValidationError("--devices",
                               "--data-id plus --devices goes past data identifier " +
                                   std::to_string(std::numeric_limits<std::uint32_t>::max()));
  }
  if (run.localPort != 0 && run.localPort + (run.devices - 1) > 65535) {
    throw CLI::ValidationError("--devices", "--local-port plus --devices goes past port 65535");
  }
}

// vornk-host decode [--format csv|json] FILE
CLI::App* addDecode(CLI::App& app, DecodeOptions& decode) {
  CLI::App* command = app.add_subcommand(
      "decode", "Writes the records of a history file as CSV (the default) or JSON lines.");
  choice(*command, "--format", decode.format, "how to write the records",
         {{"csv", DecodeFormat::Csv}, {"json", DecodeFormat::JsonLines}})
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  text(*command, "FILE", decode.path, "the history file", "TEXT")->required();
  // Its own footer, not the one it takes over from vornk-host's usage.
  command->footer(
      "Exit status: 0 when the file is whole records with plausible time stamps; 1 when it cannot\n"
      "be read, ends inside a record or has a record whose time stamp is no plausible date (a\n"
      "file that is no history, or one cut at the wrong place); 2 on a command-line mistake.");
  return command;
}

// vornk-host probe --device [bacnet-ip://]HOST[:PORT] [OPTION]...
CLI::App* addProbe(CLI::App& app, ProbeOptions& probe) {
  CLI::App* command = app.add_subcommand(
      "probe",
      "Reads each point of the device once, in the module's order, going on past failures, and\n"
      "reports the failed points with why, the answer times and whether the module would\n"
      "complete rounds with the device.");
  command->add_option("--device", probe.endpoint, "the BACnet/IP device to read")
      ->type_name(kDeviceAddressForm)
      ->transform(kDeviceAddress)
      ->required();
  networkOptions(*command, probe.apduTimeoutMs, probe.retries);
  using Format = ProbeOptions::Format;
  choice(*command, "--format", probe.format, "text for people, json for one JSON object",
         {{"text", Format::Text}, {"json", Format::Json}});
  return command;
}

// vornk-host discover [--target [bacnet-ip://]HOST[:PORT]] [--timeout MS]
CLI::App* addDiscover(CLI::App& app, DiscoverOptions& discover) {
  CLI::App* command = app.add_subcommand(
      "discover",
      "Sends Who-Is to the target, or broadcasts it on the local network without --target,\n"
      "and lists every I-Am received in time.");
  command
      ->add_option(
          "--target", discover.target,
          "the device to ask, on port " + std::to_string(bacnet::kDefaultPort) + " unless given")
      ->type_name(kDeviceAddressForm)
      ->transform(kDeviceAddress);
  number(*command, "--timeout", discover.timeoutMs, 1, kMaxMilliseconds,
         "wait this long for I-Am answers", "MS");
  return command;
}

}  // namespace

bool parseCommandLine(std::string_view program, std::vector<std::string> args,
                      HostCommandLine& into, std::ostream& out) {
  CLI::App app(
      "Loads the vornk module, runs vornk devices against a simulated BACnet device (or a real\n"
      "one with --device) and shows every record they publish. The module's own lines go to\n"
      "standard output, the readable records to standard error; each record's first line states\n"
      "how long its cycle took and how many requests it made. Stops on SIGINT or SIGTERM, or once\n"
      "every device has completed --rounds rounds.",
      std::string(program));
  app.option_defaults()->always_capture_default();
  app.require_subcommand(0, 1);
  app.footer(
      "Exit status: 0 when stopped by a signal or after --rounds rounds, 1 on a run-time failure,\n"
      "2 on a command-line mistake. probe: 0 when every point answered, 1 when some failed.\n"
      "discover: 0 when a device answered, 1 when none did.");
  const std::vector<CLI::Option*> runOptions = addRunOptions(app, into.run);
  app.callback([&into] { checkRunOptions(into.run); });
  using Command = HostCommandLine::Command;
  for (const auto& [command, kind] :
       {std::pair{addDecode(app, into.decode), Command::Decode},
        std::pair{addProbe(app, into.probe), Command::Probe},
        std::pair{addDiscover(app, into.discover), Command::Discover}}) {
    for (CLI::Option* option : runOptions) command->excludes(option);
    command->callback([&into, kind = kind] { into.command = kind; });
  }
  return parse(app, std::move(args), out);
}

bool parseCommandLine(std::string_view program, std::vector<std::string> args,
                      SimulatorOptions& into, std::ostream& out) {
  CLI::App app(
      "A simulated BACnet/IP device with every point that vornk reads. Answers ReadProperty of\n"
      "their present values and Who-Is with I-Am until SIGINT or SIGTERM. Prints the address it\n"
      "listens on as its first line.",
      std::string(program));
  // Every option may be repeated: --drop, --error and --delay add objects; of the others the last
  // counts.
  app.option_defaults()->always_capture_default()->multi_option_policy(
      CLI::MultiOptionPolicy::TakeLast);
  app.footer(
      "TYPE is binary-input, binary-output, analog-input, analog-output, analog-value or the\n"
      "object type's number; --drop, --error and --delay may be repeated.\n\n"
      "Exit status: 0 when stopped by SIGINT or SIGTERM, 1 on a run-time failure such as an\n"
      "address it cannot listen on, 2 on a command-line mistake or a --values file it cannot\n"
      "take.");
  SimulatorSettings& settings = into.settings;
  app.add_option("--address", settings.address, "IPv4 address to listen on")->type_name("ADDR");
  number(app, "--port", settings.port, 0, 65535, "UDP port, 0 for any free one");
  number(app, "--device-instance", settings.deviceInstance, 0, bacnet::kMaxInstance,
         "the device object's instance for I-Am");
  app.add_option("--values", into.valuesPath,
                 "present values from a JSON object with a \"points\" array\n"
                 "of {\"type\",\"instance\",\"value\"}, for example a line of\n"
                 "vornk-host decode --format json (default: built-in values)")
      ->type_name("FILE");
  const auto objects = [&](const std::string& name, std::set<ObjectKey>& set,
                           const std::string& help) {
    app.add_option(name, help)
        ->type_name("TYPE:INSTANCE")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->check(parsable(parseObject, "TYPE:INSTANCE"))
        ->each([&set](const std::string& text) { set.insert(*parseObject(text)); });
  };
  objects("--drop", settings.drop, "never answer requests for this object");
  objects("--error", settings.error, "answer requests for this object with an Error PDU");
  app.add_option("--delay", "answer requests for this object MS milliseconds late")
      ->type_name("TYPE:INSTANCE:MS")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->check(parsable(parseDelay, "TYPE:INSTANCE:MS"))
      ->each([&](const std::string& text) { settings.delay.insert(*parseDelay(text)); });
  return parse(app, std::move(args), out);
}

}  // namespace vk::tools
