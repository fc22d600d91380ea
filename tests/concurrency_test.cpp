// Host threads restoring cached records while the device samples: every round publishes a whole
// record and rounds never overlap; settings imports never meet a round in the tables. Run under
// ThreadSanitizer in CI.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "probe_vornk.h"
#include "temp_work_dir.h"

TEST(Concurrency, CacheRestoresWhileSamplingPublishWholeRecords) {
  Rig rig(std::chrono::milliseconds(0));
  Bytes cached(859);
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
          !std::equal(cached.begin(), cached.begin() + 852, call.data.begin())) {
        ++tornRecords;
      }
    } else if (call.name == "SaveDeviceHistory") {
      roundsInFlight.fetch_sub(1);
    }
  });

  capturedLines([&] {
    rig.device->InitSetting(Json::Value());
    for (int i = 0; i < 300; ++i) ASSERT_TRUE(rig.device->LoadFromCache(cached.data(), 859));
    ASSERT_TRUE(rig.host->waitFor("SaveDeviceHistory", 303, std::chrono::seconds(60)));
    rig.device.reset();
  });
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(tornRecords.load(), 0);
}

// Settings imports in modes 1, 3 and 5 while the sampling thread completes rounds that read and
// update the imported tables the way the round's evaluation does, under thresholdLock_.
TEST(Concurrency, ImportsAndRoundsNeverTouchTheTablesAtOnce) {
  TempWorkDir folder;
  folder.write("ini/vornk.ini", "[AI]\nt1=A01,one\nt2=A02,two\n[ALARM]\na1=B01\n");
  const Json::Value settings[] = {
      parseJson(R"({"appSetting": {"b_mode": 1}})"),
      parseJson(R"({"appSetting": {"b_mode": "3"}, "thresholdSetting": {"t1": {"ID": "S1"}}})"),
      parseJson(R"({"appSetting": {"b_mode": 5}, "thresholdSetting": {
          "a": {"ID": "S1", "SignalName": "t1", "UpValue": 30, "UpReconverValue": 28,
                "UpAlarmLevel": 2, "Low2Value": 1, "Low2ReconverValue": 2, "Low2AlarmLevel": 1}}})"),
  };

  Rig rig(std::chrono::milliseconds(0));
  std::atomic<std::size_t> entriesSeen{0};
  rig.device->inRunCheckThreshold = [&entriesSeen](ProbeVornk& device) {
    const int mode = device.b_mode_;
    std::lock_guard<std::mutex> lock(device.thresholdLock_);
    std::size_t entries = static_cast<std::size_t>(mode) + device.aiSignalMap_.size() +
                          device.alarmSignalIdMap_.size() + device.mobileIdMap_.size() +
                          device.mobileNameMap_.size();
    for (SignalThresholdMap* map : {&device.upThresholdMap_, &device.up2ThresholdMap_,
                                    &device.lowThresholdMap_, &device.low2ThresholdMap_}) {
      for (auto& [name, band] : *map) {
        entries += name.size() + band.alarmId.size();
        band.alarmActive = !band.alarmActive;
      }
    }
    entriesSeen += entries;
  };

  // Imports run back to back, so that rounds fall between and into them.
  capturedLines([&] {
    while (rig.host->count("SaveDeviceHistory") < 20) {
      for (const Json::Value& modeSettings : settings) rig.device->InitSetting(modeSettings);
    }
    rig.device.reset();
  });
  EXPECT_GT(entriesSeen.load(), 0u);
}
