// HostServices that records every host call in order, for tests and diagnostics.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "host_services.h"

namespace vk::doubles {

// One host call: its name, its arguments as text, and the bytes it was given (publication and
// history), with where they were, which a host may keep and read later.
struct HostCall {
  std::string name;
  std::vector<std::string> args;
  std::vector<unsigned char> data;
  const unsigned char* address = nullptr;
};

class RecordingServices : public HostServices {
 public:
  // Runs after a call has been recorded, on the calling thread and outside the recorder's lock.
  // It may queue rule_values into device.ruleValues_, or throw to simulate a failing host.
  using Hook = std::function<void(ZeqVDevice& device, const HostCall& call)>;

  void setHook(Hook hook);
  void setBatchResult(bool result);
  void setInitSettingResult(int result);

  std::vector<HostCall> calls() const;
  std::vector<std::string> names() const;
  std::size_t count(const std::string& name) const;
  void clear();
  // Waits until at least n calls of that name have been recorded; false on timeout.
  bool waitFor(const std::string& name, std::size_t n, std::chrono::milliseconds timeout) const;

  int SendSP(ZeqVDevice& device, int dataId, const unsigned char* data, unsigned int length,
             bool delay) override;
  void Reset(ZeqVDevice& device) override;
  bool CheckThreshold(ZeqVDevice& device, const std::string& signalId,
                      const std::string& signalName, float value, int flag) override;
  bool CheckThresholdBool(ZeqVDevice& device, int level, const std::string& key,
                          const std::string& alarmId, const std::string& valueText,
                          const std::string& message, bool active, unsigned short flag) override;
  bool CheckAOReport(ZeqVDevice& device, const std::string& signalId, float value) override;
  bool DoBatchCheckThreshold(ZeqVDevice& device, const std::vector<rule_value>& rules) override;
  bool SaveDeviceHistory(ZeqVDevice& device, const unsigned char* data,
                         unsigned int length) override;
  int InitSetting(ZeqVDevice& device, const Json::Value& settings) override;

 protected:
  // Runs after each call has been recorded and its hook has run, on the calling thread and
  // outside the recorder's lock: where a derived host adds behaviour of its own.
  virtual void afterCall(ZeqVDevice& device, const HostCall& call);

 private:
  void record(ZeqVDevice& device, HostCall call);
  std::size_t countLocked(const std::string& name) const;  // mutex_ held

  mutable std::mutex mutex_;
  mutable std::condition_variable recorded_;
  std::vector<HostCall> calls_;
  Hook hook_;
  bool batchResult_ = false;
  int initSettingResult_ = 1;
};

}  // namespace vk::doubles
