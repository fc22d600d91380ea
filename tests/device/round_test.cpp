// Completing a round: time stamp, publication, batch check, history, and restoring a cached
// record.
#include <gtest/gtest.h>

#include <atomic>
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <stdexcept>

#include "tests/support/probe_vornk.h"
#include "tests/support/rounds.h"
#include "tests/support/temp_work_dir.h"

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

}  // namespace

TEST_F(Round, CallsTheHostInOrderAndPrintsTheQueueSize) {
  const auto lines = completeRound();
  EXPECT_EQ(lines, std::vector<std::string>{"rvSize is 0"});
  EXPECT_EQ(rig.host->names(), roundCallOrder());
  const auto calls = rig.host->calls();
  EXPECT_EQ(calls[0].args,
            (std::vector<std::string>{"5156", std::to_string(kRecordSize), "false"}));
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

// The host's conversion, at the edges of each field; a time without a date is all zeros.
TEST(HostTimeStamp, PacksEachFieldInItsByte) {
  using boost::gregorian::date;
  using boost::posix_time::ptime;
  using boost::posix_time::time_duration;
  const std::pair<ptime, Bytes> cases[] = {
      {ptime(date(2026, 12, 8), time_duration(9, 5, 3)), {0xEA, 0x07, 12, 8, 9, 5, 3}},
      {ptime(date(2027, 1, 31), time_duration(23, 59, 58)), {0xEB, 0x07, 1, 31, 23, 59, 58}},
      {ptime(date(1999, 2, 1), time_duration(0, 0, 0)), {0xCF, 0x07, 2, 1, 0, 0, 0}},
      {ptime(boost::posix_time::not_a_date_time), Bytes(7, 0)}};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const ttime stamp = get_ttime(cases[i].first);
    const auto* raw = reinterpret_cast<const unsigned char*>(&stamp);
    EXPECT_EQ(Bytes(raw, raw + sizeof stamp), cases[i].second) << "case " << i;
  }
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
  struct Overriding : ProbeVornk {
    std::atomic<int> rounds{0}, resets{0}, publications{0};
    void RoundDone() override {
      ++rounds;
      ProbeVornk::RoundDone();
    }
    void Reset() override {
      ++resets;
      ProbeVornk::Reset();
    }
    int SendSP(int id, const unsigned char* data, unsigned int length, bool delay) override {
      ++publications;
      return ProbeVornk::SendSP(id, data, length, delay);
    }
  };
  Overriding device;
  auto host = std::make_shared<RecordingServices>();
  device.AttachHostServices(host);
  device.AttachBacnetClient(std::make_shared<SimulatedBacnetDevice>());
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
  rig.device->inRunCheckThreshold = [](ProbeVornk& device) { device.checkResult_ = true; };
  completeRound();
  EXPECT_TRUE(rig.device->checkResult_);
}

TEST_F(Round, WithoutHostServicesARoundStillCompletes) {
  ProbeVornk bare;
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
