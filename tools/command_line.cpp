#include "tools/command_line.h"

#include <CLI/CLI.hpp>
#include <memory>
#include <utility>

namespace vornk_tools {

namespace {

// Lays out the options as CLI11 does (the name and its value's name, the help text from the
// column on, on a line of its own after a name too long for the column) below a head of our own.
class UsageFormatter : public CLI::Formatter {
 public:
  explicit UsageFormatter(std::string head) : head_(std::move(head)) {}

  // "-h, --help": CLI11 would join the names with a comma alone.
  std::string make_option_name(const CLI::Option* option, bool) const override {
    std::string names = option->get_name(false, true);
    for (std::size_t comma = names.find(','); comma != std::string::npos;
         comma = names.find(',', comma + 2)) {
      names.insert(comma + 1, " ");
    }
    return names;
  }

  std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode mode) const override {
    return head_ + make_groups(app, mode) + app->get_footer();
  }

 private:
  const std::string head_;
};

}  // namespace

std::string formatUsage(std::string_view program, const CommandSummary& command,
                        const std::vector<UsageOption>& options,
                        std::initializer_list<const CommandSummary*> subcommands,
                        std::string_view footer, std::size_t helpColumn) {
  const std::string name(program);
  std::string head = "Usage: " + name + " " + std::string(command.synopsis) + "\n";
  for (const CommandSummary* subcommand : subcommands) {
    head += "   or: " + name + " " + std::string(subcommand->name) + " " +
            std::string(subcommand->synopsis) + "\n";
  }
  head += command.description;
  for (const CommandSummary* subcommand : subcommands) head += subcommand->description;

  CLI::App app;
  app.set_help_flag();  // removes CLI11's own help flag, which would come first; ours comes last
  for (const UsageOption& option : options) {
    if (option.value.empty()) {
      app.add_flag(std::string(option.name))->description(std::string(option.help));
    } else {
      app.add_option(std::string(option.name))
          ->description(std::string(option.help))
          ->option_text(std::string(option.value));
    }
  }
  app.set_help_flag("-h,--help", "print this help and exit");
  app.footer(std::string(footer));
  auto formatter = std::make_shared<UsageFormatter>(std::move(head));
  formatter->column_width(helpColumn);
  app.formatter(formatter);
  return app.help();
}

}  // namespace vornk_tools
