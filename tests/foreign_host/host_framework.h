// A second rendering of the host framework, written from the host contract alone and taking the
// other side from the stand-in in host/ on every choice the contract leaves open: the contract's
// fields, its nested type and the operations only a device calls are protected, the host's own
// members private; the fields sit in another order among members of its own, with other sizes
// and types; the host has a virtual operation of its own after the contract's slots, its own
// result types, enumerator spellings and mutex; the classes carry visibility attributes, and
// jsoncpp comes in through its value header alone. The host's own program reaches the fields
// through vk::foreign_host::Inspector, which every class befriends.
//
// Where one rendering cannot take every other side at once, variant/host_framework.h sets
// FOREIGN_HOST_VARIANT and includes this file: the choices below then take a third side.
//
// vornk.so built against it must work with foreign_host.cpp, its implementation: that proves the
// module relies on the contract and on nothing else of the stand-in.
#pragma once

#include <json/value.h>
#include <pthread.h>

#include <array>
#include <boost/asio/buffer.hpp>
#include <boost/date_time/posix_time/ptime.hpp>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#ifndef FOREIGN_HOST_VARIANT

#define FOREIGN_API __attribute__((visibility("default")))

enum class BACnetObjectType : std::uint16_t {
  kAnalogIn = 0,
  kAnalogOut = 1,
  kAnalogVal = 2,
  kBinaryIn = 3,
  kBinaryOut = 4,
};
enum BACNET_PROPERTY_ID : int { PROP_ID_PRESENT_VALUE = 85, PROP_ID_OBJECT_NAME = 77 };
#define BACNET_ARRAY_ALL 0xFFFFFFFFu

class HostMutex;

namespace vk::foreign_host {
using DataIdType = std::uint32_t;
using RoundState = std::int16_t;
using ReceivedCell = std::int32_t;
using SocketId = long;
using EndpointFlag = bool;
using ControllerDbFlag = unsigned char;
using SettingResult = bool;
using ProcessResult = long;
using StatusResult = bool;
using BacnetResult = bool;
using BacnetMutex = HostMutex;
}  // namespace vk::foreign_host

#else

#include <boost/thread/mutex.hpp>

#define FOREIGN_API

enum BACnetObjectType {
  BACNET_OBJECT_ANALOG_INPUT = 0,
  BACNET_OBJECT_ANALOG_OUTPUT = 1,
  BACNET_OBJECT_ANALOG_VALUE = 2,
  BACNET_OBJECT_BINARY_INPUT = 3,
  BACNET_OBJECT_BINARY_OUTPUT = 4,
};
enum class BACNET_PROPERTY_ID : std::uint8_t { PresentValue = 85 };
enum : unsigned { BACNET_ARRAY_ALL = 0xFFFFFFFFu };

namespace vk::foreign_host {
using DataIdType = std::int32_t;
using RoundState = char16_t;
using ReceivedCell = float;
using SocketId = unsigned;
using EndpointFlag = char;
using ControllerDbFlag = int;
using SettingResult = long;
using ProcessResult = short;
using StatusResult = unsigned;
enum BacnetResult { kBacnetFailed, kBacnetDone };
using BacnetMutex = boost::mutex;
}  // namespace vk::foreign_host

#endif

namespace vk::foreign_host {
struct Inspector;
}

struct FOREIGN_API rule_value {
  std::string rule;
  std::string id;
  std::string name;
  std::string value;
};

// Year since 2000, month, day, hour, minute, second, and a flag byte set for a converted time.
struct FOREIGN_API ttime {
  std::uint8_t fields[7];
};
FOREIGN_API ttime get_ttime(boost::posix_time::ptime time);

class FOREIGN_API ZeqController {
 public:
  virtual ~ZeqController();

 private:
  std::string site_;
};

class ZeqVDevice;

class FOREIGN_API VDeviceInterface {
 public:
  VDeviceInterface();
  VDeviceInterface(const VDeviceInterface&) = delete;
  VDeviceInterface& operator=(const VDeviceInterface&) = delete;

  virtual float Get_Value(unsigned int, const std::string&) const;
  virtual bool LoadFromCache(const std::string&);
  virtual bool LoadFromCache(const unsigned char*, int);
  virtual vk::foreign_host::DataIdType DataId() const;
  virtual std::string DeviceType() const;
  virtual int DeviceIoControl(int, const void*, int, void*, int, int&);
  virtual void RoundDone();
  virtual bool UseControllerDb();
  virtual ~VDeviceInterface();
  virtual void Reset();
  virtual int InitV(ZeqVDevice*, unsigned int, const Json::Value&);
  virtual int Init(std::weak_ptr<ZeqController>, unsigned int, const Json::Value&);
  virtual vk::foreign_host::SettingResult InitSetting(const Json::Value&);
  virtual bool IsSupportDevice(const std::string&) const;
  virtual std::shared_ptr<VDeviceInterface> GetChildVDevice(unsigned int);
  virtual std::vector<std::shared_ptr<VDeviceInterface>> GetAllChildVDevices();

 private:
  friend struct vk::foreign_host::Inspector;
  std::map<std::string, std::string> attributes_;

 protected:
  vk::foreign_host::ControllerDbFlag useControllerDb_;

 private:
  std::array<std::uint8_t, 13> guardA_;

