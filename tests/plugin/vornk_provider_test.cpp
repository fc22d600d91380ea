// vornk.so as the host loads it, through dlopen and get_providers only: one new provider per call,
// devices that outlive the providers, and shutdown and reload (devices deleted anywhere in a cycle
// or a pause and the module unloaded, many times, leaving no thread and no file descriptor).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <memory>
#include <random>
#include <typeinfo>
#include <vector>

#include "doubles/in_process_device.h"
#include "doubles/recording_services.h"
#include "provider.h"
#include "tests/support/exposed_vornk.h"
#include "tests/support/process_state.h"
#include "tests/support/rounds.h"
#include "tests/support/temp_work_dir.h"
#include "tests/support/watchdog.h"
#include "zeq_bacnet_device.h"

using namespace vk::test;
using namespace vk::doubles;

namespace {

class LoadedModule : public testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen(VORNK_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
    getProviders_ = reinterpret_cast<GetProvidersFunction>(dlsym(handle_, "get_providers"));
    ASSERT_NE(getProviders_, nullptr) << dlerror();
  }
  void TearDown() override {
    if (handle_ != nullptr) dlclose(handle_);
  }

  void* handle_ = nullptr;
  GetProvidersFunction getProviders_ = nullptr;
};

constexpr int kLoads = 20;
constexpr int kDevicesPerLoad = 3;
constexpr auto kWait = std::chrono::seconds(30);

// One device of the loaded module, and where to delete it: after the request with that number
// (one per point: in the middle of the first cycle), or after its first round (kInThePause: in
// the 5-second pause), or (0) as soon as its settings have been delivered.
struct LoadedDevice {
  std::unique_ptr<VDeviceInterface> device;
  std::shared_ptr<RecordingServices> host = std::make_shared<RecordingServices>();
  std::shared_ptr<InProcessDevice> bacnet = std::make_shared<InProcessDevice>();
  unsigned deleteAfter = 0;
  std::promise<void> reached;
  std::atomic<unsigned> requests{0};
};

constexpr auto kInThePause = static_cast<unsigned>(vk::device::kPoints.size() + 1);

// Settings by device: mode 1 reading ./ini/vornk.ini, mode 5, and mode 1 reading ./ini/102.ini,
// which the reader rejects.
const char* const kSettings[] = {
    R"({"appSetting": {"b_mode": 1}})",
    R"({"appSetting": {"b_mode": 5}, "thresholdSetting": {"a": {"ID": "S1", "SignalName": "t1",
        "UpValue": 30, "UpReconverValue": 28, "UpAlarmLevel": 2}}})",
    R"({"appSetting": {"b_mode": 1}})",
};

}  // namespace

TEST_F(LoadedModule, OffersOneNewProviderPerCall) {
  auto first = getProviders_();
  auto second = getProviders_();
  ASSERT_EQ(first.size(), 1u);
  ASSERT_EQ(second.size(), 1u);
  ASSERT_NE(first[0], nullptr);
  EXPECT_NE(first[0], second[0]);
  EXPECT_STREQ(typeid(*first[0]).name(), "13vornkProvider");
  EXPECT_NE(dynamic_cast<ZeqSocketDeviceProvider*>(first[0].get()), nullptr);
}

TEST_F(LoadedModule, CreatesIndependentDevicesThatOutliveTheProviders) {
  std::unique_ptr<VDeviceInterface> a;
  std::unique_ptr<VDeviceInterface> b;
  {
    auto providers = getProviders_();
    a.reset(providers[0]->create());
    b.reset(providers[0]->create());
  }
  ASSERT_NE(a, nullptr);
  ASSERT_NE(a, b);
  EXPECT_EQ(a->DeviceType(), "vornk");
  EXPECT_EQ(b->DeviceType(), "vornk");

  // Only the first device is configured and sampled; the second stays untouched.
  auto* device = dynamic_cast<ZeqBacNetDevice*>(a.get());
  ASSERT_NE(device, nullptr);
  auto host = std::make_shared<RecordingServices>();
  auto otherHost = std::make_shared<RecordingServices>();
  device->AttachHostServices(host);
  device->AttachBacnetClient(std::make_shared<InProcessDevice>());
  dynamic_cast<ZeqVDevice&>(*b).AttachHostServices(otherHost);
  device->endpointText = "sim";
  device->Init({}, 4242, Json::Value());

  testing::internal::CaptureStdout();
  device->InitSetting(Json::Value(Json::objectValue));
  const bool published = host->waitFor("SaveDeviceHistory", 1, std::chrono::seconds(30));
  deleteWatched(a, "deleting the device in its pause");
  testing::internal::GetCapturedStdout();

  ASSERT_TRUE(published);
  Bytes data;
  for (const HostCall& call : host->calls()) {
    if (call.name == "SendSP") data = call.data;
  }
  ASSERT_EQ(data.size(), kRecordSize);
  EXPECT_EQ(data[0] | data[1] << 8, 4242);
  EXPECT_TRUE(otherHost->calls().empty());
  EXPECT_THROW(b->Get_Value(0, ""), std::out_of_range);
}

