#include "tests/support/rounds.h"

#include <algorithm>
#include <sstream>

namespace vk::test {

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void cachedRound(Rig& rig) {
  capturedLines([&] { EXPECT_TRUE(rig.device->zeroRecordRound()); });
}

std::vector<doubles::HostCall> evaluatedRound(Rig& rig, const Json::Value& values) {
  rig.device->giveRoundValues(values);
  rig.host->clear();
  cachedRound(rig);
  std::vector<doubles::HostCall> calls = rig.host->calls();
  const auto isName = [](const char* name) {
    return [name](const doubles::HostCall& call) { return call.name == name; };
  };
  const auto from = std::find_if(calls.begin(), calls.end(), isName("Reset"));
  const auto to = std::find_if(calls.begin(), calls.end(), isName("DoBatchCheckThreshold"));
  EXPECT_TRUE(from != calls.end() && to != calls.end());
  return std::vector<doubles::HostCall>(from + 1, to);
}

std::vector<std::string> callLines(const std::vector<doubles::HostCall>& calls) {
  std::vector<std::string> lines;
  for (const doubles::HostCall& call : calls) {
    std::string line = call.name;
    for (const std::string& arg : call.args) line += " " + arg;
    lines.push_back(line);
  }
  return lines;
}

std::string up(const std::string& value, const std::string& threshold) {
  return "\xE5\xBD\x93\xE5\x89\x8D\xE5\x80\xBC" + value +
         "\xE9\xAB\x98\xE4\xBA\x8E\xE9\x98\x88\xE5\x80\xBC:" + threshold;
}

std::string low(const std::string& value, const std::string& threshold) {
  return "\xE5\xBD\x93\xE5\x89\x8D\xE5\x80\xBC" + value +
         "\xE4\xBD\x8E\xE4\xBA\x8E\xE9\x98\x88\xE5\x80\xBC:" + threshold;
}

Json::Value parseJson(const std::string& text) {
  Json::Value value;
  std::string errors;
  std::istringstream in(text);
  EXPECT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), in, &value, &errors)) << errors;
  return value;
}

std::array<Json::Value, 3> settingsInModes135() {
  return {
      parseJson(R"({"appSetting": {"b_mode": 1}})"),
      parseJson(R"({"appSetting": {"b_mode": "3"}, "thresholdSetting": {"t1": {"ID": "S1"}}})"),
      parseJson(R"({"appSetting": {"b_mode": 5}, "thresholdSetting": {
          "a": {"ID": "S1", "SignalName": "t1", "UpValue": 30, "UpReconverValue": 28,
                "UpAlarmLevel": 2, "Low2Value": 1, "Low2ReconverValue": 2, "Low2AlarmLevel": 1}}})"),
  };
}

void evaluateEveryRound(ExposedVornk& device) {
  device.inGenJsonData = [](Json::Value& values) {
    values["t1"] = values.get("t1", 0).asInt() == 31 ? 27 : 31;
  };
  device.aoReportSettings_ = {{"A0160001", {true, 0, false, 0, false, 0, 0, 0}}};
}

Json::Value evaluatingSettings(int mode) {
  if (mode == 1) return parseJson(R"({"appSetting": {"b_mode": 1}})");
  return parseJson(R"({"appSetting": {"b_mode": 5}, "thresholdSetting": {"a": {"ID": "S1",
      "SignalName": "t1", "UpValue": 30, "UpReconverValue": 28, "UpAlarmLevel": 2}}})");
}

}  // namespace vk::test
