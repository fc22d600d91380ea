// The generic data device's locks while host threads call into it: rounds on the sampling threads
// meet restores, settings imports, reads and deletions on host threads, under a recording host and
// under one that misbehaves as the closed host may (its calls take the device's bacnetMutex and
// sleep holding it, queue rule_values into the round, and in one variant throw). Rounds never
// overlap and every record published or stored is whole, as the host gets it; a wait for a lock
// gives up after its bound. Nothing may deadlock: host operations run under the watchdog, which
// ends a hung test and names what hung. Run under ThreadSanitizer in CI.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <ostream>
#include <stdexcept>
#include <thread>
#include <utility>

#include "doubles/adversarial_services.h"
#include "tests/support/exposed_vornk.h"
#include "tests/support/rounds.h"
#include "tests/support/temp_work_dir.h"
#include "tests/support/watchdog.h"
#include "ttime.h"

using namespace vk::test;
using namespace vk::doubles;

using namespace vk::device;

namespace {

constexpr auto kWait = std::chrono::seconds(60);  // beyond the watchdog's limit

// The first of the first n bytes in which a and b differ; n when none does.
std::size_t firstDifference(const Bytes& a, const Bytes& b, std::size_t n) {
  n = std::min({n, a.size(), b.size()});
  return static_cast<std::size_t>(std::mismatch(a.begin(), a.begin() + n, b.begin()).first -
                                  a.begin());
}

// The record a LoadFromCache of this thread restores; null outside a restore. A round the
// restore completes runs on this thread, so the checker, called there, tells such rounds apart.
thread_local const Bytes* tRestoring = nullptr;

bool restore(ExposedVornk& device, const Bytes& record) {
  struct Clear {
    ~Clear() { tRestoring = nullptr; }
  } clear;
  tRestoring = &record;
  return device.LoadFromCache(record.data(), static_cast<int>(record.size()));
}

// Checks every round as the host sees it, on the thread of each host call (the hook of an
// AdversarialServices):
// * SendSP: a whole record under kVornkDataId, the device's data identifier, a stamp. A restore's
//   round publishes exactly the restored bytes apart from the stamp; a sampled round's points are
//   all sampled (the in-process device's default) or all from one cached record, never a mix.
// * DoBatchCheckThreshold: with a host that never throws, the round's rule_values are exactly
//   those the host queued in the round's earlier calls.
// * SaveDeviceHistory: exactly what the same round published.
class RecordChecker {
 public:
  struct Counts {
    int sampledRounds = 0;    // rounds on the sampling thread that reached their history
    int restoredRounds = 0;   // the same, of restores
    int cutShortSampled = 0;  // sampled rounds that ended before their history, then another began
  };

  explicit RecordChecker(const AdversarialBehaviour& host)
      : exactRules_(host.throwIn.empty() || host.throwProbability == 0),
        rulesPerCall_(host.rulesPerCall) {}

  RecordingServices::Hook hook() {
    return [this](ZeqVDevice& device, const HostCall& call) { check(device, call); };
  }

  void check(ZeqVDevice& device, const HostCall& call) {
    if (call.name == "InitSetting") return;
    const std::uint32_t dataId = device.dataId_;
    const Bytes* restoring = tRestoring;
    std::string fault =
        call.name == "SendSP" ? publicationFault(call, dataId, restoring) : std::string();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Round& round = rounds_[{dataId, std::this_thread::get_id()}];
      Counts& counts = counts_[dataId];
      if (call.name == "SendSP") {
        if (round.open && !round.restored) ++counts.cutShortSampled;
        round = {call.data, 1, true, restoring != nullptr};
      } else if (!round.open) {
        fault = "outside a round";
      } else if (call.name == "DoBatchCheckThreshold") {
        const unsigned queued = rulesPerCall_ * round.calls++;
        if (exactRules_ && call.args.at(0) != std::to_string(queued)) {
          fault = call.args.at(0) + " rule_values checked, " + std::to_string(queued) + " queued";
        }
      } else if (call.name == "SaveDeviceHistory") {
        if (call.data != round.published) {
          fault = "history differs from the publication at byte " +
                  std::to_string(firstDifference(call.data, round.published, kRecordSize));
        }
        round.open = false;
        ++(round.restored ? counts.restoredRounds : counts.sampledRounds);
      } else {
        ++round.calls;
      }
      if (!fault.empty() && faults_.size() < 10) {
        faults_.push_back("device " + std::to_string(dataId) +
                          (restoring != nullptr ? ", restore: " : ", sampling: ") + call.name +
                          ": " + fault);
      }
    }
    roundDone_.notify_all();
  }

