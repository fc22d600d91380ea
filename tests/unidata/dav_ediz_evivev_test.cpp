// The generic data device's rounds and cache restores: a round's time stamp, publication, batch
// check and history; a cached record restored and published; a host call that fails in any step
// of a round; and the settings' mode, and settings that are no object.
#include "unidata/dav_ediz_evivev.h"

#include <gtest/gtest.h>

#include <atomic>
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <climits>
#include <future>
#include <stdexcept>
#include <thread>

#include "tests/support/exposed_vornk.h"
#include "tests/support/rounds.h"
#include "tests/support/temp_work_dir.h"
#include "ttime.h"

using namespace vk::test;
using namespace vk::doubles;

namespace {

class Round : public testing::Test {
 protected:
  std::vector<std::string> completeRound() {
    return capturedLines([&] { rig.device->RoundDone(); });
  }

  static Bytes pattern() {
    Bytes bytes(kRecordSize);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 7);
    bytes[100] = 0;  // embedded zero bytes must survive the text form
    return bytes;
  }

  Rig rig;
};

rule_value rule(const std::string& id) { return {id, "name", "1", "rule"}; }

// The host's 7-byte stamp of a time: year little-endian, month 1-12, day, hour, minute, second.
Bytes stampBytes(const boost::posix_time::ptime& time) {
  const unsigned year = time.date().year();
  const auto clock = time.time_of_day();
  return {static_cast<unsigned char>(year & 0xFF),
          static_cast<unsigned char>(year >> 8),
          static_cast<unsigned char>(time.date().month().as_number()),
          static_cast<unsigned char>(time.date().day()),
          static_cast<unsigned char>(clock.hours()),
          static_cast<unsigned char>(clock.minutes()),
          static_cast<unsigned char>(clock.seconds())};
}

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
      ExposedVornk& device = *rig->device;
      std::unique_lock<vk::unidata::BoundedLock> round(device.roundLock_, std::try_to_lock);
      std::unique_lock<std::mutex> record(device.recordLock_, std::try_to_lock);
      std::unique_lock<vk::unidata::BoundedLock> threshold(device.thresholdLock_, std::try_to_lock);
      free = round && record && threshold;
    });
    other.join();
    return free;
  }

  TempWorkDir folder;
  std::unique_ptr<Rig> rig;
  Json::Value settings;
};

// Settings delivered to a device with data identifier 12, in a working folder of its own.
class SettingsMode : public testing::Test {
 protected:
  SettingsMode() { rig.device->dataId_ = 12; }

  std::vector<std::string> deliver(const std::string& settings) {
    return capturedLines([&] { rig.device->genericInitSetting(parseJson(settings)); });
  }

  TempWorkDir folder;  // mode 1 looks for ./ini/ here
  Rig rig;
};
}  // namespace

TEST_F(Round, CallsTheHostInOrderAndPrintsTheQueueSize) {
  const auto lines = completeRound();
  EXPECT_EQ(lines, std::vector<std::string>{"rvSize is 0"});
  EXPECT_EQ(rig.host->names(), roundCallOrder());
  const auto calls = rig.host->calls();
  EXPECT_EQ(calls[0].args, (std::vector<std::string>{std::to_string(vk::device::kVornkDataId),
                                                     std::to_string(kRecordSize), "false"}));
  EXPECT_EQ(calls[2].args, std::vector<std::string>{"0"});
  EXPECT_EQ(calls[3].args, std::vector<std::string>{std::to_string(kRecordSize)});
  EXPECT_EQ(calls[0].data, calls[3].data);  // history stores what was published
  EXPECT_TRUE(rig.device->dataReady_);
  EXPECT_EQ(rig.device->roundState_, 1);
}

TEST_F(Round, StampIsTheHostTimeStampOfTheRoundsLocalTime) {
  using boost::posix_time::second_clock;
  const auto before = second_clock::local_time();
  completeRound();
  const auto after = second_clock::local_time();

  const auto roundTime = rig.device->roundTime_;
  EXPECT_LE(before, roundTime);
  EXPECT_LE(roundTime, after);
  const Bytes expected = stampBytes(roundTime);
  EXPECT_EQ(slice(rig.device->record(), kStampOffset, sizeof(ttime)), expected);
  EXPECT_EQ(slice(rig.host->calls()[0].data, kStampOffset, sizeof(ttime)), expected);
}

