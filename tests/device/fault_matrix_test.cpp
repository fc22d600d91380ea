// Faults injected everywhere a cycle or a round can fail: a failed send and a failed answer at
// every point, and a host call that throws in each step of a round, on the sampling thread and on
// the thread that restores a cached record.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

#include "bacnet/codec.h"
#include "tests/support/probe_vornk.h"
#include "tests/support/rounds.h"
#include "tests/support/temp_work_dir.h"
#include "ttime.h"

using vornk_points::kPoints;
using vornk_points::Point;

namespace {

// Two sets of present values that differ at every point: binary points 0 and 1 swapped, analog
// points of opposite sign.
std::uint32_t presentValue(const Point& point, int set) {
  if (point.size == 1) return (point.instance + static_cast<std::uint32_t>(set)) % 2;
  return bacnet::floatBits((set == 0 ? 1.0f : -1.0f) *
                           (1000.0f + static_cast<float>(point.instance)));
}

// The bytes a point's slot holds after a successful read of presentValue(point, set).
Bytes slotOf(const Point& point, int set) {
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

class FaultMatrix : public testing::TestWithParam<Fault> {
 protected:
  void useValues(int set) {
    for (const Point& point : kPoints) {
      rig.bacnet->setValue(point.type, point.instance, presentValue(point, set));
    }
  }

  std::vector<std::string> runCycle() {
    return capturedLines([&] { rig.device->do_sample(); });
  }

  Rig rig;
};

}  // namespace

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
      const Bytes slot = slotOf(kPoints[j], set);
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

namespace {

// A step of a round whose host call throws, and the evaluation mode that reaches it.
struct ThrowingStep {
  std::string name;
  int mode;
};

const ThrowingStep kSteps[] = {
    {"get_ttime", 5},
    {"SendSP", 5},
    {"Reset", 5},
    {"CheckThreshold", 1},
    {"CheckAOReport", 1},
    {"CheckThresholdBool", 5},
    {"DoBatchCheckThreshold", 5},
    {"SaveDeviceHistory", 5},
};

std::atomic<bool> ttimeArmed{false};

void throwOnceFromTtime(boost::posix_time::ptime) {
  if (ttimeArmed.exchange(false)) throw std::runtime_error("host refused get_ttime");
}

// Makes the named host call throw std::runtime_error("host refused <name>") the first time it
// is made, and nothing after.
class ThrowOnce {
 public:
  ThrowOnce(RecordingServices& host, const std::string& name) {
    if (name == "get_ttime") {
      ttimeArmed = true;
      set_ttime_hook(&throwOnceFromTtime);
      return;
    }
    host.setHook([name, thrown = std::make_shared<std::atomic<bool>>(false)](ZeqVDevice&,
                                                                             const HostCall& call) {
      if (call.name == name && !thrown->exchange(true)) {
        throw std::runtime_error("host refused " + name);
      }
    });
  }
  ThrowOnce(const ThrowOnce&) = delete;
  ThrowOnce& operator=(const ThrowOnce&) = delete;
  ~ThrowOnce() {
    set_ttime_hook(nullptr);
    ttimeArmed = false;
  }
};

// A device whose every round evaluates in the step's mode: in mode 1 one configured signal with
// a due analog report rule, in mode 5 one upper band; the signal's value moves every round.
class ThrowingRound : public testing::Test {
 protected:
  void configure(const ThrowingStep& step) {
    rig = std::make_unique<Rig>(std::chrono::milliseconds(0));
    evaluateEveryRound(*rig->device);
    settings = evaluatingSettings(step.mode);
  }

  // The host calls of the rounds, without the settings' own.
  std::vector<std::string> roundCalls() const {
    auto names = rig->host->names();
    names.erase(std::remove(names.begin(), names.end(), "InitSetting"), names.end());
    return names;
  }

