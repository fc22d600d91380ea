#include "doubles/recording_services.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace vk::doubles {

namespace {

std::string floatText(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  return text;
}

const char* boolText(bool value) { return value ? "true" : "false"; }

}  // namespace

void RecordingServices::setHook(Hook hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  hook_ = std::move(hook);
}

void RecordingServices::setBatchResult(bool result) {
  std::lock_guard<std::mutex> lock(mutex_);
  batchResult_ = result;
}

void RecordingServices::setInitSettingResult(int result) {
  std::lock_guard<std::mutex> lock(mutex_);
  initSettingResult_ = result;
}

std::vector<HostCall> RecordingServices::calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

std::vector<std::string> RecordingServices::names() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> names;
  names.reserve(calls_.size());
  for (const HostCall& call : calls_) names.push_back(call.name);
  return names;
}

std::size_t RecordingServices::countLocked(const std::string& name) const {
  return static_cast<std::size_t>(std::count_if(
      calls_.begin(), calls_.end(), [&](const HostCall& call) { return call.name == name; }));
}

std::size_t RecordingServices::count(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return countLocked(name);
}

void RecordingServices::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.clear();
}

bool RecordingServices::waitFor(const std::string& name, std::size_t n,
                                std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return recorded_.wait_for(lock, timeout, [&] { return countLocked(name) >= n; });
}

void RecordingServices::record(ZeqVDevice& device, HostCall call) {
  Hook hook;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(call);
    hook = hook_;
  }
  recorded_.notify_all();
  if (hook) hook(device, call);
  afterCall(device, call);
}

void RecordingServices::afterCall(ZeqVDevice&, const HostCall&) {}

int RecordingServices::SendSP(ZeqVDevice& device, int dataId, const unsigned char* data,
                              unsigned int length, bool delay) {
  record(device, {"SendSP",
                  {std::to_string(dataId), std::to_string(length), boolText(delay)},
                  {data, data + length},
                  data});
  return 1;
}

void RecordingServices::Reset(ZeqVDevice& device) { record(device, {"Reset", {}, {}}); }

bool RecordingServices::CheckThreshold(ZeqVDevice& device, const std::string& signalId,
                                       const std::string& signalName, float value, int flag) {
  record(device,
         {"CheckThreshold", {signalId, signalName, floatText(value), std::to_string(flag)}, {}});
  return true;
}

bool RecordingServices::CheckThresholdBool(ZeqVDevice& device, int level, const std::string& key,
                                           const std::string& alarmId, const std::string& valueText,
                                           const std::string& message, bool active,
                                           unsigned short flag) {
  record(device, {"CheckThresholdBool",
                  {std::to_string(level), key, alarmId, valueText, message, boolText(active),
                   std::to_string(flag)},
                  {}});
  return true;
}

bool RecordingServices::CheckAOReport(ZeqVDevice& device, const std::string& signalId,
                                      float value) {
  record(device, {"CheckAOReport", {signalId, floatText(value)}, {}});
  return true;
}

bool RecordingServices::DoBatchCheckThreshold(ZeqVDevice& device,
                                              const std::vector<rule_value>& rules) {
  record(device, {"DoBatchCheckThreshold", {std::to_string(rules.size())}, {}});
  std::lock_guard<std::mutex> lock(mutex_);
  return batchResult_;
}

bool RecordingServices::SaveDeviceHistory(ZeqVDevice& device, const unsigned char* data,
                                          unsigned int length) {
  record(device, {"SaveDeviceHistory", {std::to_string(length)}, {data, data + length}, data});
  return true;
}

int RecordingServices::InitSetting(ZeqVDevice& device, const Json::Value& settings) {
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "";
  record(device, {"InitSetting", {Json::writeString(writer, settings)}, {}});
  std::lock_guard<std::mutex> lock(mutex_);
  return initSettingResult_;
}

}  // namespace vk::doubles
