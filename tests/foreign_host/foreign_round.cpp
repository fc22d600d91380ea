// Loads vornk.so built against the foreign rendering, as that host would: through dlopen and
// get_providers. One device samples one cycle and completes its round: the record it publishes
// and stores holds every point's answer at its offset, the data identifier and a fresh stamp;
// the requests came in the point table's order; the host's fields the round sets are set, and
// the host's own members around them untouched. Deleting the device, in its pause, returns at
// once. Prints what failed and exits 1, or one line and exits 0.
// Usage: foreign_round MODULE
#include <dlfcn.h>

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "device/point_table.h"
#include "host_framework.h"

// The host's own view of a device's fields, as every class of the rendering allows it.
struct vk::foreign_host::Inspector {
  static bool endpointFlagSet(const ZeqSocketDevice& device) { return device.endpointFlag == 1; }
  static void setEndpoint(ZeqSocketDevice& device, const char* text) { device.endpointText = text; }
  static const boost::posix_time::ptime& roundTime(const ZeqVDevice& device) {
    return device.roundTime_;
  }
  static bool roundFieldsSet(const ZeqVDevice& device) {
    return device.dataReady_ && device.roundState_ == 1 && device.checkResult_;
  }
  static bool guardsKept(const ZeqBacNetDevice& device) {
    return guarded(device.guardA_) && guarded(device.guardB_) && guarded(device.guardC_);
  }

 private:
  template <typename Array>
  static bool guarded(const Array& guard) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(guard.data());
    for (std::size_t i = 0; i < sizeof guard; ++i) {
      if (bytes[i] != kGuard) return false;
    }
    return true;
  }
};

namespace {

using vk::foreign_host::Inspector;

int failures = 0;

void expect(bool holds, const std::string& what) {
  if (holds) return;
  std::fprintf(stderr, "foreign_round: %s\n", what.c_str());
  ++failures;
}

// The record as the device should have published it, stamp aside.
void checkRecord(const std::vector<unsigned char>& record, const char* which) {
  const std::string name = which;
  if (record.size() != sizeof(vornk_Data_t)) {
    expect(false, name + " record has " + std::to_string(record.size()) + " bytes");
    return;
  }
  expect(vk::device::recordDataId(record.data()) == 4242, name + " record's data_id");
  for (const vk::device::Point& point : vk::device::kPoints) {
    const std::uint32_t answer = vk::foreign_host::answerFor(point.type, point.instance);
    if (std::memcmp(record.data() + point.recordOffset, &answer, point.size) != 0) {
      expect(false, name + " record's slot of point " + std::to_string(point.instance));
    }
  }
}

// Runs f; ends the process when it has not returned within the limit.
template <typename F>
void within(std::chrono::seconds limit, const char* what, F f) {
  std::mutex lock;
  std::condition_variable done;
  bool finished = false;
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> guard(lock);
    if (!done.wait_for(guard, limit, [&] { return finished; })) {
      std::fprintf(stderr, "foreign_round: %s did not return within %lld s\n", what,
                   static_cast<long long>(limit.count()));
      std::_Exit(1);
    }
  });
  f();
  {
    std::lock_guard<std::mutex> guard(lock);
    finished = true;
  }
  done.notify_all();
  watchdog.join();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: foreign_round MODULE\n");
    return 2;
  }
  void* module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    std::fprintf(stderr, "foreign_round: %s\n", dlerror());
    return 1;
  }
  using GetProviders = std::vector<std::shared_ptr<Provider>> (*)();
  const auto getProviders = reinterpret_cast<GetProviders>(dlsym(module, "get_providers"));
  if (getProviders == nullptr) {
    std::fprintf(stderr, "foreign_round: no get_providers\n");
    return 1;
  }

  // The host drives a device through its interface, and reads its fields as the host's own.
  VDeviceInterface* device = getProviders().at(0)->create();
  auto* bacnet = dynamic_cast<ZeqBacNetDevice*>(device);
  if (bacnet == nullptr) {
    std::fprintf(stderr, "foreign_round: create() gave no BACnet device\n");
    return 1;
  }
  expect(device->DeviceType() == "vornk", "DeviceType() is " + device->DeviceType());
  expect(Inspector::endpointFlagSet(*bacnet), "endpointFlag is not 1");
  device->Init({}, 4242, Json::Value());
  Inspector::setEndpoint(*bacnet, "foreign");

  const auto before = boost::posix_time::second_clock::local_time();
  expect(device->InitSetting(Json::Value(Json::objectValue)),
         "InitSetting did not pass on the host's result");
  if (!vk::foreign_host::waitForStored(30)) {
    std::fprintf(stderr, "foreign_round: no record stored within 30 s\n");
    return 1;
  }

  const std::vector<vk::foreign_host::Request> requests = vk::foreign_host::requests();
  expect(requests.size() == vk::device::kPoints.size(),
         std::to_string(requests.size()) + " requests");
  for (std::size_t i = 0; i < requests.size() && i < vk::device::kPoints.size(); ++i) {
    const vk::device::Point& point = vk::device::kPoints[i];
    if (requests[i].type != point.type || requests[i].instance != point.instance) {
      expect(false, "request " + std::to_string(i) + " is not for point " +
                        std::to_string(point.instance));
    }
  }

  const std::vector<unsigned char> published = vk::foreign_host::published();
  checkRecord(published, "published");
  expect(published == vk::foreign_host::stored(),
         "the stored record differs from the published one");
  const boost::posix_time::ptime& roundTime = Inspector::roundTime(*bacnet);
  expect(!roundTime.is_special() && roundTime >= before, "roundTime_ is not the round's time");
  const ttime stamp = get_ttime(roundTime);
  expect(published.size() == sizeof(vornk_Data_t) &&
             std::memcmp(published.data() + offsetof(vornk_Data_t, stamp), &stamp, 7) == 0,
         "the record's stamp is not the round's");
  expect(Inspector::roundFieldsSet(*bacnet), "the round's host fields are not set");
  expect(Inspector::guardsKept(*bacnet), "the host's own members were overwritten");

  // The device waits out its pause now: deleting it stops the pause at once.
  within(std::chrono::seconds(4), "deleting the device", [&] { delete device; });
  dlclose(module);
  if (failures != 0) return 1;
  std::printf(
      "foreign host: one cycle of %zu requests in table order, the record published and "
      "stored whole, the device deleted in its pause\n",
      requests.size());
  return 0;
}