  // Whether another thread can take the round, record and threshold locks now.
  bool locksAreFree() {
    bool free = false;
    std::thread other([&] {
      ProbeVornk& device = *rig->device;
      std::unique_lock<std::recursive_timed_mutex> round(device.roundLock_, std::try_to_lock);
      std::unique_lock<std::mutex> record(device.recordLock_, std::try_to_lock);
      std::unique_lock<std::timed_mutex> threshold(device.thresholdLock_, std::try_to_lock);
      free = round && record && threshold;
    });
    other.join();
    return free;
  }

  TempWorkDir folder;
  std::unique_ptr<Rig> rig;
  Json::Value settings;
};

}  // namespace

// On the sampling thread, the error ends the round at the failing step and is written as one
// line; the thread holds no lock afterwards and its next round runs whole.
TEST_F(ThrowingRound, OnTheSamplingThreadEachStepIsOneLineAndTheNextRoundIsWhole) {
  folder.write("ini/vornk.ini", kOneSignalIni);
  for (const ThrowingStep& step : kSteps) {
    SCOPED_TRACE(step.name + " throws");
    configure(step);
    ThrowOnce fault(*rig->host, step.name);
    // The first cycle waits for the import, so that the first round already evaluates.
    std::promise<void> imported;
    std::shared_future<void> importDone = imported.get_future().share();
    rig->bacnet->setRequestHook(
        [importDone](BACnetObjectType, std::uint32_t) { importDone.wait(); });
    const std::size_t historyAfterNextRound = step.name == "SaveDeviceHistory" ? 2 : 1;
    const auto lines = capturedLines([&] {
      rig->device->InitSetting(settings);
      imported.set_value();
      EXPECT_TRUE(
          rig->host->waitFor("SaveDeviceHistory", historyAfterNextRound, std::chrono::seconds(30)));
      rig->device->stopSampling();
    });

    const std::string failureLine = "vornk: sampling cycle failed: host refused " + step.name;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), failureLine), 1);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) {
                              return line.find("sampling cycle failed") != std::string::npos;
                            }),
              1);
    // The failed round's calls (none when the time stamp failed), then a whole round's.
    std::vector<std::string> expected = roundCallOrderUpTo(step.mode, step.name);
    for (const std::string& call : roundCallOrder(step.mode)) expected.push_back(call);
    const auto calls = roundCalls();
    ASSERT_GE(calls.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + expected.size()), expected);
    EXPECT_TRUE(locksAreFree());
  }
}

// Restoring a cached record, the error reaches the caller unchanged after the round's steps up
// to the failing one; no lock stays taken and the next restore completes a whole round.
TEST_F(ThrowingRound, FromACacheRestoreEachStepReachesTheCallerAndTheNextRestoreIsWhole) {
  folder.write("ini/vornk.ini", kOneSignalIni);
  const Bytes cached(kRecordSize, 0x5A);
  for (const ThrowingStep& step : kSteps) {
    SCOPED_TRACE(step.name + " throws");
    configure(step);
    ThrowOnce fault(*rig->host, step.name);
    std::string error;
    bool restored = false;
    const auto lines = capturedLines([&] {
      rig->device->genericInitSetting(settings);
      try {
        rig->device->LoadFromCache(cached.data(), kRecordSize);
      } catch (const std::runtime_error& thrown) {
        error = thrown.what();
      }
      restored = rig->device->LoadFromCache(cached.data(), kRecordSize);
    });
    EXPECT_EQ(error, "host refused " + step.name);
    EXPECT_TRUE(restored);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "rvSize is 0"),
              step.name == "DoBatchCheckThreshold" || step.name == "SaveDeviceHistory" ? 2 : 1);
    std::vector<std::string> expected = roundCallOrderUpTo(step.mode, step.name);
    for (const std::string& call : roundCallOrder(step.mode)) expected.push_back(call);
    EXPECT_EQ(roundCalls(), expected);
    EXPECT_TRUE(locksAreFree());
    EXPECT_EQ(slice(rig->device->record(), 0, kStampOffset), slice(cached, 0, kStampOffset));
  }
}

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
