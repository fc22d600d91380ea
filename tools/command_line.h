// The command lines of vornk-host and vornk-sim. Each command declares its options as a table of
// rows; one parser and one usage printer serve every command.
#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tools/setup_error.h"

namespace vornk_tools {

// The column mayRepeat of an option's row.
constexpr bool kOnce = false, kRepeatable = true;

// One option of a command.
template <class Options>
struct OptionRow {
  std::string_view name;   // "--rounds"
  std::string_view value;  // what the usage calls its value ("N"); empty: it takes none
  bool mayRepeat;          // false: giving it twice is a mistake
  std::string_view help;   // its text in the usage, with '\n' where it wraps
  // Takes the value (empty for an option without one) into options; throws SetupError with the
  // message when the value is wrong.
  void (*set)(Options& options, std::string_view name, const std::string& value);
};

// What the usage shows of a command besides its options.
struct CommandSummary {
  // The word that selects it after the program; empty for the program's own command.
  std::string_view name;
  std::string_view synopsis;     // what follows the program (and name) on its usage line
  std::string_view description;  // its lines of the usage's description, each ending in '\n'
};

// How a command takes the arguments that are not its options' names, and what it checks last.
// Every function throws SetupError with the message of a mistake.
template <class Options>
struct ArgumentRules {
  // false: after an option that takes a value, an argument beginning with "--" is not its value.
  bool valueMayBeginWithDashes;
  // true: an option that takes a value has an empty one when it is the last argument; false: that
  // is a mistake.
  bool missingValueIsEmpty;
  // Takes an argument that is not an option ("-" and "" included); null: such an argument is a
  // mistake, named by unknown.
  void (*positional)(Options& options, const std::string& argument);
  // The message for an argument that is none of the command's.
  std::string (*unknown)(const std::string& argument);
  // Checks what the options say together, given the names of the options given; null: nothing.
  void (*finish)(const Options& options, const std::set<std::string_view>& given);
};

template <class Options>
struct Command : CommandSummary {
  std::vector<OptionRow<Options>> options;
  ArgumentRules<Options> rules;
};

// What a command line asks for: the usage, or a run with these options.
template <class Options>
struct Parsed {
  Options options;
  bool help = false;
};

// Parses the arguments that follow the program (and the command's name). "--help" or "-h" ends
// parsing at once and asks for the usage. An option is an argument beginning with '-' and at least
// one more character; it names a row as "--name" or "--name=VALUE". A row that takes a value has
// it after '=' or as the next argument. Throws SetupError::commandLine at the first mistake, in
// the order of the arguments.
template <class Options>
Parsed<Options> parseCommandLine(const Command<Options>& command,
                                 const std::vector<std::string>& args) {
  const ArgumentRules<Options>& rules = command.rules;
  Parsed<Options> parsed;
  try {
    std::set<std::string_view> given;
    for (std::size_t i = 0; i < args.size(); ++i) {
      const std::string& arg = args[i];
      if (arg == "--help" || arg == "-h") return {Options{}, true};
      if (arg.size() < 2 || arg[0] != '-') {
        if (rules.positional == nullptr) throw SetupError(rules.unknown(arg));
        rules.positional(parsed.options, arg);
        continue;
      }
      const std::size_t equals = arg.find('=');
      const std::string name = arg.substr(0, equals);
      const auto row =
          std::find_if(command.options.begin(), command.options.end(),
                       [&](const OptionRow<Options>& candidate) { return candidate.name == name; });
      if (row == command.options.end()) throw SetupError(rules.unknown(arg));
      if (!given.insert(row->name).second && !row->mayRepeat) {
        throw SetupError("option " + name + " given more than once");
      }

      std::string value;
      if (row->value.empty()) {
        if (equals != std::string::npos) throw SetupError("option " + name + " takes no value");
      } else if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size() &&
                 (rules.valueMayBeginWithDashes || args[i + 1].rfind("--", 0) != 0)) {
        value = args[++i];
      } else if (!rules.missingValueIsEmpty) {
        throw SetupError("option " + name + " needs a value");
      }
      row->set(parsed.options, row->name, value);
    }
    if (rules.finish != nullptr) rules.finish(parsed.options, given);
  } catch (const SetupError& mistake) {
    throw SetupError::commandLine(command.name, mistake.what());
  }
  return parsed;
}

// The usage text of a program whose own command is command: its usage line and one "or:" line per
// subcommand, the descriptions, the program's options as "Options:" with -h, --help last, then the
// footer. helpColumn is where the options' help texts start.
struct UsageOption {
  std::string_view name, value, help;
};
std::string formatUsage(std::string_view program, const CommandSummary& command,
                        const std::vector<UsageOption>& options,
                        std::initializer_list<const CommandSummary*> subcommands,
                        std::string_view footer, std::size_t helpColumn);

template <class Options>
std::string formatUsage(std::string_view program, const Command<Options>& command,
                        std::initializer_list<const CommandSummary*> subcommands,
                        std::string_view footer, std::size_t helpColumn) {
  std::vector<UsageOption> options;
  for (const OptionRow<Options>& row : command.options) {
    options.push_back({row.name, row.value, row.help});
  }
  return formatUsage(program, command, options, subcommands, footer, helpColumn);
}

}  // namespace vornk_tools
