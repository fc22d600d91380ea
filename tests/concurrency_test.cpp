// Host threads restoring cached records while the device samples: every round publishes a whole
// record and rounds never overlap. Run under ThreadSanitizer in CI.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "probe_vornk.h"

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
