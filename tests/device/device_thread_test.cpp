// A device's life: construction, settings, the sampling thread starting once and stopping
// promptly, and a failing round that must not end sampling.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/probe_vornk.h"
#include "tests/support/process_state.h"
#include "tests/support/rounds.h"
#include "tests/support/watchdog.h"

namespace {

using process_state::newThreads;
using process_state::noThreadBeyond;
using process_state::threads;

constexpr auto kWait = std::chrono::seconds(30);

// One of the lines a sampling device writes, whole: the trace line, the queue size, or a value
// line of one of the two test devices.
bool isWholeLine(const std::string& line) {
  if (line == "vornk::RefreshStatus" || line == "rvSize is 0") return true;
  std::istringstream in(line);
  std::string endpoint, get, type, instance, value, rest;
  in >> endpoint >> get >> type >> instance >> value;
  return (endpoint == "first-device" || endpoint == "second-device") && get == "get" &&
         type.size() == 1 && type[0] >= '0' && type[0] <= '4' && !instance.empty() &&
         instance.find_first_not_of("0123456789") == std::string::npos &&
         value.rfind("value:", 0) == 0 && value.size() > 6 && !(in >> rest);
}

}  // namespace

TEST(NewDevice, IsAnIdleVornkWithAZeroRecord) {
  const auto threadsBefore = threads();
  ProbeVornk device;
  EXPECT_EQ(device.DeviceType(), "vornk");
  EXPECT_EQ(device.endpointFlag, 1);
  EXPECT_EQ(device.b_mode_, 1);
  EXPECT_EQ(device.record(), Bytes(kRecordSize, 0));
  EXPECT_FALSE(device.dataReady_);
  EXPECT_TRUE(newThreads(threadsBefore).empty());
  EXPECT_EQ(device.process_data(7, nullptr, 0), 0);
  unsigned char buffer[4] = {1, 2, 3, 4};
  EXPECT_EQ(device.process_data(-1, buffer, 4), 0);
  EXPECT_EQ(device.RefreshStatus(), 0);
}

// A device made the way the provider makes it pauses 5 seconds between cycles; tests choose
// their pause through the protected constructor.
TEST(NewDevice, PausesFiveSecondsBetweenCycles) {
  struct DefaultVornk : vornk {
    using vornk::pause;
  };
  EXPECT_EQ(DefaultVornk().pause(), std::chrono::seconds(5));
}

TEST(DeviceSettings, CopyTheDataIdentifierAndPassTheHostResultOn) {
  Rig rig(std::chrono::hours(1), "");  // gate closed: the thread reads nothing
  rig.host->setInitSettingResult(7);
  rig.device->dataId_ = 258;
  int result = 0;
  capturedLines([&] { result = rig.device->InitSetting(Json::Value(Json::objectValue)); });
  EXPECT_EQ(result, 7);
  EXPECT_EQ(slice(rig.device->record(), 0, 4), (Bytes{0x02, 0x01, 0x00, 0x00}));
  EXPECT_EQ(rig.host->names(), std::vector<std::string>{"InitSetting"});
}

TEST(SamplingThread, StartsOnceAndRunsTheSettingsAgainOnASecondCall) {
  Rig rig;
  std::mutex lock;
  std::set<std::thread::id> samplers;
  rig.bacnet->setRequestHook([&](BACnetObjectType, std::uint32_t) {
    std::lock_guard<std::mutex> guard(lock);
    samplers.insert(std::this_thread::get_id());
  });
  const auto threadsBefore = threads();
  capturedLines([&] {
    rig.device->InitSetting(Json::Value());
    rig.device->InitSetting(Json::Value());
    ASSERT_TRUE(rig.host->waitFor("SaveDeviceHistory", 1, kWait));
    EXPECT_EQ(newThreads(threadsBefore).size(), 1u);
    deleteWatched(rig.device, "deleting the device in its pause");
  });
  EXPECT_EQ(rig.host->count("InitSetting"), 2u);
  EXPECT_EQ(rig.host->count("SendSP"), 1u);
  EXPECT_EQ(rig.bacnet->requestCount(), vornk_points::kPoints.size());
  EXPECT_EQ(samplers.size(), 1u);
}