TEST(ShutdownAndReload, DevicesDeletedInCyclesAndPausesThenTheModuleUnloadedLeaveNothing) {
  const auto threadsBefore = vk::test::process_state::threads();
  std::mt19937 random(6);  // fixed, so that a failure repeats
  std::uniform_int_distribution<unsigned> where(0, 5);
  std::uniform_int_distribution<unsigned> request(1, kInThePause - 1);
  const auto deletionPoint = [&] {
    const unsigned choice = where(random);
    return choice == 0 ? 0 : choice <= 2 ? kInThePause : request(random);
  };
  TempWorkDir folder;
  folder.write("ini/vornk.ini", "[AI]\nt1=A0100001,one\n[ALARM]\na1=B01\n");
  folder.write("ini/102.ini", "[AI\nt1=A0100001\n");

  const auto descriptorsBefore = vk::test::process_state::fileDescriptors();
  testing::internal::CaptureStdout();
  for (int load = 0; load < kLoads && !HasFailure(); ++load) {
    SCOPED_TRACE("load " + std::to_string(load));
    void* module = dlopen(VORNK_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    const auto getProviders =
        reinterpret_cast<GetProvidersFunction>(dlsym(module, "get_providers"));
    ASSERT_NE(getProviders, nullptr) << dlerror();

    std::vector<std::unique_ptr<LoadedDevice>> devices;
    {
      auto providers = getProviders();
      for (int i = 0; i < kDevicesPerLoad; ++i) {
        auto loaded = std::make_unique<LoadedDevice>();
        loaded->device.reset(providers[0]->create());
        auto& device = dynamic_cast<ZeqBacNetDevice&>(*loaded->device);
        device.AttachHostServices(loaded->host);
        device.AttachBacnetClient(loaded->bacnet);
        device.endpointText = "sim";
        device.Init({}, 100u + static_cast<unsigned>(i), Json::Value());
        loaded->deleteAfter = deletionPoint();
        LoadedDevice* state = loaded.get();
        loaded->bacnet->setRequestHook([state](BACnetObjectType, std::uint32_t) {
          if (++state->requests == state->deleteAfter) state->reached.set_value();
        });
        devices.push_back(std::move(loaded));
      }
    }
    for (int i = 0; i < kDevicesPerLoad; ++i) {
      const Json::Value settings = parseJson(kSettings[i]);
      if (i == 2) {
        EXPECT_ANY_THROW(devices[i]->device->InitSetting(settings));
      } else {
        devices[i]->device->InitSetting(settings);
      }
    }

    std::shuffle(devices.begin(), devices.end(), random);
    for (auto& loaded : devices) {
      SCOPED_TRACE("deleted after " + std::to_string(loaded->deleteAfter));
      if (loaded->deleteAfter == kInThePause) {
        EXPECT_TRUE(loaded->host->waitFor("SaveDeviceHistory", 1, kWait));
      } else if (loaded->deleteAfter > 0) {
        EXPECT_EQ(loaded->reached.get_future().wait_for(kWait), std::future_status::ready);
      }
      deleteWatched(loaded->device, loaded->deleteAfter == kInThePause
                                        ? "deleting a device in its pause"
                                        : "deleting a device in its first cycle");
    }
    devices.clear();

    EXPECT_EQ(dlclose(module), 0) << dlerror();
    if (void* still = dlopen(VORNK_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD)) {
      ADD_FAILURE() << "vornk.so stayed loaded";
      dlclose(still);
    }
  }
  testing::internal::GetCapturedStdout();

  EXPECT_TRUE(vk::test::process_state::noThreadBeyond(threadsBefore));
  EXPECT_EQ(vk::test::process_state::fileDescriptors(), descriptorsBefore);
}
