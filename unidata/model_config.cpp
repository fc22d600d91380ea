#include "unidata/model_config.h"

#include <unistd.h>

#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <locale>

#include "unidata/log_line.h"

namespace unidata {

namespace {

bool endsWith(const std::string& text, const std::string& ending) {
  return text.size() >= ending.size() &&
         text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

}  // namespace

std::string findModelConfig(std::uint32_t dataId, const std::string& deviceType) {
  const std::string id = std::to_string(dataId);
  for (const char* folder : {"./ini/", "./ini/dederi/"}) {
    for (const std::string& stem : {id, deviceType}) {
      for (const char* ending : {".yaml", ".ini"}) {
        std::string name = folder + stem + ending;
        if (::access(name.c_str(), F_OK) == 0) return name;
      }
    }
  }
  writeLine({"data_id:", DecimalText(static_cast<unsigned long long>(dataId)),
             " model:", deviceType, " b ini not found"});
  return {};
}

std::pair<std::string, std::string> splitAiValue(const std::string& value) {
  const std::string::size_type comma = value.find(',');
  if (comma == std::string::npos) return {value, value};
  return {value.substr(0, comma), value.substr(comma + 1)};
}

std::string alarmIdOf(const std::string& value) { return value.substr(0, value.find(',')); }

void importModelConfig(std::uint32_t dataId, const std::string& deviceType, AiSignalMap& aiSignals,
                       AlarmIdMap& alarmIds, std::mutex& tablesLock) {
  const std::string file = findModelConfig(dataId, deviceType);
  writeLine({"parse ini/yaml filename:", file});
  if (file.empty()) return;

  // A YAML file ends the search but has no layout to read.
  if (endsWith(file, ".ini")) {
    boost::property_tree::ptree tree;
    boost::property_tree::read_ini(file, tree, std::locale());
    std::lock_guard<std::mutex> lock(tablesLock);
    for (const auto& [key, entry] : tree.get_child("AI"))
      aiSignals[key] = splitAiValue(entry.data());
    for (const auto& [key, entry] : tree.get_child("ALARM")) {
      const std::string alarmId = alarmIdOf(entry.data());
      alarmIds[key] = alarmId;
      writeLine({"alarmSignalIdMap_ ", key, " : ", alarmId});
    }
  }

  std::lock_guard<std::mutex> lock(tablesLock);
  writeLine({"AI ", DecimalText(static_cast<unsigned long long>(dataId))});
  for (const auto& [key, signal] : aiSignals) {
    writeLine({"first:", key, " second:", signal.first, " name:", signal.second});
  }
}

}  // namespace unidata