// With an hour's pause, the device can only be deleted promptly if the stop ends the pause.
TEST(SamplingThread, StopEndsThePause) {
  Rig rig;
  const auto threadsBefore = threads();
  capturedLines([&] {
    rig.device->InitSetting(Json::Value());
    ASSERT_TRUE(rig.host->waitFor("SaveDeviceHistory", 1, kWait));
    deleteWatched(rig.device, "deleting the device in its pause");
  });
  EXPECT_TRUE(noThreadBeyond(threadsBefore));
  EXPECT_EQ(rig.host->count("SendSP"), 1u);
}

TEST(SamplingThread, StopInTheMiddleOfACycleEndsItWithoutARound) {
  Rig rig;
  ProbeVornk* device = rig.device.get();
  device->b_mode_ = 0;  // no settings import: only the sampling thread prints
  std::promise<void> stopRequested;
  rig.bacnet->setRequestHook([device, &stopRequested](BACnetObjectType, std::uint32_t instance) {
    if (instance != 3000485) return;
    device->requestStop();
    stopRequested.set_value();
  });
  const auto lines = capturedLines([&] {
    rig.device->InitSetting(Json::Value());
    ASSERT_EQ(stopRequested.get_future().wait_for(kWait), std::future_status::ready);
    deleteWatched(rig.device, "deleting the device stopped in its first cycle");
  });
  // The point in flight completes; the next one is never requested.
  const std::size_t requested = pointIndex(OBJECT_BINARY_INPUT, 3000485) + 1;
  EXPECT_EQ(rig.bacnet->requestCount(), requested);
  EXPECT_EQ(lines.size(), 1u + requested);
  EXPECT_EQ(lines.back(), "sim get 3 3000485 value:1");
  EXPECT_EQ(rig.host->count("SendSP"), 0u);
}

TEST(SamplingThread, AFailingRoundIsReportedAndSamplingGoesOn) {
  Rig rig(std::chrono::milliseconds(1));
  std::atomic<bool> thrown{false};
  rig.host->setHook([&thrown](ZeqVDevice&, const HostCall& call) {
    if (call.name == "SendSP" && !thrown.exchange(true)) {
      throw std::runtime_error("publication refused");
    }
  });
  const auto lines = capturedLines([&] {
    rig.device->InitSetting(Json::Value());
    ASSERT_TRUE(rig.host->waitFor("SaveDeviceHistory", 1, kWait));
    deleteWatched(rig.device, "deleting a device sampling with a 1-ms pause");
  });
  EXPECT_EQ(
      std::count(lines.begin(), lines.end(), "vornk: sampling cycle failed: publication refused"),
      1);
  // The failed round stopped after publication; the next round ran whole.
  auto names = rig.host->names();
  names.erase(std::remove(names.begin(), names.end(), "InitSetting"), names.end());
  std::vector<std::string> expected = roundCallOrderUpTo(0, "SendSP");
  for (const std::string& call : roundCallOrder()) expected.push_back(call);
  ASSERT_GE(names.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + expected.size()), expected);
}

// Lines of several devices sampling at once never run into each other.
TEST(SamplingThread, LinesOfSeveralDevicesNeverInterleave) {
  Rig first(std::chrono::milliseconds(1), "first-device");
  Rig second(std::chrono::milliseconds(1), "second-device");
  first.device->b_mode_ = 0;  // no settings import: only the sampling threads print
  second.device->b_mode_ = 0;
  const auto lines = capturedLines([&] {
    first.device->InitSetting(Json::Value());
    second.device->InitSetting(Json::Value());
    ASSERT_TRUE(first.host->waitFor("SaveDeviceHistory", 3, kWait));
    ASSERT_TRUE(second.host->waitFor("SaveDeviceHistory", 3, kWait));
    deleteWatched(first.device, "deleting a device sampling with a 1-ms pause");
    deleteWatched(second.device, "deleting a device sampling with a 1-ms pause");
  });
  for (const std::string& line : lines) {
    EXPECT_TRUE(isWholeLine(line)) << line;
  }
}
