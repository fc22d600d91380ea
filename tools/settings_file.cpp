#include "tools/settings_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "tools/setup_error.h"

namespace vk::tools {

namespace {

// jsoncpp's messages span several lines; a one-line message reads better.
std::string oneLine(const std::string& text) {
  std::string line;
  for (char c : text) {
    const bool space = c == '\n' || c == ' ' || c == '\t';
    if (space && (line.empty() || line.back() == ' ')) continue;
    line += space ? ' ' : c;
  }
  if (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

}  // namespace

Json::Value parseSettings(const std::string& text, std::string_view what) {
  Json::CharReaderBuilder builder;
  Json::CharReaderBuilder::strictMode(&builder.settings_);
  builder.settings_["allowComments"] = true;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());

  Json::Value settings;
  std::string errors;
  if (!reader->parse(text.data(), text.data() + text.size(), &settings, &errors)) {
    throw SetupError("invalid JSON: " + oneLine(errors));
  }
  if (!settings.isObject()) throw SetupError(std::string(what) + " must be a JSON object");
  return settings;
}

Json::Value loadSettingsFile(const std::string& path, std::string_view what) {
  const std::string named = std::string(what) + " file '" + path + "'";
  const auto unreadable = [&](int error) {
    return SetupError("cannot read " + named + ": " + std::strerror(error));
  };
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                             &std::fclose);
  if (!file) throw unreadable(errno);
  std::string text;
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, got);
  // A folder opens but does not read (EISDIR).
  if (std::ferror(file.get())) throw unreadable(errno);

  try {
    return parseSettings(text, what);
  } catch (const SetupError& error) {
    throw SetupError(named + ": " + error.what());
  }
}

}  // namespace vk::tools
