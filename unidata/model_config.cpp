#include "unidata/model_config.h"

#include <unistd.h>

#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <locale>

#include "unidata/fixed_texts.h"
#include "unidata/log_line.h"

namespace vk::unidata {

namespace {

bool endsWith(const std::string& text, const std::string& ending) {
  return text.size() >= ending.size() &&
         text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

}  // namespace

std::string findModelConfig(std::uint32_t dataId, const std::string& deviceType) {
  const std::string id = std::to_string(dataId);
  for (const std::string_view folder : text::kConfigFolders) {
    for (const std::string& stem : {id, deviceType}) {
      for (const std::string_view ending : text::kConfigEndings) {
        const std::string name = std::string(folder) + stem + std::string(ending);
        if (::access(name.c_str(), F_OK) == 0) return name;
      }
    }
  }
  writeLine({text::kNoConfigDataId, DecimalText(static_cast<unsigned long long>(dataId)),
             text::kNoConfigModel, deviceType, text::kNoConfigEnd});
  return {};
}

std::pair<std::string, std::string> splitAiValue(const std::string& value) {
  const std::string::size_type comma = value.find(',');
  if (comma == std::string::npos) return {value, value};
  return {value.substr(0, comma), value.substr(comma + 1)};
}

std::string alarmIdOf(const std::string& value) { return value.substr(0, value.find(',')); }

void importModelConfig(std::uint32_t dataId, const std::string& deviceType, AiSignalMap& aiSignals,
                       AlarmIdMap& alarmIds) {
  const std::string file = findModelConfig(dataId, deviceType);
  writeLine({text::kParsingConfig, file});
  if (file.empty()) return;

  // A YAML file ends the search but has no layout to read.
  if (endsWith(file, ".ini")) {
    boost::property_tree::ptree tree;
    boost::property_tree::read_ini(file, tree, std::locale());
    for (const auto& [key, entry] : tree.get_child("AI"))
      aiSignals[key] = splitAiValue(entry.data());
    for (const auto& [key, entry] : tree.get_child("ALARM")) {
      const std::string alarmId = alarmIdOf(entry.data());
      alarmIds[key] = alarmId;
      writeLine({text::kAlarmEntry, key, text::kAlarmEntrySeparator, alarmId});
    }
  }

  writeLine({text::kAiTable, DecimalText(static_cast<unsigned long long>(dataId))});
  for (const auto& [key, signal] : aiSignals) {
    writeLine({text::kAiKey, key, text::kAiId, signal.first, text::kAiName, signal.second});
  }
}

}  // namespace vk::unidata
