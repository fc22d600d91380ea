// Seam of the stand-in host: where a device's publication, checks, reports, history and base
// settings go. The defaults do nothing and report failure (InitSetting reports success), so a
// device without services runs harmlessly. Calls may come from the device's sampling thread and
// from host threads at once; implementations synchronise themselves.
#pragma once

#include <json/json.h>

#include <string>
#include <vector>

#include "rule_value.h"

class ZeqVDevice;

class HostServices {
 public:
  HostServices() = default;
  HostServices(const HostServices&) = delete;
  HostServices& operator=(const HostServices&) = delete;
  virtual ~HostServices();

  virtual int SendSP(ZeqVDevice& device, int dataId, const unsigned char* data, unsigned int length,
                     bool delay);
  virtual void Reset(ZeqVDevice& device);
  virtual bool CheckThreshold(ZeqVDevice& device, const std::string& signalId,
                              const std::string& signalName, float value, int flag);
  virtual bool CheckThresholdBool(ZeqVDevice& device, int level, const std::string& key,
                                  const std::string& alarmId, const std::string& valueText,
                                  const std::string& message, bool active, unsigned short flag);
  virtual bool CheckAOReport(ZeqVDevice& device, const std::string& signalId, float value);
  virtual bool DoBatchCheckThreshold(ZeqVDevice& device, const std::vector<rule_value>& rules);
  virtual bool SaveDeviceHistory(ZeqVDevice& device, const unsigned char* data,
                                 unsigned int length);
  virtual int InitSetting(ZeqVDevice& device, const Json::Value& settings);
};
