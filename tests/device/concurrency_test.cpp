// Host threads restoring cached records while the device samples: every round publishes a whole
// record and rounds never overlap; settings imports never meet a round in the tables. Run under
// ThreadSanitizer in CI.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/support/probe_vornk.h"
#include "tests/support/rounds.h"
#include "tests/support/temp_work_dir.h"

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
