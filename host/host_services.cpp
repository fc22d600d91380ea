#include "host_services.h"

HostServices::~HostServices() = default;

int HostServices::SendSP(ZeqVDevice&, int, const unsigned char*, unsigned int, bool) { return 0; }

void HostServices::Reset(ZeqVDevice&) {}

bool HostServices::CheckThreshold(ZeqVDevice&, const std::string&, const std::string&, float, int) {
  return false;
}

bool HostServices::CheckThresholdBool(ZeqVDevice&, int, const std::string&, const std::string&,
                                      const std::string&, const std::string&, bool,
                                      unsigned short) {
  return false;
}

bool HostServices::CheckAOReport(ZeqVDevice&, const std::string&, float) { return false; }

bool HostServices::DoBatchCheckThreshold(ZeqVDevice&, const std::vector<rule_value>&) {
  return false;
}

bool HostServices::SaveDeviceHistory(ZeqVDevice&, const unsigned char*, unsigned int) {
  return false;
}

int HostServices::InitSetting(ZeqVDevice&, const Json::Value&) { return 1; }