 protected:
  std::string deviceType_;
  vk::foreign_host::DataIdType dataId_;
};

class FOREIGN_API ZeqVDevice : public VDeviceInterface {
 public:
  ZeqVDevice();
  ~ZeqVDevice() override;

 protected:
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

  void Reset() override;
  vk::foreign_host::SettingResult InitSetting(const Json::Value&) override;
  virtual int SendSP(int, const unsigned char*, unsigned int, bool);

 public:
  virtual int SendDelayData(int);
  virtual int SendDoData(int, char);
  virtual int ReadDi(int);
  virtual int ReadAi(int);
  virtual double Get_SP_Value(unsigned int, const std::string&);

 protected:
  void CheckThreshold(const std::string&, const std::string&, const float&, int);
  void CheckThresholdBool(int, const std::string&, const std::string&, const std::string&,
                          const std::string&, bool, unsigned short);
  void CheckAOReport(const std::string&, float);
  int DoBatchCheckThreshold(const std::vector<rule_value>&);
  void SaveDeviceHistory(const unsigned char*, unsigned int);

  std::vector<rule_value> ruleValues_;

 private:
  friend struct vk::foreign_host::Inspector;
  std::string lastError_;

 protected:
  std::map<std::string, float> signalValueMap;
  bool checkResult_;
  boost::posix_time::ptime roundTime_;

 private:
  std::array<double, 3> guardB_;

 protected:
  std::map<std::string, BAOSetting> aoReportSettings_;
  vk::foreign_host::RoundState roundState_;
  std::map<std::string, int> signalLevelMap;
  bool dataReady_;
};

class FOREIGN_API ZeqSocketDevice : public ZeqVDevice {
 public:
  ZeqSocketDevice();
  ~ZeqSocketDevice() override;

  virtual int process(int, unsigned char*, int);

 protected:
  virtual vk::foreign_host::ProcessResult process_data(int, unsigned char*, int) = 0;

 public:
  virtual int OnConnected(int);

 protected:
  virtual vk::foreign_host::StatusResult RefreshStatus();

 public:
  virtual int StartSocket(const std::string&, unsigned short);
  virtual int CloseSocket(int);
  virtual int SendSocketData(const unsigned char*, unsigned int);
  virtual int SendSocketData(int, const unsigned char*, unsigned int);
  virtual int SendSocketData(const std::vector<boost::asio::const_buffer>&);
  virtual int SendSocketData(int, const std::vector<boost::asio::const_buffer>&);

 protected:
  vk::foreign_host::EndpointFlag endpointFlag;

 private:
  friend struct vk::foreign_host::Inspector;
  std::vector<unsigned char> pending_;

 protected:
  std::string endpointText;
  vk::foreign_host::SocketId socketId_;
};

// The host's own mutex: a POSIX mutex with lock and unlock.
class FOREIGN_API HostMutex {
 public:
  HostMutex();
  ~HostMutex();
  HostMutex(const HostMutex&) = delete;
  HostMutex& operator=(const HostMutex&) = delete;
  void lock();
  void unlock();

 private:
  pthread_mutex_t mutex_;
};

class FOREIGN_API ZeqBacNetDevice : public ZeqSocketDevice {
 public:
  ZeqBacNetDevice();
  ~ZeqBacNetDevice() override;

  int Init(std::weak_ptr<ZeqController>, unsigned int, const Json::Value&) override;
  // The host's own operation, after the contract's slots.
  virtual int SubscribeCov(unsigned int);

 protected:
  vk::foreign_host::BacnetResult Send_Read_Property_Request_Address(BACnetObjectType, unsigned int,
                                                                    BACNET_PROPERTY_ID,
                                                                    unsigned int);
  vk::foreign_host::BacnetResult Receive();

 private:
  friend struct vk::foreign_host::Inspector;
  std::array<char, 40> guardC_;

 protected:
  vk::foreign_host::ReceivedCell receivedValue;

 private:
  std::map<std::uint32_t, std::string> objectNames_;

 protected:
  vk::foreign_host::BacnetMutex bacnetMutex;

 private:
  std::weak_ptr<ZeqController> controller_;
  BACnetObjectType requestedType_;
  unsigned int requestedInstance_;
};

class FOREIGN_API Provider {
 public:
  virtual ~Provider();
  virtual ZeqVDevice* create() const = 0;

 private:
  std::string name_;
};

class FOREIGN_API ZeqSocketDeviceProvider : public Provider {
 public:
  ~ZeqSocketDeviceProvider() override;
#ifdef FOREIGN_HOST_VARIANT
  ZeqSocketDevice* create() const override = 0;
#endif
};

// What this host records for the program that checks a module against it (none of it is the
// contract's): every ReadProperty request in order, and the records published and stored.
namespace vk::foreign_host {

// The answer to a ReadProperty of each point: a value no other point of its type has.
std::uint32_t answerFor(BACnetObjectType type, unsigned int instance);

struct Request {
  BACnetObjectType type;
  unsigned int instance;
};
std::vector<Request> requests();
std::vector<unsigned char> published();
std::vector<unsigned char> stored();
// Waits up to the timeout for a stored record; false when none came.
bool waitForStored(int seconds);
// The pattern the guard members hold from construction on.
inline constexpr std::uint8_t kGuard = 0xA5;

}  // namespace vk::foreign_host