  std::vector<std::string> faults() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return faults_;
  }
  Counts counts(std::uint32_t dataId) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = counts_.find(dataId);
    return found == counts_.end() ? Counts() : found->second;
  }
  bool waitFor(std::uint32_t dataId, const std::function<bool(const Counts&)>& done) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return roundDone_.wait_for(lock, kWait, [&] {
      const auto found = counts_.find(dataId);
      return done(found == counts_.end() ? Counts() : found->second);
    });
  }

 private:
  struct Round {
    Bytes published;
    unsigned calls = 0;  // calls of the round so far
    bool open = false;   // published, history not yet stored
    bool restored = false;
  };

  // What is wrong with a publication; empty when nothing is.
  static std::string publicationFault(const HostCall& call, std::uint32_t dataId,
                                      const Bytes* restoring) {
    const Bytes& record = call.data;
    if (call.args.at(0) != std::to_string(kVornkDataId))
      return "published under " + call.args.at(0);
    if (record.size() != kRecordSize) return std::to_string(record.size()) + " bytes";
    if (std::memcmp(record.data(), &dataId, 4) != 0) return "another data identifier";
    if (!plausibleStamp(record)) return "no time stamp";
    if (restoring != nullptr) {
      const std::size_t differs = firstDifference(record, *restoring, kStampOffset);
      if (differs == kStampOffset) return {};
      return "byte " + std::to_string(differs) + " is not the restored one";
    }
    const std::array<std::size_t, 3> whole = slotSources(record);
    if (std::find(whole.begin(), whole.end(), kPoints.size()) != whole.end()) return {};
    return std::to_string(whole[0]) + " points sampled, " + std::to_string(whole[1]) + " and " +
           std::to_string(whole[2]) + " of the cached records";
  }

  const bool exactRules_;
  const unsigned rulesPerCall_;
  mutable std::mutex mutex_;
  mutable std::condition_variable roundDone_;
  std::map<std::pair<std::uint32_t, std::thread::id>, Round> rounds_;  // by device and thread
  std::map<std::uint32_t, Counts> counts_;
  std::vector<std::string> faults_;
};

// A device sampling with no pause, wired to host and to an in-process BACnet device (its own
// unless given). evaluating: its rounds' values cross the limits of mode 5 and give mode 1 values
// to check and report, so the evaluation calls the host.
std::unique_ptr<ExposedVornk> makeDevice(
    const std::shared_ptr<HostServices>& host, std::uint32_t dataId, bool evaluating,
    std::shared_ptr<InProcessDevice> bacnet = std::make_shared<InProcessDevice>()) {
  auto device = std::make_unique<ExposedVornk>(std::chrono::milliseconds(0));
  device->AttachHostServices(host);
  device->AttachBacnetClient(std::move(bacnet));
  device->endpointText = "sim";
  device->dataId_ = dataId;
  if (evaluating) {
    device->aoReportSettings_["A0160001"] = {true, 0, false, 0, false, 0, 0, 0};
    device->inGenJsonData = [](Json::Value& values) {
      values["t1"] = values.get("t1", 0).asInt() == 31 ? 27 : 31;
      values["t2"] = 1;
    };
  }
  return device;
}

// Runs body(1), body(2), ... body(count) on threads of their own and joins them, under the
// watchdog. Whatever a body throws fails the test.
void onHostThreads(Watchdog& watchdog, int count, const std::function<void(int)>& body) {
  std::vector<std::thread> threads;
  for (int t = 1; t <= count; ++t) {
    threads.emplace_back([&body, t] {
      try {
        body(t);
      } catch (const std::exception& error) {
        ADD_FAILURE() << "host thread " << t << ": " << error.what();
      }
    });
  }
  watchdog.run("joining the host threads", [&] {
    for (std::thread& thread : threads) thread.join();
  });
}

