#include "zeq_vdevice.h"

#include <utility>

#include "host_services.h"

ZeqVDevice::ZeqVDevice() = default;

ZeqVDevice::~ZeqVDevice() = default;

void ZeqVDevice::AttachHostServices(std::shared_ptr<HostServices> services) {
  services_ = std::move(services);
}

void ZeqVDevice::Reset() {
  if (services_) services_->Reset(*this);
}

int ZeqVDevice::InitSetting(const Json::Value& settings) {
  return services_ ? services_->InitSetting(*this, settings) : 1;
}

int ZeqVDevice::SendSP(int dataId, const unsigned char* data, unsigned int length, bool delay) {
  return services_ ? services_->SendSP(*this, dataId, data, length, delay) : 0;
}

int ZeqVDevice::SendDelayData(int) { return 0; }

int ZeqVDevice::SendDoData(int, char) { return 0; }

int ZeqVDevice::ReadDi(int) { return 0; }

int ZeqVDevice::ReadAi(int) { return 0; }

double ZeqVDevice::Get_SP_Value(unsigned int, const std::string&) { return 0.0; }

bool ZeqVDevice::CheckThreshold(const std::string& signalId, const std::string& signalName,
                                const float& value, int flag) {
  return services_ && services_->CheckThreshold(*this, signalId, signalName, value, flag);
}

bool ZeqVDevice::CheckThresholdBool(int level, const std::string& key, const std::string& alarmId,
                                    const std::string& valueText, const std::string& message,
                                    bool active, unsigned short flag) {
  return services_ && services_->CheckThresholdBool(*this, level, key, alarmId, valueText, message,
                                                    active, flag);
}

bool ZeqVDevice::CheckAOReport(const std::string& signalId, float value) {
  return services_ && services_->CheckAOReport(*this, signalId, value);
}

bool ZeqVDevice::DoBatchCheckThreshold(const std::vector<rule_value>& rules) {
  return services_ && services_->DoBatchCheckThreshold(*this, rules);
}

bool ZeqVDevice::SaveDeviceHistory(const unsigned char* data, unsigned int length) {
  return services_ && services_->SaveDeviceHistory(*this, data, length);
}
