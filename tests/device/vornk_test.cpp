// The vornk device: its life (construction, settings, the sampling thread starting once and
// stopping promptly, a failing round that must not end sampling), one sampling cycle (the reads in
// table order, the record slots, the echoed lines), the faults that end a cycle early, calls back
// from inside its BACnet exchange, and deleting it from inside its own work.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <limits>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "bacnet/codec.h"
#include "tests/support/exposed_vornk.h"
#include "tests/support/process_state.h"
#include "tests/support/rounds.h"
#include "tests/support/watchdog.h"

using namespace vk::test;
using namespace vk::doubles;

using namespace vk::device;

namespace {

using vk::test::process_state::newThreads;
using vk::test::process_state::noThreadBeyond;
using vk::test::process_state::threads;

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

class SamplingCycle : public testing::Test {
 protected:
  std::vector<std::string> runCycle() {
    return capturedLines([&] { rig.device->do_sample(); });
  }

  Rig rig;
};

// The index of a point's value line among a cycle's lines: after the trace line, in reading order.
constexpr std::size_t lineOf(BACnetObjectType type, std::uint32_t instance) {
  return 1 + pointIndex(type, instance);
}

// The offset of a point's slot in the record.
constexpr std::size_t slotOf(BACnetObjectType type, std::uint32_t instance) {
  return pointOf(type, instance).recordOffset;
}

// Two sets of present values that differ at every point: binary points 0 and 1 swapped, analog
// points of opposite sign.
std::uint32_t presentValue(const Point& point, int set) {
  if (point.size == 1) return (point.instance + static_cast<std::uint32_t>(set)) % 2;
  return vk::bacnet::floatBits((set == 0 ? 1.0f : -1.0f) *
                               (1000.0f + static_cast<float>(point.instance)));
}

// The bytes a point's slot holds after a successful read of presentValue(point, set).
Bytes slotAfterRead(const Point& point, int set) {
  const std::uint32_t value = presentValue(point, set);
  Bytes bytes(point.size);
  std::memcpy(bytes.data(), &value, point.size);
  return bytes;
}

// Where two records first differ, named by the point whose slot holds that byte.
std::string firstDifference(const Bytes& actual, const Bytes& expected) {
  for (std::size_t offset = 0; offset < expected.size(); ++offset) {
    if (actual[offset] == expected[offset]) continue;
    std::string where = "record byte " + std::to_string(offset);
    for (const Point& point : kPoints) {
      if (offset >= point.recordOffset && offset < point.recordOffset + point.size) {
        where += " (point " + std::to_string(point.instance) + ")";
      }
    }
    return where;
  }
  return "no difference";
}

enum class Fault { send, answer };

class FaultMatrix : public SamplingCycle, public testing::WithParamInterface<Fault> {
 protected:
  void useValues(int set) {
    for (const Point& point : kPoints) {
      rig.bacnet->setValue(point.type, point.instance, presentValue(point, set));
    }
  }
};

}  // namespace

