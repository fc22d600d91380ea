// The foreign rendering's host, as little of it as a module needs: its ReadProperty requests are
// answered at once with each point's known value, and what a round publishes and stores is kept
// for the program that checks the module.
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include "host_framework.h"

namespace {

std::mutex recordLock;
std::condition_variable recordStored;
std::vector<vk::foreign_host::Request> requestLog;
std::vector<unsigned char> publishedRecord;
std::vector<unsigned char> storedRecord;

}  // namespace

namespace vk::foreign_host {

std::uint32_t answerFor(BACnetObjectType type, unsigned int instance) {
  const auto kind = static_cast<unsigned int>(type);
  if (kind >= 3) return (instance * 7 + kind) & 0xFFu;  // binary: an enumerated value
  const float value = static_cast<float>(instance % 100000) / 8.0f + static_cast<float>(kind);
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

std::vector<Request> requests() {
  std::lock_guard<std::mutex> lock(recordLock);
  return requestLog;
}

std::vector<unsigned char> published() {
  std::lock_guard<std::mutex> lock(recordLock);
  return publishedRecord;
}

std::vector<unsigned char> stored() {
  std::lock_guard<std::mutex> lock(recordLock);
  return storedRecord;
}

bool waitForStored(int seconds) {
  std::unique_lock<std::mutex> lock(recordLock);
  return recordStored.wait_for(lock, std::chrono::seconds(seconds),
                               [] { return !storedRecord.empty(); });
}

}  // namespace vk::foreign_host

ttime get_ttime(boost::posix_time::ptime time) {
  ttime stamp{};
  if (time.is_special()) return stamp;
  const auto date = time.date();
  const auto clock = time.time_of_day();
  stamp.fields[0] = static_cast<std::uint8_t>(date.year() - 2000);
  stamp.fields[1] = static_cast<std::uint8_t>(date.month());
  stamp.fields[2] = static_cast<std::uint8_t>(date.day());
  stamp.fields[3] = static_cast<std::uint8_t>(clock.hours());
  stamp.fields[4] = static_cast<std::uint8_t>(clock.minutes());
  stamp.fields[5] = static_cast<std::uint8_t>(clock.seconds());
  stamp.fields[6] = 1;
  return stamp;
}

ZeqController::~ZeqController() = default;

VDeviceInterface::VDeviceInterface() : useControllerDb_(false), dataId_(0) {
  guardA_.fill(vk::foreign_host::kGuard);
}

VDeviceInterface::~VDeviceInterface() = default;

float VDeviceInterface::Get_Value(unsigned int, const std::string&) const {
  throw std::out_of_range("no value");
}

bool VDeviceInterface::LoadFromCache(const std::string& cached) {
  return LoadFromCache(reinterpret_cast<const unsigned char*>(cached.data()),
                       static_cast<int>(cached.size()));
}

bool VDeviceInterface::LoadFromCache(const unsigned char*, int) { return false; }
vk::foreign_host::DataIdType VDeviceInterface::DataId() const { return dataId_; }
std::string VDeviceInterface::DeviceType() const { return deviceType_; }
int VDeviceInterface::DeviceIoControl(int, const void*, int, void*, int, int& returned) {
  returned = 0;
  return 0;
}
void VDeviceInterface::RoundDone() {}
bool VDeviceInterface::UseControllerDb() { return useControllerDb_; }
void VDeviceInterface::Reset() {}
int VDeviceInterface::InitV(ZeqVDevice*, unsigned int dataId, const Json::Value&) {
  dataId_ = dataId;
  return 1;
}
int VDeviceInterface::Init(std::weak_ptr<ZeqController>, unsigned int dataId, const Json::Value&) {
  dataId_ = dataId;
  return 1;
}
vk::foreign_host::SettingResult VDeviceInterface::InitSetting(const Json::Value&) { return false; }
bool VDeviceInterface::IsSupportDevice(const std::string& type) const {
  return type == deviceType_;
}
std::shared_ptr<VDeviceInterface> VDeviceInterface::GetChildVDevice(unsigned int) { return {}; }
std::vector<std::shared_ptr<VDeviceInterface>> VDeviceInterface::GetAllChildVDevices() {
  return {};
}

ZeqVDevice::ZeqVDevice() : checkResult_(false), roundState_(0), dataReady_(false) {
  std::memset(guardB_.data(), vk::foreign_host::kGuard, sizeof guardB_);
}
ZeqVDevice::~ZeqVDevice() = default;
void ZeqVDevice::Reset() {}
vk::foreign_host::SettingResult ZeqVDevice::InitSetting(const Json::Value&) { return true; }

int ZeqVDevice::SendSP(int, const unsigned char* data, unsigned int length, bool) {
  std::lock_guard<std::mutex> lock(recordLock);
  publishedRecord.assign(data, data + length);
  return 1;
}

int ZeqVDevice::SendDelayData(int) { return 0; }
int ZeqVDevice::SendDoData(int, char) { return 0; }
int ZeqVDevice::ReadDi(int) { return 0; }
int ZeqVDevice::ReadAi(int) { return 0; }
double ZeqVDevice::Get_SP_Value(unsigned int, const std::string&) { return 0; }
void ZeqVDevice::CheckThreshold(const std::string&, const std::string&, const float&, int) {}
void ZeqVDevice::CheckThresholdBool(int, const std::string&, const std::string&, const std::string&,
                                    const std::string&, bool, unsigned short) {}
void ZeqVDevice::CheckAOReport(const std::string&, float) {}
int ZeqVDevice::DoBatchCheckThreshold(const std::vector<rule_value>&) { return 2; }

void ZeqVDevice::SaveDeviceHistory(const unsigned char* data, unsigned int length) {
  {
    std::lock_guard<std::mutex> lock(recordLock);
    storedRecord.assign(data, data + length);
  }
  recordStored.notify_all();
}

ZeqSocketDevice::ZeqSocketDevice() : endpointFlag(0), socketId_(-1) {}
ZeqSocketDevice::~ZeqSocketDevice() = default;
int ZeqSocketDevice::process(int socket, unsigned char* data, int length) {
  return static_cast<int>(process_data(socket, data, length));
}
int ZeqSocketDevice::OnConnected(int socket) {
  socketId_ = socket;
  return 0;
}
vk::foreign_host::StatusResult ZeqSocketDevice::RefreshStatus() { return true; }
int ZeqSocketDevice::StartSocket(const std::string&, unsigned short) { return -1; }
int ZeqSocketDevice::CloseSocket(int) { return 0; }
int ZeqSocketDevice::SendSocketData(const unsigned char* data, unsigned int length) {
  return SendSocketData(socketId_, data, length);
}
int ZeqSocketDevice::SendSocketData(int, const unsigned char*, unsigned int) { return 0; }
int ZeqSocketDevice::SendSocketData(const std::vector<boost::asio::const_buffer>& buffers) {
  return SendSocketData(socketId_, buffers);
}
int ZeqSocketDevice::SendSocketData(int, const std::vector<boost::asio::const_buffer>&) {
  return 0;
}

HostMutex::HostMutex() { pthread_mutex_init(&mutex_, nullptr); }
HostMutex::~HostMutex() { pthread_mutex_destroy(&mutex_); }
void HostMutex::lock() { pthread_mutex_lock(&mutex_); }
void HostMutex::unlock() { pthread_mutex_unlock(&mutex_); }

ZeqBacNetDevice::ZeqBacNetDevice()
    : receivedValue(0), requestedType_(BACnetObjectType::kAnalogIn), requestedInstance_(0) {
  guardC_.fill(static_cast<char>(vk::foreign_host::kGuard));
}
ZeqBacNetDevice::~ZeqBacNetDevice() = default;

int ZeqBacNetDevice::Init(std::weak_ptr<ZeqController> controller, unsigned int dataId,
                          const Json::Value&) {
  controller_ = std::move(controller);
  dataId_ = dataId;
  return 1;
}

int ZeqBacNetDevice::SubscribeCov(unsigned int) { return 0; }

vk::foreign_host::BacnetResult ZeqBacNetDevice::Send_Read_Property_Request_Address(
    BACnetObjectType type, unsigned int instance, BACNET_PROPERTY_ID property,
    unsigned int arrayIndex) {
  if (property != PROP_ID_PRESENT_VALUE || arrayIndex != BACNET_ARRAY_ALL) return false;
  requestedType_ = type;
  requestedInstance_ = instance;
  std::lock_guard<std::mutex> lock(recordLock);
  requestLog.push_back({type, instance});
  return true;
}

vk::foreign_host::BacnetResult ZeqBacNetDevice::Receive() {
  const std::uint32_t answer = vk::foreign_host::answerFor(requestedType_, requestedInstance_);
  std::memcpy(&receivedValue, &answer, sizeof receivedValue);
  return true;
}

Provider::~Provider() = default;
ZeqSocketDeviceProvider::~ZeqSocketDeviceProvider() = default;