TEST_F(Round, QueuedRulesArePassedCountedAndEmptiedKeepingCapacity) {
  rig.host->setHook([](ZeqVDevice& device, const HostCall& call) {
    if (call.name == "Reset") {
      device.ruleValues_ = {rule("a"), rule("b"), rule("c")};
    }
  });
  EXPECT_EQ(completeRound(), std::vector<std::string>{"rvSize is 3"});
  EXPECT_EQ(rig.host->calls()[2].args, std::vector<std::string>{"3"});
  EXPECT_TRUE(rig.device->ruleValues_.empty());
  EXPECT_GE(rig.device->ruleValues_.capacity(), 3u);
}

// Rules the host queues inside its checks during the evaluation join those queued before it:
// all are counted, passed to the batch check and emptied.
TEST_F(Round, RulesQueuedByTheEvaluationsChecksAreCountedPassedAndEmptied) {
  TempWorkDir folder;
  folder.write("ini/vornk.ini", kTwoSignalIni);
  rig.host->setHook([](ZeqVDevice& device, const HostCall& call) {
    if (call.name == "Reset" || call.name == "CheckThreshold" ||
        call.name == "CheckThresholdBool") {
      device.ruleValues_.push_back(rule(call.name));
    }
  });
  rig.device->inGenJsonData = [](Json::Value& values) {
    values["t1"] = 31;
    values["t2"] = 1;
  };
  const auto settings = settingsInModes135();
  // Mode 1: two signals, each checked once; mode 5: t1's upper and lowest bands.
  for (const Json::Value& modeSettings : {settings[0], settings[2]}) {
    capturedLines([&] { rig.device->genericInitSetting(modeSettings); });
    rig.host->clear();
    EXPECT_EQ(completeRound(), std::vector<std::string>{"rvSize is 3"});
    const auto calls = rig.host->calls();
    const auto batch = std::find_if(calls.begin(), calls.end(), [](const HostCall& call) {
      return call.name == "DoBatchCheckThreshold";
    });
    ASSERT_NE(batch, calls.end());
    EXPECT_EQ(batch->args, std::vector<std::string>{"3"});
    EXPECT_TRUE(rig.device->ruleValues_.empty());
  }
}

// The cycle and a cache restore complete their rounds through the virtual RoundDone, so a driver
// that overrides it sees both, and the round resets through the virtual Reset; publication goes
// to the host's own SendSP, whatever a driver overrides.
TEST(RoundCalls, RoundDoneAndResetAreVirtualSendSPIsTheHosts) {
  struct Overriding : ExposedVornk {
    std::atomic<int> rounds{0}, resets{0}, publications{0};
    void RoundDone() override {
      ++rounds;
      ExposedVornk::RoundDone();
    }
    void Reset() override {
      ++resets;
      ExposedVornk::Reset();
    }
    int SendSP(int id, const unsigned char* data, unsigned int length, bool delay) override {
      ++publications;
      return ExposedVornk::SendSP(id, data, length, delay);
    }
  };
  Overriding device;
  auto host = std::make_shared<RecordingServices>();
  device.AttachHostServices(host);
  device.AttachBacnetClient(std::make_shared<InProcessDevice>());
  device.endpointText = "sim";
  const Bytes cached(kRecordSize, 0);
  capturedLines([&] {
    device.do_sample();
    EXPECT_TRUE(device.LoadFromCache(cached.data(), kRecordSize));
  });
  EXPECT_EQ(device.rounds, 2);
  EXPECT_EQ(device.resets, 2);
  EXPECT_EQ(device.publications, 0);
  EXPECT_EQ(host->count("SendSP"), 2u);
}

TEST_F(Round, CheckResultIsClearedThenOredWithTheBatchResult) {
  rig.device->checkResult_ = true;
  rig.host->setBatchResult(false);
  completeRound();
  EXPECT_FALSE(rig.device->checkResult_);

  rig.host->setBatchResult(true);
  completeRound();
  EXPECT_TRUE(rig.device->checkResult_);

  // Set by an earlier step of the round, it stays set when the batch answers false.
  rig.host->setBatchResult(false);
  rig.device->inRunCheckThreshold = [](ExposedVornk& device) { device.checkResult_ = true; };
  completeRound();
  EXPECT_TRUE(rig.device->checkResult_);
}

TEST_F(Round, WithoutHostServicesARoundStillCompletes) {
  ExposedVornk bare;
  EXPECT_EQ(capturedLines([&] { bare.RoundDone(); }), std::vector<std::string>{"rvSize is 0"});
  EXPECT_TRUE(bare.dataReady_);
}