// Runs f with standard output captured; returns the captured lines that contain "failed".
template <typename F>
std::vector<std::string> failureLines(F&& f) {
  testing::internal::CaptureStdout();
  f();
  const std::string output = testing::internal::GetCapturedStdout();
  std::vector<std::string> lines;
  for (std::size_t at = output.find("failed"); at != std::string::npos;
       at = output.find("failed", at + 1)) {
    const std::size_t begin = output.rfind('\n', at) + 1;  // npos + 1 == 0
    const std::size_t end = output.find('\n', at);
    lines.push_back(output.substr(begin, end - begin));
    at = end == std::string::npos ? output.size() : end;
  }
  return lines;
}

// What a host thread saw of its own calls; read after it has been joined.
struct HostLog {
  int refused = 0;       // LoadFromCache returned false
  int restoreThrew = 0;  // LoadFromCache threw AdversarialHostError
  int importThrew = 0;   // InitSetting did
};

struct HostVariant {
  const char* name;
  AdversarialBehaviour behaviour;
};

void PrintTo(const HostVariant& variant, std::ostream* out) { *out << variant.name; }

// Every call takes bacnetMutex and sleeps up to 200 us holding it; every round call queues two
// rule_values.
AdversarialBehaviour lockingHost() {
  AdversarialBehaviour host;
  host.lockBacnet = AdversarialServices::allCalls();
  host.maxSleep = std::chrono::microseconds(200);
  host.rulesPerCall = 2;
  return host;
}

// The same, and one call in ten throws.
AdversarialBehaviour throwingHost() {
  AdversarialBehaviour host = lockingHost();
  host.throwIn = AdversarialServices::allCalls();
  host.throwProbability = 0.1;
  host.seed = 2;
  return host;
}

class LockOrder : public testing::TestWithParam<HostVariant> {
 protected:
  bool throwing() const { return !GetParam().behaviour.throwIn.empty(); }

  // Calls f, counting an AdversarialHostError in errors when the host throws.
  template <typename F>
  void hostCall(int& errors, F&& f) {
    try {
      f();
    } catch (const AdversarialHostError&) {
      ++errors;
    }
  }

  // Only a throwing host makes sampling cycles fail, each with a line naming the host's error,
  // and sampling goes on after them: a cut-short round is a failed cycle followed by another.
  void expectSamplingFailuresFromTheHostOnly(const std::vector<std::string>& lines,
                                             const RecordChecker::Counts& counts) {
    if (!throwing()) {
      EXPECT_EQ(lines, std::vector<std::string>());
      EXPECT_EQ(counts.cutShortSampled, 0);
      return;
    }
    for (const std::string& line : lines) {
      EXPECT_EQ(line.rfind("vornk: sampling cycle failed: adversarial host: ", 0), 0u) << line;
    }
    EXPECT_GT(counts.cutShortSampled, 0);
    EXPECT_GE(lines.size(), static_cast<std::size_t>(counts.cutShortSampled));
  }
};

constexpr int kRestoreRounds = 30;  // per restoring host thread
constexpr int kRecreations = 6;
constexpr int kHeldCalls = 40;  // per host thread that holds bacnetMutex

