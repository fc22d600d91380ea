#include "tools/settings_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace vornk_tools {

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

LoadedSettings parseSettings(const std::string& text) {
  Json::CharReaderBuilder builder;
  Json::CharReaderBuilder::strictMode(&builder.settings_);
  builder.settings_["allowComments"] = true;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());

  LoadedSettings result;
  std::string errors;
  if (!reader->parse(text.data(), text.data() + text.size(), &result.settings, &errors)) {
    result.settings = Json::Value(Json::objectValue);
    result.error = "invalid JSON: " + oneLine(errors);
    return result;
  }
  if (!result.settings.isObject()) {
    result.settings = Json::Value(Json::objectValue);
    result.error = "settings must be a JSON object";
  }
  return result;
}

LoadedSettings loadSettingsFile(const std::string& path) {
  LoadedSettings result;
  const auto fail = [&](int error) {
    result.settings = Json::Value(Json::objectValue);
    result.error = "cannot read settings file '" + path + "': " + std::strerror(error);
    return result;
  };

  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                             &std::fclose);
  if (!file) return fail(errno);
  std::string text;
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, got);
  // A folder opens but does not read (EISDIR).
  if (std::ferror(file.get())) return fail(errno);

  result = parseSettings(text);
  if (!result.error.empty()) result.error = "settings file '" + path + "': " + result.error;
  return result;
}

}  // namespace vornk_tools
