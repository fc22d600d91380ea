#include "vdevice_interface.h"

#include <stdexcept>

double VDeviceInterface::Get_Value(unsigned int, const std::string&) const {
  throw std::out_of_range("数据未就绪");
}

bool VDeviceInterface::LoadFromCache(const std::string& cached) {
  return LoadFromCache(reinterpret_cast<const unsigned char*>(cached.data()),
                       static_cast<int>(cached.size()));
}

bool VDeviceInterface::LoadFromCache(const unsigned char*, int) { return false; }

std::uint32_t VDeviceInterface::DataId() const { return dataId_; }

std::string VDeviceInterface::DeviceType() const { return deviceType_; }

int VDeviceInterface::DeviceIoControl(int, const void*, int, void*, int, int& returned) {
  returned = 0;
  return 0;
}

void VDeviceInterface::RoundDone() {}

bool VDeviceInterface::UseControllerDb() { return useControllerDb_; }

VDeviceInterface::~VDeviceInterface() = default;

void VDeviceInterface::Reset() {}

int VDeviceInterface::InitV(ZeqVDevice*, unsigned int dataId, const Json::Value&) {
  dataId_ = dataId;
  return 1;
}

int VDeviceInterface::Init(std::weak_ptr<ZeqController>, unsigned int dataId, const Json::Value&) {
  dataId_ = dataId;
  return 1;
}

int VDeviceInterface::InitSetting(const Json::Value&) { return 1; }

bool VDeviceInterface::IsSupportDevice(const std::string& deviceType) const {
  return deviceType == deviceType_;
}

std::shared_ptr<VDeviceInterface> VDeviceInterface::GetChildVDevice(unsigned int) {
  return nullptr;
}

std::vector<std::shared_ptr<VDeviceInterface>> VDeviceInterface::GetAllChildVDevices() {
  return {};
}
