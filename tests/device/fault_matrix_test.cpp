// A host call that throws in each step of a round, on the sampling thread and on the thread that
// restores a cached record.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

#include "tests/support/probe_vornk.h"
#include "tests/support/rounds.h"
#include "tests/support/temp_work_dir.h"
#include "ttime.h"

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
