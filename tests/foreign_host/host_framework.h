// A second rendering of the host framework, written from the host contract alone and laid out as
// another host may lay it out: the contract's fields in another order among members of its own,
// other sizes, a virtual operation of its own after the contract's slots, its own result types,
// enumerator spellings and mutex, and no visibility attributes, as a vendor's headers have none.
// vornk.so built against it must work with foreign_host.cpp, its implementation: that proves the
// module relies on the contract and on nothing else of the stand-in in host/.
#pragma once

#include <json/json.h>
#include <pthread.h>

#include <array>
#include <boost/asio/buffer.hpp>
#include <boost/date_time/posix_time/ptime.hpp>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

enum class BACnetObjectType : std::uint16_t {
  kAnalogIn = 0,
  kAnalogOut = 1,
  kAnalogVal = 2,
  kBinaryIn = 3,
  kBinaryOut = 4,
};
enum BACNET_PROPERTY_ID : int { PROP_ID_PRESENT_VALUE = 85, PROP_ID_OBJECT_NAME = 77 };
#define BACNET_ARRAY_ALL 0xFFFFFFFFu

struct rule_value {
  std::string rule;
  std::string id;
  std::string name;
  std::string value;
};

// Year since 2000, month, day, hour, minute, second, and a flag byte set for a converted time.
struct ttime {
  std::uint8_t fields[7];
};
ttime get_ttime(boost::posix_time::ptime time);

class ZeqController {
 public:
  virtual ~ZeqController();
  std::string site_;
};

class ZeqVDevice;

class VDeviceInterface {
 public:
  VDeviceInterface();
  VDeviceInterface(const VDeviceInterface&) = delete;
  VDeviceInterface& operator=(const VDeviceInterface&) = delete;

  virtual float Get_Value(unsigned int, const std::string&) const;
  virtual bool LoadFromCache(const std::string&);
  virtual bool LoadFromCache(const unsigned char*, int);
  virtual std::uint32_t DataId() const;
  virtual std::string DeviceType() const;
  virtual int DeviceIoControl(int, const void*, int, void*, int, int&);
  virtual void RoundDone();
  virtual bool UseControllerDb();
  virtual ~VDeviceInterface();
  virtual void Reset();
  virtual int InitV(ZeqVDevice*, unsigned int, const Json::Value&);
  virtual int Init(std::weak_ptr<ZeqController>, unsigned int, const Json::Value&);
  virtual bool InitSetting(const Json::Value&);
  virtual bool IsSupportDevice(const std::string&) const;
  virtual std::shared_ptr<VDeviceInterface> GetChildVDevice(unsigned int);
  virtual std::vector<std::shared_ptr<VDeviceInterface>> GetAllChildVDevices();

  std::map<std::string, std::string> attributes_;
  bool useControllerDb_;
  std::array<std::uint8_t, 13> guardA_;
  std::string deviceType_;
  std::uint32_t dataId_;
};

class ZeqVDevice : public VDeviceInterface {
 public:
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
  bool InitSetting(const Json::Value&) override;

  virtual int SendSP(int, const unsigned char*, unsigned int, bool);
  virtual int SendDelayData(int);
  virtual int SendDoData(int, char);
  virtual int ReadDi(int);
  virtual int ReadAi(int);
  virtual double Get_SP_Value(unsigned int, const std::string&);

  void CheckThreshold(const std::string&, const std::string&, const float&, int);
  void CheckThresholdBool(int, const std::string&, const std::string&, const std::string&,
                          const std::string&, bool, unsigned short);
  void CheckAOReport(const std::string&, float);
  int DoBatchCheckThreshold(const std::vector<rule_value>&);
  void SaveDeviceHistory(const unsigned char*, unsigned int);

  std::vector<rule_value> ruleValues_;
  std::string lastError_;
  std::map<std::string, float> signalValueMap;
  bool checkResult_;
  boost::posix_time::ptime roundTime_;
  std::array<double, 3> guardB_;
  std::map<std::string, BAOSetting> aoReportSettings_;
  std::uint16_t roundState_;
  std::map<std::string, int> signalLevelMap;
  bool dataReady_;
};

class ZeqSocketDevice : public ZeqVDevice {
 public:
  ZeqSocketDevice();
  ~ZeqSocketDevice() override;

  virtual int process(int, unsigned char*, int);
  virtual long process_data(int, unsigned char*, int) = 0;
  virtual int OnConnected(int);
  virtual bool RefreshStatus();
  virtual int StartSocket(const std::string&, unsigned short);
  virtual int CloseSocket(int);
  virtual int SendSocketData(const unsigned char*, unsigned int);
  virtual int SendSocketData(int, const unsigned char*, unsigned int);
  virtual int SendSocketData(const std::vector<boost::asio::const_buffer>&);
  virtual int SendSocketData(int, const std::vector<boost::asio::const_buffer>&);

  std::uint8_t endpointFlag;
  std::vector<unsigned char> pending_;
  std::string endpointText;
  int socketId_;
};

// The host's own mutex: a POSIX mutex with lock and unlock.
class HostMutex {
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

class ZeqBacNetDevice : public ZeqSocketDevice {
 public:
  ZeqBacNetDevice();
  ~ZeqBacNetDevice() override;

  int Init(std::weak_ptr<ZeqController>, unsigned int, const Json::Value&) override;
  // The host's own operation, after the contract's slots.
  virtual int SubscribeCov(unsigned int);

  bool Send_Read_Property_Request_Address(BACnetObjectType, unsigned int, BACNET_PROPERTY_ID,
                                          unsigned int);
  bool Receive();

  std::array<char, 40> guardC_;
  std::uint32_t receivedValue;
  std::map<std::uint32_t, std::string> objectNames_;
  HostMutex bacnetMutex;
  std::weak_ptr<ZeqController> controller_;
  BACnetObjectType requestedType_;
  unsigned int requestedInstance_;
};

class Provider {
 public:
  virtual ~Provider();
  virtual ZeqVDevice* create() const = 0;
  std::string name_;
};

class ZeqSocketDeviceProvider : public Provider {
 public:
  ~ZeqSocketDeviceProvider() override;
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