TEST_F(Round, CacheOfWrongLengthOrNoBytesIsRefused) {
  const Bytes cached = pattern();
  const Bytes longer(kRecordSize + 1, 1);
  EXPECT_FALSE(rig.device->LoadFromCache(cached.data(), kRecordSize - 1));
  EXPECT_FALSE(rig.device->LoadFromCache(longer.data(), kRecordSize + 1));
  EXPECT_FALSE(rig.device->LoadFromCache(nullptr, kRecordSize));
  EXPECT_FALSE(rig.device->LoadFromCache(std::string(kRecordSize - 1, 'x')));
  EXPECT_EQ(rig.device->record(), Bytes(kRecordSize, 0));
  EXPECT_FALSE(rig.device->dataReady_);
  EXPECT_TRUE(rig.host->calls().empty());
}

TEST_F(Round, CachedRecordIsPublishedWithANewStamp) {
  const Bytes cached = pattern();
  bool loaded = false;
  const auto lines =
      capturedLines([&] { loaded = rig.device->LoadFromCache(cached.data(), kRecordSize); });
  EXPECT_TRUE(loaded);
  EXPECT_EQ(lines, std::vector<std::string>{"rvSize is 0"});
  ASSERT_EQ(rig.host->count("SendSP"), 1u);

  const Bytes published = rig.host->calls()[0].data;
  EXPECT_EQ(slice(published, 0, kStampOffset), slice(cached, 0, kStampOffset));
  EXPECT_EQ(slice(published, kStampOffset, sizeof(ttime)), stampBytes(rig.device->roundTime_));
  EXPECT_EQ(rig.device->record(), published);
}

TEST_F(Round, CacheThroughTheTextFormKeepsEmbeddedZeroBytes) {
  const Bytes cached = pattern();
  const std::string text(cached.begin(), cached.end());
  bool loaded = false;
  capturedLines([&] { loaded = rig.device->LoadFromCache(text); });
  EXPECT_TRUE(loaded);
  EXPECT_EQ(slice(rig.device->record(), 0, kStampOffset), slice(cached, 0, kStampOffset));
}

// A host that keeps the pointer it was given for the record and reads it after the next round
// finds the record that round published.
TEST_F(Round, APublishedRecordOutlivesItsCall) {
  capturedLines([&] {
    for (const unsigned char fill : {0x11, 0x22}) {
      const Bytes cached(kRecordSize, fill);
      EXPECT_TRUE(rig.device->LoadFromCache(cached.data(), kRecordSize));
    }
  });
  const std::vector<HostCall> calls = rig.host->calls();
  const HostCall& first = calls.front();
  const HostCall& last = calls.back();
  ASSERT_EQ(first.name, "SendSP");
  ASSERT_EQ(last.name, "SaveDeviceHistory");
  EXPECT_EQ(Bytes(first.address, first.address + kRecordSize), last.data);
  EXPECT_EQ(last.data[kPointsOffset], 0x22);
}

// A cached record of any length but a record's, or without bytes, is refused before a byte is
// read (the sanitizer builds would see a read beyond the buffer): the record, the round state
// and the host stay untouched.
TEST(MalformedCache, EveryWrongLengthIsRefusedUnread) {
  Rig rig;
  const Bytes kept(kRecordSize, 0x5A);
  capturedLines([&] { ASSERT_TRUE(rig.device->LoadFromCache(kept.data(), kRecordSize)); });
  const Bytes before = rig.device->record();
  rig.host->clear();
  rig.device->dataReady_ = false;

  const Bytes one(1, 1);  // a buffer of one byte, whatever length is claimed
  const int size = static_cast<int>(kRecordSize);
  for (const int length : {INT_MIN, -size, -1, 0, 1, size - 1, size + 1, 2 * size, INT_MAX}) {
    EXPECT_FALSE(rig.device->LoadFromCache(one.data(), length)) << length;
    EXPECT_FALSE(rig.device->LoadFromCache(nullptr, length)) << length;
  }
  EXPECT_FALSE(rig.device->LoadFromCache(nullptr, kRecordSize));
  EXPECT_FALSE(rig.device->LoadFromCache(std::string()));
  EXPECT_FALSE(rig.device->LoadFromCache(std::string(kRecordSize + 1, '\0')));
  EXPECT_EQ(rig.device->record(), before);
  EXPECT_FALSE(rig.device->dataReady_);
  EXPECT_TRUE(rig.host->calls().empty());
}

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

