// Root of the host's device classes. The order in which the virtual operations are declared
// here and in the derived host classes is the slot order of the host's virtual table: a module
// built against these declarations must line up with the real host, so never reorder them.
#pragma once

#include <json/json.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ZeqVDevice;
class ZeqController;

class VDeviceInterface {
 public:
  VDeviceInterface() = default;
  VDeviceInterface(const VDeviceInterface&) = delete;
  VDeviceInterface& operator=(const VDeviceInterface&) = delete;

  // Point values are not served by default: throws std::out_of_range "数据未就绪".
  virtual double Get_Value(unsigned int index, const std::string& name) const;
  // Calls the byte form with the text's bytes.
  virtual bool LoadFromCache(const std::string& cached);
  virtual bool LoadFromCache(const unsigned char* data, int length);
  virtual std::uint32_t DataId() const;
  virtual std::string DeviceType() const;
  virtual int DeviceIoControl(int code, const void* in, int inLength, void* out, int outLength,
                              int& returned);
  virtual void RoundDone();
  virtual bool UseControllerDb();
  virtual ~VDeviceInterface();
  virtual void Reset();
  virtual int InitV(ZeqVDevice* parent, unsigned int dataId, const Json::Value& settings);
  virtual int Init(std::weak_ptr<ZeqController> controller, unsigned int dataId,
                   const Json::Value& settings);
  virtual int InitSetting(const Json::Value& settings);
  virtual bool IsSupportDevice(const std::string& deviceType) const;
  virtual std::shared_ptr<VDeviceInterface> GetChildVDevice(unsigned int dataId);
  virtual std::vector<std::shared_ptr<VDeviceInterface>> GetAllChildVDevices();

  std::uint32_t dataId_ = 0;
  std::string deviceType_;
  bool useControllerDb_ = false;
};