// Two host threads restore cached records into one device and import settings in modes 1, 3 and
// 5, while a third creates devices, imports and restores into them and deletes them as they
// sample.
TEST_P(LockOrder, SamplingMeetsRestoresImportsAndRecreation) {
  Watchdog watchdog;
  TempWorkDir folder;
  folder.write("ini/vornk.ini", kTwoSignalIni);
  const auto settings = settingsInModes135();
  auto host = std::make_shared<AdversarialServices>(GetParam().behaviour);
  RecordChecker checker(host->behaviour());
  host->setHook(checker.hook());

  constexpr std::uint32_t kShared = 401;
  const std::array<Bytes, 2> cached{cachedRecord(kShared, 0), cachedRecord(kShared, 1)};
  std::array<HostLog, 4> logs;
  std::unique_ptr<ExposedVornk> shared = makeDevice(host, kShared, true);

  const auto lines = failureLines([&] {
    watchdog.run("InitSetting of the shared device",
                 [&] { hostCall(logs[0].importThrew, [&] { shared->InitSetting(settings[0]); }); });
    onHostThreads(watchdog, 3, [&](int t) {
      HostLog& log = logs[t];
      if (t == 3) {
        for (int r = 0; r < kRecreations; ++r) {
          const std::uint32_t dataId = 500 + static_cast<std::uint32_t>(r);
          const Bytes record = cachedRecord(dataId, r % 2);
          std::unique_ptr<ExposedVornk> device = makeDevice(host, dataId, true);
          watchdog.run("InitSetting of a new device on host thread", t, [&] {
            hostCall(log.importThrew, [&] { device->InitSetting(settings[r % 3]); });
          });
          for (int i = 0; i < 2; ++i) {
            watchdog.run("LoadFromCache of a new device on host thread", t, [&] {
              hostCall(log.restoreThrew, [&] { log.refused += !restore(*device, record); });
            });
          }
          watchdog.run("deleting a sampling device on host thread", t, [&] { device.reset(); });
        }
        return;
      }
      for (int i = 0; i < kRestoreRounds; ++i) {
        watchdog.run("LoadFromCache on host thread", t, [&] {
          hostCall(log.restoreThrew,
                   [&] { log.refused += !restore(*shared, cached[(i + t) % 2]); });
        });
        watchdog.run("InitSetting on host thread", t, [&] {
          hostCall(log.importThrew, [&] { shared->InitSetting(settings[(i + t) % 3]); });
        });
      }
    });
    // Sampling goes on: another round (and with a throwing host, a failed cycle before it).
    const int sampled = checker.counts(kShared).sampledRounds;
    watchdog.run("waiting for a sampled round of the shared device", [&] {
      EXPECT_TRUE(checker.waitFor(kShared, [&](const RecordChecker::Counts& counts) {
        return counts.sampledRounds > sampled && (!throwing() || counts.cutShortSampled > 0);
      }));
    });
    watchdog.run("deleting the shared device", [&] { shared.reset(); });
  });

  EXPECT_EQ(checker.faults(), std::vector<std::string>());
  int restoreThrew = 0;
  for (const HostLog& log : logs) {
    EXPECT_EQ(log.refused, 0);
    restoreThrew += log.restoreThrew;
    if (!throwing()) {
      EXPECT_EQ(log.restoreThrew + log.importThrew, 0);
    }
  }
  // From LoadFromCache, the host's exception reaches the caller.
  if (throwing()) {
    EXPECT_GT(restoreThrew, 0);
  }
  EXPECT_GT(checker.counts(kShared).restoredRounds, 0);
  expectSamplingFailuresFromTheHostOnly(lines, checker.counts(kShared));
}

// Host threads that hold the device's bacnetMutex while they import settings in modes 1, 3 and 5
// and read a value, while the device samples and every round call of the host takes
// bacnetMutex. The device's rounds evaluate nothing (no values): a host holding bacnetMutex
// while the evaluation's own host calls take it would break the host's lock order, not ours.
TEST_P(LockOrder, HostHoldingBacnetMutexImportsAndReads) {
  Watchdog watchdog;
  TempWorkDir folder;
  folder.write("ini/vornk.ini", kTwoSignalIni);
  const auto settings = settingsInModes135();
  AdversarialBehaviour behaviour = GetParam().behaviour;
  behaviour.lockBacnet = everyRoundCall();  // InitSetting's caller holds it
  auto host = std::make_shared<AdversarialServices>(behaviour);
  RecordChecker checker(host->behaviour());
  host->setHook(checker.hook());

  constexpr std::uint32_t kDevice = 402;
  std::unique_ptr<ExposedVornk> device = makeDevice(host, kDevice, false);
  std::array<HostLog, 3> logs;

  const auto lines = failureLines([&] {
    watchdog.run("InitSetting starting the device",
                 [&] { hostCall(logs[0].importThrew, [&] { device->InitSetting(settings[1]); }); });
    onHostThreads(watchdog, 2, [&](int t) {
      HostLog& log = logs[t];
      for (int i = 0; i < kHeldCalls; ++i) {
        watchdog.run("InitSetting holding bacnetMutex on host thread", t, [&] {
          std::lock_guard<std::mutex> bacnet(device->bacnetMutex);
          hostCall(log.importThrew,
                   [&] { EXPECT_EQ(device->InitSetting(settings[(i + t) % 3]), 1); });
        });
        watchdog.run("Get_Value holding bacnetMutex on host thread", t, [&] {
          std::lock_guard<std::mutex> bacnet(device->bacnetMutex);
          EXPECT_THROW(device->Get_Value(static_cast<unsigned>(i), "t1"), std::out_of_range);
        });
        // Let rounds fall between the calls: a sampled round every few of them.
        if (i % 8 == 7) {
          const int sampled = checker.counts(kDevice).sampledRounds;
          watchdog.run("waiting for a sampled round on host thread", t, [&] {
            EXPECT_TRUE(checker.waitFor(kDevice, [&](const RecordChecker::Counts& counts) {
              return counts.sampledRounds > sampled;
            }));
          });
        }
      }
    });
    if (throwing()) {
      watchdog.run("waiting for a failed sampling cycle", [&] {
        EXPECT_TRUE(checker.waitFor(kDevice, [](const RecordChecker::Counts& counts) {
          return counts.cutShortSampled > 0 && counts.sampledRounds > 0;
        }));
      });
    }
    watchdog.run("deleting the device", [&] { device.reset(); });
  });

  EXPECT_EQ(checker.faults(), std::vector<std::string>());
  for (const HostLog& log : logs) {
    if (!throwing()) {
      EXPECT_EQ(log.importThrew, 0);
    }
  }
  expectSamplingFailuresFromTheHostOnly(lines, checker.counts(kDevice));
}