TEST(NewDevice, IsAnIdleVornkWithAZeroRecord) {
  const auto threadsBefore = threads();
  ExposedVornk device;
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
  EXPECT_EQ(rig.bacnet->requestCount(), vk::device::kPoints.size());
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
  ExposedVornk* device = rig.device.get();
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

TEST_F(SamplingCycle, ClosedGateWritesOnlyTheTraceLine) {
  rig.device->endpointText.clear();
  EXPECT_EQ(runCycle(), std::vector<std::string>{"vornk::RefreshStatus"});
  EXPECT_EQ(rig.bacnet->requestCount(), 0u);
  EXPECT_TRUE(rig.host->calls().empty());
}

TEST_F(SamplingCycle, CompleteCycleReadsEveryPointInOrderThenCompletesOneRound) {
  std::vector<std::pair<BACnetObjectType, std::uint32_t>> requests;
  rig.bacnet->setRequestHook([&](BACnetObjectType type, std::uint32_t instance) {
    requests.emplace_back(type, instance);
  });

  const auto lines = runCycle();

  ASSERT_EQ(requests.size(), kPoints.size());
  for (std::size_t i = 0; i < kPoints.size(); ++i) {
    EXPECT_EQ(requests[i], std::make_pair(kPoints[i].type, kPoints[i].instance)) << i;
  }
  ASSERT_EQ(lines.size(), 1u + kPoints.size() + 1u);
  EXPECT_EQ(lines.front(), "vornk::RefreshStatus");
  EXPECT_EQ(lines[lineOf(OBJECT_BINARY_INPUT, 10005)], "sim get 3 10005 value:1");
  EXPECT_EQ(lines[lineOf(OBJECT_BINARY_OUTPUT, 10095)], "sim get 4 10095 value:1");
  EXPECT_EQ(lines[lineOf(OBJECT_ANALOG_INPUT, 10365)], "sim get 0 10365 value:31.25");
  EXPECT_EQ(lines[lineOf(OBJECT_ANALOG_OUTPUT, 10407)], "sim get 1 10407 value:16.75");
  EXPECT_EQ(lines[lineOf(OBJECT_ANALOG_VALUE, 3000836)], "sim get 2 3000836 value:24");
  EXPECT_EQ(lines.back(), "rvSize is 0");
  EXPECT_EQ(rig.host->count("SendSP"), 1u);

  const Bytes record = rig.device->record();
  for (const auto& point : kPoints) {
    EXPECT_EQ(slice(record, point.recordOffset, point.size), defaultSlot(point)) << point.instance;
  }
}

TEST_F(SamplingCycle, BinaryValueLineAndLowByte) {
  rig.bacnet->setValue(OBJECT_BINARY_INPUT, 3000485, 1);
  rig.bacnet->setValue(OBJECT_BINARY_INPUT, 3000486, 257);
  rig.bacnet->setValue(OBJECT_BINARY_OUTPUT, 10104, 0x1FF);
  const auto lines = runCycle();

  EXPECT_EQ(lines[lineOf(OBJECT_BINARY_INPUT, 3000485)], "sim get 3 3000485 value:1");
  EXPECT_EQ(lines[lineOf(OBJECT_BINARY_INPUT, 3000486)], "sim get 3 3000486 value:1");
  EXPECT_EQ(lines[lineOf(OBJECT_BINARY_OUTPUT, 10104)], "sim get 4 10104 value:255");
  const Bytes record = rig.device->record();
  EXPECT_EQ(record[slotOf(OBJECT_BINARY_INPUT, 3000485)], 1);
  EXPECT_EQ(record[slotOf(OBJECT_BINARY_INPUT, 3000486)], 1);  // 257: only the low-order byte
  EXPECT_EQ(record[slotOf(OBJECT_BINARY_OUTPUT, 10104)], 0xFF);
}

TEST_F(SamplingCycle, AnalogBitsAreStoredUnchangedAndEchoedAsTheStreamWrites) {
  const std::uint32_t quietNan = 0x7FC00001u;
  const std::uint32_t negativeNan = 0xFFC00000u;
  rig.bacnet->setFloat(OBJECT_ANALOG_INPUT, 10365, 21.5f);
  rig.bacnet->setValue(OBJECT_ANALOG_INPUT, 10368, quietNan);
  rig.bacnet->setFloat(OBJECT_ANALOG_INPUT, 10416, std::numeric_limits<float>::infinity());
  rig.bacnet->setValue(OBJECT_ANALOG_INPUT, 10419, negativeNan);
  rig.bacnet->setFloat(OBJECT_ANALOG_OUTPUT, 10410, 1234567.0f);
  rig.bacnet->setFloat(OBJECT_ANALOG_VALUE, 3000835, 0.0001f);
  const auto lines = runCycle();

  EXPECT_EQ(lines[lineOf(OBJECT_ANALOG_INPUT, 10365)], "sim get 0 10365 value:21.5");
  EXPECT_EQ(lines[lineOf(OBJECT_ANALOG_INPUT, 10368)], "sim get 0 10368 value:nan");
  EXPECT_EQ(lines[lineOf(OBJECT_ANALOG_INPUT, 10416)], "sim get 0 10416 value:inf");
  EXPECT_EQ(lines[lineOf(OBJECT_ANALOG_INPUT, 10419)], "sim get 0 10419 value:-nan");
  EXPECT_EQ(lines[lineOf(OBJECT_ANALOG_OUTPUT, 10410)], "sim get 1 10410 value:1.23457e+06");
  EXPECT_EQ(lines[lineOf(OBJECT_ANALOG_VALUE, 3000835)], "sim get 2 3000835 value:0.0001");

  const Bytes record = rig.device->record();
  EXPECT_EQ(slice(record, slotOf(OBJECT_ANALOG_INPUT, 10365), 4), (Bytes{0x00, 0x00, 0xAC, 0x41}));
  EXPECT_EQ(slice(record, slotOf(OBJECT_ANALOG_INPUT, 10368), 4), (Bytes{0x01, 0x00, 0xC0, 0x7F}));
  EXPECT_EQ(slice(record, slotOf(OBJECT_ANALOG_INPUT, 10416), 4), (Bytes{0x00, 0x00, 0x80, 0x7F}));
  EXPECT_EQ(slice(record, slotOf(OBJECT_ANALOG_INPUT, 10419), 4), (Bytes{0x00, 0x00, 0xC0, 0xFF}));
}

TEST_F(SamplingCycle, FailedFirstSendEndsTheCycleWithTheRecordUnchanged) {
  rig.bacnet->failSend(OBJECT_BINARY_INPUT, 10005);
  EXPECT_EQ(runCycle(), (std::vector<std::string>{"vornk::RefreshStatus", "send failed"}));
  EXPECT_EQ(rig.device->record(), Bytes(kRecordSize, 0));
  EXPECT_EQ(rig.bacnet->requestCount(), 1u);
  EXPECT_TRUE(rig.host->calls().empty());
}

TEST_F(SamplingCycle, WithoutABacnetClientEveryCycleFailsHarmlessly) {
  ExposedVornk bare;
  bare.endpointText = "x";
  EXPECT_EQ(capturedLines([&] { bare.do_sample(); }),
            (std::vector<std::string>{"vornk::RefreshStatus", "send failed"}));
}

TEST_F(SamplingCycle, ValuesAreNeverServed) {
  auto expectNotReady = [&] {
    try {
      rig.device->Get_Value(3, "10005");
      ADD_FAILURE() << "Get_Value returned";
    } catch (const std::out_of_range& error) {
      EXPECT_STREQ(error.what(), "数据未就绪");
    }
  };
  expectNotReady();
  capturedLines([&] { rig.device->do_sample(); });
  expectNotReady();
}

// For every point: the cycle ends with exactly the failure's line after the value lines of the
// points before it, the record holds this cycle's values before the point and the previous ones
// from it on, no round is completed, and the next cycle reads every point from the first one
// and completes its round. Each recovering cycle leaves the previous values for the next point.
TEST_P(FaultMatrix, AtEveryPointTheCycleEndsThereAndTheNextStartsAgain) {
  const bool failSend = GetParam() == Fault::send;
  const std::string failureLine = failSend ? "send failed" : "receive failed";
  std::vector<std::uint32_t> requested;
  rig.bacnet->setRequestHook(
      [&](BACnetObjectType, std::uint32_t instance) { requested.push_back(instance); });
  useValues(1);
  ASSERT_EQ(runCycle().back(), "rvSize is 0");

  int failures = 0;
  for (std::size_t i = 0; i < kPoints.size() && failures < 3; ++i) {
    const Point& point = kPoints[i];
    SCOPED_TRACE(failureLine + " at point " + std::to_string(i) + ", instance " +
                 std::to_string(point.instance));
    const int set = static_cast<int>(i % 2);
    useValues(set);
    if (failSend) {
      rig.bacnet->failSend(point.type, point.instance);
    } else {
      rig.bacnet->failReceive(point.type, point.instance);
    }
    const Bytes before = rig.device->record();
    rig.host->clear();
    requested.clear();

    const auto lines = runCycle();

    Bytes expected = before;
    for (std::size_t j = 0; j < i; ++j) {
      const Bytes slot = slotAfterRead(kPoints[j], set);
      std::copy(slot.begin(), slot.end(), expected.begin() + kPoints[j].recordOffset);
    }
    const Bytes record = rig.device->record();
    EXPECT_TRUE(record == expected) << firstDifference(record, expected);
    ASSERT_EQ(lines.size(), i + 2);
    EXPECT_EQ(lines.front(), "vornk::RefreshStatus");
    EXPECT_EQ(lines.back(), failureLine);
    EXPECT_EQ(requested.size(), i + 1);
    EXPECT_TRUE(rig.host->calls().empty());

    rig.bacnet->clearFailures();
    requested.clear();
    const auto next = runCycle();
    ASSERT_EQ(requested.size(), kPoints.size());
    EXPECT_EQ(requested.front(), kPoints.front().instance);
    ASSERT_EQ(next.size(), kPoints.size() + 2);
    EXPECT_EQ(next.back(), "rvSize is 0");
    EXPECT_EQ(rig.host->count("SendSP"), 1u);
    // The failed cycle's value lines are the first lines of a complete cycle with its values.
    EXPECT_TRUE(std::equal(lines.begin(), lines.end() - 1, next.begin()));
    if (HasFailure()) ++failures;
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrix, testing::Values(Fault::send, Fault::answer),
                         [](const testing::TestParamInfo<Fault>& info) {
                           return info.param == Fault::send ? "FailedSend" : "FailedAnswer";
                         });

// A BACnet client that throws (a failing socket, say) ends the cycle at that point like a failed
// read, but with the error's line; the request lock is free again and the next cycle starts at
// the first point. A host error of another type than std::exception is one line as well.
TEST(ThrowingClient, EndsTheCycleWithOneLineAndTheNextStartsAtTheFirstPoint) {
  constexpr std::size_t kThrowing = 100;  // the index of the request that throws
  Rig rig(std::chrono::milliseconds(0));
  rig.device->b_mode_ = 0;  // no settings import
  std::mutex lock;
  std::vector<std::uint32_t> requested;
  rig.bacnet->setRequestHook([&](BACnetObjectType, std::uint32_t instance) {
    std::lock_guard<std::mutex> guard(lock);
    requested.push_back(instance);
    if (requested.size() == kThrowing + 1) throw std::runtime_error("socket closed");
  });
  bool hostThrown = false;
  rig.host->setHook([&hostThrown](ZeqVDevice&, const HostCall& call) {
    if (call.name == "Reset" && !hostThrown) {
      hostThrown = true;
      throw 42;
    }
  });
  const auto lines = capturedLines([&] {
    rig.device->InitSetting(Json::Value());
    EXPECT_TRUE(rig.host->waitFor("SaveDeviceHistory", 1, std::chrono::seconds(30)));
    rig.device->stopSampling();
  });

  EXPECT_EQ(std::count(lines.begin(), lines.end(), "vornk: sampling cycle failed: socket closed"),
            1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "vornk: sampling cycle failed: unknown error"),
            1);
  ASSERT_GE(requested.size(), kThrowing + 1 + kPoints.size());
  EXPECT_EQ(requested[kThrowing], kPoints[kThrowing].instance);
  EXPECT_EQ(requested[kThrowing + 1], kPoints[0].instance);
  EXPECT_TRUE(rig.device->bacnetMutex.try_lock());
  rig.device->bacnetMutex.unlock();
}

// From a host call of the cycle's BACnet exchange (the request or the answer), made while the
// cycle holds bacnetMutex, LoadFromCache and RoundDone would take the round lock under bacnetMutex
// and publish a half-sampled record, and InitSetting would take the threshold lock under it: each
// is refused, and the cycle's own round follows whole.
TEST(ExchangeCallBack, CallsFromInsideTheBacnetExchangeAreRefused) {
  Watchdog watchdog;
  Rig rig;
  const Bytes other(kRecordSize, 0x22);
  int restored = 0;
  std::vector<std::string> thrown;
  const vk::device::Point& first = vk::device::kPoints.front();
  std::promise<void> delivered;  // the cycle waits until the host has the settings
  std::future<void> settingsDelivered = delivered.get_future();
  const auto callBack = [&](BACnetObjectType type, std::uint32_t instance) {
    if (type != first.type || instance != first.instance) return;
    settingsDelivered.wait();
    restored += rig.device->LoadFromCache(other.data(), kRecordSize);
    rig.device->RoundDone();
    try {
      rig.device->InitSetting(evaluatingSettings(5));
    } catch (const std::logic_error& error) {
      thrown.push_back(error.what());
    }
  };
  rig.bacnet->setRequestHook(callBack);
  rig.bacnet->setAnswerHook(callBack);
  const auto lines = capturedLines([&] {
    watchdog.run("a cycle whose BACnet exchange calls back into the device", [&] {
      rig.device->InitSetting(Json::Value(Json::objectValue));
      delivered.set_value();
      EXPECT_TRUE(rig.host->waitFor("SaveDeviceHistory", 1, std::chrono::seconds(30)));
    });
  });
  const std::string why = " refused: called from inside the device's own BACnet exchange";
  EXPECT_EQ(restored, 0);
  EXPECT_EQ(thrown, std::vector<std::string>(2, "vornk: InitSetting" + why));
  for (const char* operation : {"vornk: LoadFromCache", "vornk: RoundDone"}) {
    EXPECT_EQ(std::count(lines.begin(), lines.end(), operation + why), 2);
  }
  EXPECT_EQ(rig.host->count("SendSP"), 1u);
  const std::vector<HostCall> calls = rig.host->calls();
  const Bytes published = std::find_if(calls.begin(), calls.end(), [](const HostCall& call) {
                            return call.name == "SendSP";
                          })->data;
  EXPECT_EQ(slice(published, first.recordOffset, first.size), defaultSlot(first));
  EXPECT_EQ(calls.back().data, published);
}

// Deleting a device from inside its own work cannot end well: the sampling thread cannot join
// itself, and a round would go on with a deleted device. One line names the misuse before the
// process ends.
TEST(DeviceDeletionDeathTest, FromInsideItsOwnWorkWritesOneLineAndEndsTheProcess) {
#ifdef VORNK_EMULATED
  GTEST_SKIP() << "death tests are unreliable under user-mode emulation";
#endif
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The module writes its lines to standard output; the death test reads standard error.
  const auto deleteIn = [](bool samplingThread) {
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    Rig* rig = new Rig(std::chrono::milliseconds(0));
    ExposedVornk* device = rig->device.release();
    rig->host->setHook([device](ZeqVDevice&, const HostCall& call) {
      if (call.name == "SendSP") delete device;
    });
    if (samplingThread) {
      device->InitSetting(Json::Value());
      rig->host->waitFor("SaveDeviceHistory", 1, std::chrono::seconds(30));
    } else {
      const Bytes cached(kRecordSize, 0);
      device->LoadFromCache(cached.data(), kRecordSize);
    }
  };
  Watchdog watchdog;
  watchdog.run("deleting a device from its own sampling thread", [&] {
    EXPECT_DEATH(deleteIn(true),
                 "vornk: deleted from its own sampling thread, which cannot join itself; ending "
                 "the process");
  });
  watchdog.run("deleting a device inside its own round", [&] {
    EXPECT_DEATH(deleteIn(false),
                 "vornk: deleted inside one of its own rounds; ending the process");
  });
}
