// Host calls of a round that call back into the device they were made for, from the same thread.
// What would relock a lock the thread holds or change tables the round is walking is refused
// loudly; everything else is served. A call from another thread that the round waits for gives up
// after the bound. A call that hangs instead is ended and named by the watchdog.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <thread>

#include "tests/support/exposed_vornk.h"
#include "tests/support/rounds.h"
#include "tests/support/temp_work_dir.h"
#include "tests/support/watchdog.h"

using namespace vk::test;
using namespace vk::doubles;

namespace {

const char kInitSettingRefused[] =
    "vornk: InitSetting refused: called from inside the device's own threshold evaluation";
const char kLoadFromCacheRefused[] =
    "vornk: LoadFromCache refused: called from inside one of the device's own rounds";
const char kRoundDoneRefused[] =
    "vornk: RoundDone refused: called from inside one of the device's own rounds";
constexpr auto kShortWait = std::chrono::milliseconds(100);  // instead of 10 s

// A device whose cached rounds make every host call of their mode: in mode 1 one configured
// signal with a due analog report rule, in mode 5 one upper band that is crossed.
class CallBack : public testing::Test {
 protected:
  void configure(int mode) {
    folder.write("ini/vornk.ini", kOneSignalIni);
    evaluateEveryRound(*rig.device);
    capturedLines([&] { rig.device->genericInitSetting(evaluatingSettings(mode)); });
    rig.host->clear();
  }

  // Completes a cached round in which each host call of that name runs action; returns the
  // lines the round wrote.
  std::vector<std::string> roundCalling(const std::string& name, std::function<void()> action) {
    rig.host->setHook([name, action](ZeqVDevice&, const HostCall& call) {
      if (call.name == name) action();
    });
    return capturedLines([&] {
      watchdog.run("a cached round whose host calls call back into the device",
                   [&] { EXPECT_TRUE(rig.device->LoadFromCache(cached.data(), kRecordSize)); });
    });
  }

  Watchdog watchdog;
  TempWorkDir folder;
  Rig rig;
  const Bytes cached = Bytes(kRecordSize, 0x11);
};

struct Step {
  const char* call;
  int mode;
};

}  // namespace

// From a host call of the evaluation, InitSetting would relock the threshold lock the thread
// holds: it throws before it changes anything, and the round goes on whole.
TEST_F(CallBack, InitSettingFromTheEvaluationThrowsAndChangesNothing) {
  for (const Step step :
       {Step{"CheckThreshold", 1}, Step{"CheckAOReport", 1}, Step{"CheckThresholdBool", 5}}) {
    SCOPED_TRACE(step.call);
    configure(step.mode);
    const Json::Value otherMode = evaluatingSettings(step.mode == 1 ? 5 : 1);
    std::string refusal;
    roundCalling(step.call, [&] {
      try {
        rig.device->InitSetting(otherMode);
      } catch (const std::logic_error& error) {
        refusal = error.what();
      }
    });
    EXPECT_EQ(refusal, kInitSettingRefused);
    EXPECT_EQ(rig.device->b_mode_, step.mode);
    EXPECT_EQ(rig.host->names(), roundCallOrder(step.mode));  // no InitSetting reached the host
    EXPECT_EQ(rig.host->calls().back().data, rig.host->calls().front().data);
  }
}

// From any host call of a round, LoadFromCache and RoundDone would nest a round inside the round:
// each writes one line (LoadFromCache returns false), and the round publishes and stores its own
// record once.
TEST_F(CallBack, ARoundFromAnyStepOfARoundIsRefusedWithOneLine) {
  const Bytes other(kRecordSize, 0x22);
  for (const int mode : {1, 5}) {
    for (const std::string& call : roundCallOrder(mode)) {
      SCOPED_TRACE(call + " in mode " + std::to_string(mode));
      configure(mode);
      bool restored = true;
      const auto lines = roundCalling(call, [&] {
        restored = rig.device->LoadFromCache(other.data(), kRecordSize);
        rig.device->RoundDone();
      });
      EXPECT_FALSE(restored);
      EXPECT_EQ(lines.size(), 3u);
      EXPECT_EQ(std::count(lines.begin(), lines.end(), kLoadFromCacheRefused), 1);
      EXPECT_EQ(std::count(lines.begin(), lines.end(), kRoundDoneRefused), 1);
      EXPECT_EQ(std::count(lines.begin(), lines.end(), "rvSize is 0"), 1);
      EXPECT_EQ(rig.host->names(), roundCallOrder(mode));
      EXPECT_EQ(slice(rig.host->calls().front().data, 0, kStampOffset),
                slice(cached, 0, kStampOffset));
      EXPECT_EQ(slice(rig.device->record(), 0, kStampOffset), slice(cached, 0, kStampOffset));
    }
  }
}

// Calls that need no lock the thread holds are served: settings from a host call outside the
// evaluation, and a cached round of another device from inside this device's round.
TEST_F(CallBack, OtherCallsFromInsideARoundAreServed) {
  configure(1);
  Rig second;
  bool restored = false;
  roundCalling("SendSP", [&] {
    EXPECT_EQ(rig.device->genericInitSetting(evaluatingSettings(5)), 1);
    restored = second.device->LoadFromCache(cached.data(), kRecordSize);
  });
  EXPECT_TRUE(restored);
  EXPECT_EQ(rig.device->b_mode_, 5);
  EXPECT_EQ(second.host->count("SaveDeviceHistory"), 1u);
}

// A host call that waits for another host thread, which meanwhile calls into the same device:
// that thread waits for the round lock or the threshold lock for the bound alone, then is refused
// with one line (InitSetting also throws it, having changed nothing), and the round goes on whole.
TEST_F(CallBack, ACallFromAThreadTheRoundWaitsForGivesUpAfterTheBound) {
  struct Case {
    Step step;
    const char* operation;
    const char* lock;
  };
  const Bytes other(kRecordSize, 0x22);
  for (const Case& c :
       {Case{{"SendSP", 1}, "LoadFromCache", "round"}, Case{{"SendSP", 1}, "RoundDone", "round"},
        Case{{"CheckThreshold", 1}, "InitSetting", "threshold"},
        Case{{"CheckThresholdBool", 5}, "InitSetting", "threshold"}}) {
    const std::string operation = c.operation;
    SCOPED_TRACE(operation + " from another thread, waited for in " + c.step.call);
    configure(c.step.mode);
    rig.device->lockWait_ = kShortWait;
    bool restored = true;
    std::string thrown;
    const auto lines = roundCalling(c.step.call, [&] {
      std::thread([&] {
        if (operation == "LoadFromCache") {
          restored = rig.device->LoadFromCache(other.data(), kRecordSize);
        } else if (operation == "RoundDone") {
          rig.device->RoundDone();
        } else {
          try {
            rig.device->genericInitSetting(evaluatingSettings(c.step.mode == 1 ? 5 : 1));
          } catch (const std::runtime_error& error) {
            thrown = error.what();
          }
        }
      }).join();
    });
    const std::string refusal = "vornk: " + operation + " refused: the device's " + c.lock +
                                " lock stayed taken for 100 ms";
    EXPECT_EQ(std::count(lines.begin(), lines.end(), refusal), 1);
    EXPECT_EQ(restored, operation != "LoadFromCache");
    EXPECT_EQ(thrown, operation == "InitSetting" ? refusal : "");
    EXPECT_EQ(rig.device->b_mode_, c.step.mode);
    EXPECT_EQ(rig.host->names(), roundCallOrder(c.step.mode));
    EXPECT_EQ(rig.host->calls().back().data, rig.host->calls().front().data);
  }
}