INSTANTIATE_TEST_SUITE_P(Hosts, LockOrder,
                         testing::Values(HostVariant{"LockingAndSleeping", lockingHost()},
                                         HostVariant{"AlsoThrowing", throwingHost()}),
                         [](const testing::TestParamInfo<HostVariant>& info) {
                           return std::string(info.param.name);
                         });

// Two host threads restore the device's two cached records while it samples and evaluates, under
// a host that takes bacnetMutex and sleeps in every call and queues rule_values: each restore
// publishes its own record once, every sampled round is wholly sampled, and every round's history
// is its publication. (The checker fails the test on any other record.)
TEST(RestoresWhileSampling, PublishTheirRecordAndHistoryStoresThePublication) {
  Watchdog watchdog;
  TempWorkDir folder;
  folder.write("ini/vornk.ini", kTwoSignalIni);
  const auto settings = settingsInModes135();
  auto host = std::make_shared<AdversarialServices>(lockingHost());
  RecordChecker checker(host->behaviour());
  host->setHook(checker.hook());

  constexpr std::uint32_t kDevice = 403;
  const std::array<Bytes, 2> cached{cachedRecord(kDevice, 0), cachedRecord(kDevice, 1)};
  std::unique_ptr<ExposedVornk> device = makeDevice(host, kDevice, true);
  std::array<int, 3> refused{};

  const auto lines = failureLines([&] {
    watchdog.run("InitSetting starting the device",
                 [&] { EXPECT_EQ(device->InitSetting(settings[0]), 1); });
    onHostThreads(watchdog, 2, [&](int t) {
      for (int i = 0; i < kRestoreRounds; ++i) {
        watchdog.run("LoadFromCache on host thread", t,
                     [&] { refused[t] += !restore(*device, cached[t - 1]); });
        if (i % 4 == 3) {
          const int sampled = checker.counts(kDevice).sampledRounds;
          watchdog.run("waiting for a sampled round on host thread", t, [&] {
            EXPECT_TRUE(checker.waitFor(kDevice, [&](const RecordChecker::Counts& counts) {
              return counts.sampledRounds > sampled;
            }));
          });
        }
      }
    });
    watchdog.run("deleting the device", [&] { device.reset(); });
  });

  EXPECT_EQ(checker.faults(), std::vector<std::string>());
  EXPECT_EQ(refused, (std::array<int, 3>{}));
  const RecordChecker::Counts counts = checker.counts(kDevice);
  EXPECT_EQ(counts.restoredRounds, 2 * kRestoreRounds);
  EXPECT_EQ(counts.cutShortSampled, 0);
  EXPECT_EQ(lines, std::vector<std::string>());
}

// Holds the round of a restore at its get_ttime, once armed, until released: the restore has
// copied the cached record in and not yet published it.
struct {
  std::mutex lock;
  std::condition_variable changed;
  bool armed = false;
  bool entered = false;
  bool released = false;
} ttimeGate;

void holdAtTtime(boost::posix_time::ptime) {
  std::unique_lock<std::mutex> lock(ttimeGate.lock);
  if (!ttimeGate.armed) return;
  ttimeGate.armed = false;
  ttimeGate.entered = true;
  ttimeGate.changed.notify_all();
  ttimeGate.changed.wait_for(lock, kWait, [] { return ttimeGate.released; });
}

