// The host's data device: publication, threshold checks, analog reports and history.
// Every host call ends in the HostServices attached to the device; with none attached the calls
// do nothing and report failure.
#pragma once

#include <boost/date_time/posix_time/ptime.hpp>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "rule_value.h"
#include "vdevice_interface.h"

class HostServices;

class ZeqVDevice : public VDeviceInterface {
 public:
  // Analog report rule of one signal.
  struct BAOSetting {
    bool absEnabled;
    float absDelta;
    bool pctEnabled;
    float pctDelta;
    bool periodEnabled;
    float periodMinutes;
    std::uint32_t lastReportTime;
    float lastReportValue;
  };

  ZeqVDevice();
  ~ZeqVDevice() override;

  void Reset() override;
  int InitSetting(const Json::Value& settings) override;

  virtual int SendSP(int dataId, const unsigned char* data, unsigned int length, bool delay);
  virtual int SendDelayData(int dataId);
  virtual int SendDoData(int index, char value);
  virtual int ReadDi(int index);
  virtual int ReadAi(int index);
  virtual double Get_SP_Value(unsigned int dataId, const std::string& name);

  bool CheckThreshold(const std::string& signalId, const std::string& signalName,
                      const float& value, int flag);
  bool CheckThresholdBool(int level, const std::string& key, const std::string& alarmId,
                          const std::string& valueText, const std::string& message, bool active,
                          unsigned short flag);
  bool CheckAOReport(const std::string& signalId, float value);
  bool DoBatchCheckThreshold(const std::vector<rule_value>& rules);
  bool SaveDeviceHistory(const unsigned char* data, unsigned int length);

  // Stand-in seam: where this device's host calls go. Attach before InitSetting.
  void AttachHostServices(std::shared_ptr<HostServices> services);

  std::map<std::string, BAOSetting> aoReportSettings_;
  std::uint16_t roundState_ = 0;
  boost::posix_time::ptime roundTime_;
  bool dataReady_ = false;
  std::vector<rule_value> ruleValues_;
  bool checkResult_ = false;
  std::map<std::string, int> signalLevelMap;
  std::map<std::string, float> signalValueMap;

 private:
  std::shared_ptr<HostServices> services_;
};