TEST_F(SettingsMode, IsParsedFromTheTextOfBMode) {
  const std::pair<const char*, int> cases[] = {
      {"\"5\"", 5}, {"5", 5}, {"\"3x\"", 3}, {"\" -7\"", -7}, {"5.9", 5}, {"\"x\"", 0}, {"true", 0},
  };
  for (const auto& [text, mode] : cases) {
    rig.device->b_mode_ = 42;
    const auto lines = deliver(std::string("{\"appSetting\": {\"b_mode\": ") + text + "}}");
    EXPECT_EQ(rig.device->b_mode_.load(), mode) << text;
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "InitSetting 12 b_mode_:" + std::to_string(mode));
  }
}

TEST_F(SettingsMode, IsKeptWithoutAUsableBMode) {
  for (const char* settings : {"{}", "{\"appSetting\": null}", "{\"appSetting\": 5}",
                               "{\"appSetting\": {}}", "{\"appSetting\": {\"b_mode\": null}}"}) {
    rig.device->b_mode_ = 0;
    EXPECT_TRUE(deliver(settings).empty()) << settings;
    EXPECT_EQ(rig.device->b_mode_.load(), 0) << settings;
  }
  // A new device stays in mode 1 and searches for its configuration file.
  Rig fresh;
  fresh.device->dataId_ = 12;
  const auto lines =
      capturedLines([&] { fresh.device->genericInitSetting(Json::Value(Json::objectValue)); });
  EXPECT_EQ(fresh.device->b_mode_.load(), 1);
  EXPECT_EQ(lines.front(), "data_id:12 model:vornk b ini not found");
}

TEST_F(SettingsMode, ABModeWithoutTextFormIsIgnoredWithAReason) {
  rig.device->b_mode_ = 0;
  EXPECT_EQ(
      deliver("{\"appSetting\": {\"b_mode\": {\"x\": 5}}}"),
      std::vector<std::string>{"InitSetting 12 b_mode ignored: a JSON object has no text form"});
  EXPECT_EQ(
      deliver("{\"appSetting\": {\"b_mode\": [5]}}"),
      std::vector<std::string>{"InitSetting 12 b_mode ignored: a JSON array has no text form"});
  EXPECT_EQ(rig.device->b_mode_.load(), 0);
  EXPECT_EQ(rig.host->count("InitSetting"), 2u);
}

// Settings that are not a JSON object are refused in every mode with std::invalid_argument naming
// their type, once the data identifier is written: the mode and the tables stay (mode 1 reads no
// configuration file, mode 5 keeps its maps), and the host does not get them. Null settings are
// settings without members: mode 3 finds none, mode 5 empties its maps, the host gets them.
TEST(MalformedSettings, ThatAreNoObjectAreRefused) {
  TempWorkDir folder;
  folder.write("ini/vornk.ini", kTwoSignalIni);
  const std::pair<const char*, const char*> cases[] = {
      {"null", nullptr},       {"[]", "array"}, {R"([{"appSetting": {"b_mode": 5}}])", "array"},
      {R"("text")", "string"}, {"5", "number"}, {"true", "boolean"}};
  for (const auto& [text, kind] : cases) {
    for (const int mode : {1, 3, 5}) {
      SCOPED_TRACE(std::string(text) + " in mode " + std::to_string(mode));
      Rig rig;
      rig.device->dataId_ = 12;
      rig.device->b_mode_ = mode;
      rig.device->upThresholdMap_["old"] = {};
      std::string refusal;
      const auto lines = capturedLines([&] {
        try {
          rig.device->genericInitSetting(parseJson(text));
        } catch (const std::invalid_argument& error) {
          refusal = error.what();
        }
      });
      if (kind != nullptr) {
        EXPECT_EQ(refusal, "settings: a JSON " + std::string(kind) + " is not an object");
        EXPECT_EQ(lines, std::vector<std::string>());
        EXPECT_TRUE(rig.host->names().empty());
        EXPECT_TRUE(rig.device->aiSignalMap_.empty());
      } else {
        EXPECT_EQ(rig.host->names(), std::vector<std::string>{"InitSetting"});
      }
      EXPECT_EQ(slice(rig.device->record(), 0, 4), (Bytes{12, 0, 0, 0}));
      EXPECT_EQ(rig.device->b_mode_.load(), mode);
      EXPECT_EQ(rig.device->upThresholdMap_.empty(), kind == nullptr && mode == 5);
      EXPECT_TRUE(rig.device->mobileIdMap_.empty());
    }
  }
}