// A host thread's call that lands in a cycle: a restore between two of its reads, after its last
// read, or one whose round publishes after the cycle's first store interrupts it (one line; no
// round of its own, the record stays the cached one until the next cycle reads every point
// again), and a RoundDone while it reads is refused with one line. Every record published and
// stored is wholly cached or wholly sampled.
TEST(RestoresWhileSampling, ARestoreInACycleInterruptsItAndARoundInItIsRefused) {
  enum class Landing { BetweenReads, AfterLastRead, AroundFirstStore };
  struct Case {
    const char* name;
    Landing landing;
    bool restoring;  // otherwise RoundDone
  };
  const std::string interrupted =
      "vornk: sampling cycle refused: a restore from the cache replaced the record during the "
      "cycle";
  const std::string roundRefused =
      "vornk: RoundDone refused: called while a sampling cycle of the device is under way";
  const Point& middle = kPoints[kPointCount / 2];
  set_ttime_hook(holdAtTtime);
  for (const Case& c :
       {Case{"restore between two reads", Landing::BetweenReads, true},
        Case{"restore after the last read", Landing::AfterLastRead, true},
        Case{"restore publishing after the first store", Landing::AroundFirstStore, true},
        Case{"RoundDone between two reads", Landing::BetweenReads, false}}) {
    SCOPED_TRACE(c.name);
    Watchdog watchdog;
    Rig rig(std::chrono::milliseconds(1));
    const Bytes cached = cachedRecord(0, 0);
    Bytes atNextCycle;  // the record when the next cycle begins to read
    int cycles = 0;
    bool called = false;  // the call's own round must not call again
    std::thread caller;
    const auto call = [&] {
      called = true;
      caller = std::thread([&] {
        if (c.restoring) {
          EXPECT_TRUE(rig.device->LoadFromCache(cached.data(), kRecordSize));
        } else {
          rig.device->RoundDone();
        }
      });
    };
    const auto at = [&](const Point& point, BACnetObjectType type, std::uint32_t instance) {
      return cycles == 1 && type == point.type && instance == point.instance;
    };
    rig.bacnet->setRequestHook([&](BACnetObjectType type, std::uint32_t instance) {
      if (type == kPoints.front().type && instance == kPoints.front().instance && ++cycles == 2) {
        atNextCycle = rig.device->record();
      }
      if (c.landing == Landing::BetweenReads && at(middle, type, instance)) {
        call();
        caller.join();
      } else if (c.landing == Landing::AroundFirstStore && at(kPoints[0], type, instance)) {
        std::unique_lock<std::mutex> lock(ttimeGate.lock);
        ttimeGate.armed = true;
        call();
        ttimeGate.changed.wait_for(lock, kWait, [] { return ttimeGate.entered; });
      } else if (c.landing == Landing::AroundFirstStore && at(kPoints[1], type, instance)) {
        {
          std::lock_guard<std::mutex> lock(ttimeGate.lock);
          ttimeGate.released = true;
        }
        ttimeGate.changed.notify_all();
        caller.join();
      }
    });
    rig.device->beforeRound = [&](ExposedVornk&) {
      if (c.landing == Landing::AfterLastRead && cycles == 1 && !called) {
        call();
        caller.join();
      }
    };
    const std::size_t rounds = c.restoring ? 2 : 1;  // the restore's, the next cycle's
    const auto lines = capturedLines([&] {
      watchdog.run("a cycle with a call landing in it", [&] {
        rig.device->InitSetting(Json::Value());
        EXPECT_TRUE(rig.host->waitFor("SaveDeviceHistory", rounds, kWait));
        rig.device->stopSampling();
      });
    });
    EXPECT_EQ(std::count(lines.begin(), lines.end(), c.restoring ? interrupted : roundRefused), 1);
    std::map<std::string, std::vector<Bytes>> records;  // of SendSP and SaveDeviceHistory
    for (const HostCall& hostCall : rig.host->calls()) {
      records[hostCall.name].push_back(hostCall.data);
    }
    ASSERT_GE(records["SaveDeviceHistory"].size(), rounds);
    Bytes sampled = cached;
    for (const Point& point : kPoints) {
      const Bytes slot = defaultSlot(point);
      std::copy(slot.begin(), slot.end(), sampled.begin() + point.recordOffset);
    }
    for (std::size_t r = 0; r < rounds; ++r) {
      const Bytes& published = records["SendSP"][r];
      const Bytes& expected = c.restoring && r == 0 ? cached : sampled;
      EXPECT_EQ(slice(published, kPointsOffset, kPointsSize),
                slice(expected, kPointsOffset, kPointsSize))
          << "round " << r;
      EXPECT_EQ(records["SaveDeviceHistory"][r], published);
    }
    if (c.restoring) {
      EXPECT_EQ(slice(atNextCycle, 0, kStampOffset), slice(cached, 0, kStampOffset));
    }
  }
  set_ttime_hook(nullptr);
}

