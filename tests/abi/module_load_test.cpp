// vornk.so as the host loads it: through dlopen and get_providers only.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <typeinfo>
#include <vector>

#include "doubles/recording_services.h"
#include "doubles/simulated_device.h"
#include "provider.h"
#include "tests/support/probe_vornk.h"
#include "tests/support/watchdog.h"
#include "zeq_bacnet_device.h"

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
  device->AttachBacnetClient(std::make_shared<SimulatedBacnetDevice>());
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