// Two devices whose rounds restore each other's cached records take the round locks in opposite
// orders: at least one of the restores gives up after the bound with its line, and both rounds
// publish and store their own record.
TEST(LockWait, DevicesRestoringEachOthersRecordsGiveUpAfterTheBound) {
  Watchdog watchdog;
  std::array<Rig, 2> rigs{Rig::withoutSampling(), Rig::withoutSampling()};
  std::mutex lock;
  std::condition_variable bothPublishing;
  int publishing = 0;
  std::array<bool, 2> restored{true, true};
  for (int d = 0; d < 2; ++d) {
    rigs[d].device->lockWait_ = std::chrono::milliseconds(100);
    rigs[d].host->setHook([&, d](ZeqVDevice&, const HostCall& call) {
      if (call.name != "SendSP" || call.data[0] != 0x10 + d) return;
      {
        std::unique_lock<std::mutex> both(lock);
        ++publishing;
        bothPublishing.notify_all();
        bothPublishing.wait_for(both, kWait, [&] { return publishing == 2; });
      }
      const Bytes others(kRecordSize, static_cast<unsigned char>(0x20 + d));
      restored[d] = rigs[1 - d].device->LoadFromCache(others.data(), kRecordSize);
    });
  }
  const auto lines = capturedLines([&] {
    onHostThreads(watchdog, 2, [&](int t) {
      const Bytes own(kRecordSize, static_cast<unsigned char>(0x10 + t - 1));
      EXPECT_TRUE(rigs[t - 1].device->LoadFromCache(own.data(), kRecordSize));
    });
  });
  const std::string refusal =
      "vornk: LoadFromCache refused: the device's round lock stayed taken for 100 ms";
  EXPECT_EQ(std::count(lines.begin(), lines.end(), refusal),
            std::count(restored.begin(), restored.end(), false));
  EXPECT_FALSE(restored[0] && restored[1]);
  for (int d = 0; d < 2; ++d) {
    const std::vector<HostCall> calls = rigs[d].host->calls();
    ASSERT_EQ(calls.size(), (restored[1 - d] ? 2 : 1) * roundCallOrder().size());
    EXPECT_EQ(calls[0].data[kPointsOffset], 0x10 + d);
    EXPECT_EQ(calls[3].data, calls[0].data);
  }
}

// While a round of another thread holds the round lock, the sampling thread's round gives up
// after the bound with one line: its record keeps the cycle's values, and it samples again after
// its pause. While the threshold lock is held, a round skips its evaluation with one line and
// goes on to the batch check and the history.
TEST(LockWait, RoundsGiveUpWaitingForTheRoundAndThresholdLocks) {
  Watchdog watchdog;
  TempWorkDir folder;
  folder.write("ini/vornk.ini", kOneSignalIni);
  Rig rig(std::chrono::milliseconds(1));
  rig.device->lockWait_ = std::chrono::milliseconds(100);
  evaluateEveryRound(*rig.device);
  std::mutex lock;
  std::condition_variable cycleStarted;
  int cycles = 0;
  rig.bacnet->setRequestHook([&](BACnetObjectType type, std::uint32_t instance) {
    if (type != kPoints.front().type || instance != kPoints.front().instance) return;
    std::lock_guard<std::mutex> counting(lock);
    ++cycles;
    cycleStarted.notify_all();
  });
  const auto lines = capturedLines([&] {
    {
      const std::unique_lock<vk::unidata::BoundedLock> round(rig.device->roundLock_,
                                                             std::try_to_lock);
      ASSERT_TRUE(round.owns_lock());
      rig.device->InitSetting(evaluatingSettings(1));
      watchdog.run("two sampled rounds giving up", [&] {
        std::unique_lock<std::mutex> counting(lock);
        EXPECT_TRUE(cycleStarted.wait_for(counting, kWait, [&] { return cycles >= 3; }));
      });
      EXPECT_EQ(rig.host->count("SendSP"), 0u);
    }
    watchdog.run("a sampled round after the round lock is free",
                 [&] { EXPECT_TRUE(rig.host->waitFor("SaveDeviceHistory", 1, kWait)); });
    watchdog.run("stopping the sampling thread", [&] { rig.device->stopSampling(); });
    rig.host->clear();
    const std::unique_lock<vk::unidata::BoundedLock> tables(rig.device->thresholdLock_,
                                                            std::try_to_lock);
    ASSERT_TRUE(tables.owns_lock());
    watchdog.run("a cached round skipping its evaluation",
                 [&] { std::thread([&] { EXPECT_TRUE(rig.device->zeroRecordRound()); }).join(); });
  });
  const auto count = [&](const std::string& line) {
    return std::count(lines.begin(), lines.end(), line);
  };
  EXPECT_GE(count("vornk: RoundDone refused: the device's round lock stayed taken for 100 ms"), 2);
  EXPECT_EQ(count("vornk: threshold evaluation refused: the device's threshold lock stayed taken "
                  "for 100 ms"),
            1);
  EXPECT_EQ(rig.host->names(), roundCallOrder());
}

TEST(Concurrency, CacheRestoresWhileSamplingPublishWholeRecords) {
  Rig rig(std::chrono::milliseconds(0));
  Bytes cached(kRecordSize);
  for (std::size_t i = 0; i < cached.size(); ++i)
    cached[i] = static_cast<unsigned char>(0xA0 + i % 7);

  const std::thread::id restorer = std::this_thread::get_id();
  std::atomic<int> roundsInFlight{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> tornRecords{0};
  rig.host->setHook([&](ZeqVDevice&, const HostCall& call) {
    if (call.name == "SendSP") {
      if (roundsInFlight.fetch_add(1) != 0) ++overlaps;
      // A round on the restoring thread publishes exactly the cached record, stamp aside.
      if (std::this_thread::get_id() == restorer &&
          !std::equal(cached.begin(), cached.begin() + kStampOffset, call.data.begin())) {
        ++tornRecords;
      }
    } else if (call.name == "SaveDeviceHistory") {
      roundsInFlight.fetch_sub(1);
    }
  });

  capturedLines([&] {
    rig.device->InitSetting(Json::Value());
    for (int i = 0; i < 300; ++i) {
      ASSERT_TRUE(rig.device->LoadFromCache(cached.data(), kRecordSize));
    }
    ASSERT_TRUE(rig.host->waitFor("SaveDeviceHistory", 303, std::chrono::seconds(60)));
    rig.device.reset();
  });
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(tornRecords.load(), 0);
}

// Settings imports in modes 1, 3 and 5 while the sampling thread completes rounds whose
// evaluation reads the imported tables and updates the alarm states and the report rules.
TEST(Concurrency, ImportsAndRoundsNeverTouchTheTablesAtOnce) {
  TempWorkDir folder;
  folder.write("ini/vornk.ini", kTwoSignalIni);
  const auto settings = settingsInModes135();

  Rig rig(std::chrono::milliseconds(0));
  rig.device->aoReportSettings_["A0160001"] = {true, 0, false, 0, false, 0, 0, 0};
  rig.device->inGenJsonData = [](Json::Value& values) {
    values["t1"] = values.get("t1", 0).asInt() == 31 ? 27 : 31;  // crosses both limits
    values["t2"] = 1;
  };

  // Imports run back to back, so that rounds fall between and into them, until rounds have
  // evaluated in both modes.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  const auto evaluatedBoth = [&rig] {
    return rig.host->count("SaveDeviceHistory") >= 20 && rig.host->count("CheckThreshold") > 0 &&
           rig.host->count("CheckThresholdBool") > 0;
  };
  capturedLines([&] {
    while (!evaluatedBoth() && std::chrono::steady_clock::now() < deadline) {
      for (const Json::Value& modeSettings : settings) rig.device->InitSetting(modeSettings);
    }
    rig.device.reset();
  });
  EXPECT_TRUE(evaluatedBoth());
  EXPECT_GT(rig.host->count("CheckAOReport"), 0u);
}

}  // namespace
