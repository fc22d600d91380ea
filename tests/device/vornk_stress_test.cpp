// Stress: 32 devices sampling in one process with a short pause while host threads deliver
// settings in modes 1, 3 and 5, restore cached records, and delete and recreate devices. Bounded
// by a fixed number of host operations; run under ThreadSanitizer in CI.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <future>
#include <random>
#include <shared_mutex>
#include <thread>

#include "host_services.h"
#include "tests/support/exposed_vornk.h"
#include "tests/support/process_state.h"
#include "tests/support/rounds.h"
#include "tests/support/temp_work_dir.h"

using namespace vk::test;

using namespace vk::device;

namespace {

constexpr int kDevices = 32;
constexpr int kImports = 150;
constexpr int kRestores = 150;
constexpr int kRecreations = 40;
constexpr auto kPause = std::chrono::milliseconds(5);
constexpr auto kWait = std::chrono::seconds(60);

// The host of one device slot: checks every record published and stored, and counts rounds.
class CheckingServices : public HostServices {
 public:
  CheckingServices(std::uint32_t dataId, std::thread::id restorer)
      : dataId_(dataId), cached_(cachedRecord(dataId, 0)), restorer_(restorer) {}

  int SendSP(ZeqVDevice&, int id, const unsigned char* data, unsigned int length, bool) override {
    const Bytes record(data, data + length);
    std::lock_guard<std::mutex> lock(mutex_);
    if (id != kVornkDataId || !whole(record)) ++faults_;
    published_ = record;
    return 1;
  }

  bool SaveDeviceHistory(ZeqVDevice&, const unsigned char* data, unsigned int length) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      // The round holds the device's record lock from publication to history.
      if (Bytes(data, data + length) != published_) ++faults_;
      ++rounds_;
      if (std::this_thread::get_id() != restorer_) ++sampledRounds_;
    }
    roundDone_.notify_all();
    return true;
  }

  int faults() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return faults_;
  }
  int sampledRounds() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sampledRounds_;
  }
  bool waitForSampledRounds(int n) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return roundDone_.wait_for(lock, kWait, [&] { return sampledRounds_ >= n; });
  }

 private:
  // A whole record with this slot's data identifier, a plausible stamp, and the point slots all
  // holding what the in-process device answers or all what the cache held; a round on the
  // restoring thread publishes exactly the cached record.
  bool whole(const Bytes& record) const {
    if (record.size() != kRecordSize || std::memcmp(record.data(), &dataId_, 4) != 0) return false;
    if (!plausibleStamp(record)) return false;
    if (std::this_thread::get_id() == restorer_) {
      return std::equal(cached_.begin(), cached_.begin() + kStampOffset, record.begin());
    }
    const std::array<std::size_t, 3> sources = slotSources(record);  // sampled, cached 0, 1
    return sources[0] == kPoints.size() || sources[1] == kPoints.size();
  }

  const std::uint32_t dataId_;
  const Bytes cached_;
  const std::thread::id restorer_;
  mutable std::mutex mutex_;
  mutable std::condition_variable roundDone_;
  Bytes published_;
  int faults_ = 0;
  int rounds_ = 0;
  int sampledRounds_ = 0;
};

// A device slot: the device the host may call (shared) or replace (exclusive), and its host.
struct Slot {
  std::shared_mutex lock;
  std::unique_ptr<ExposedVornk> device;
  std::shared_ptr<CheckingServices> host;
  std::uint32_t dataId = 0;
};

}  // namespace

TEST(Stress, ThirtyTwoDevicesWhileHostThreadsImportRestoreAndRecreate) {
  TempWorkDir folder;
  folder.write("ini/vornk.ini", kTwoSignalIni);
  const auto settings = settingsInModes135();
  const auto threadsBefore = vk::test::process_state::threads();

  std::thread::id restorer;
  std::array<Slot, kDevices> slots;
  const auto create = [&](Slot& slot) {  // slot.lock held exclusively, or no host thread yet
    auto device = std::make_unique<ExposedVornk>(kPause);
    device->AttachHostServices(slot.host);
    device->AttachBacnetClient(std::make_shared<vk::doubles::InProcessDevice>());
    device->endpointText = "sim";
    device->dataId_ = slot.dataId;
    device->aoReportSettings_["A0160001"] = {true, 0, false, 0, false, 0, 0, 0};
    device->inGenJsonData = [](Json::Value& values) {
      values["t1"] = values.get("t1", 0).asInt() == 31 ? 27 : 31;
      values["t2"] = 1;
    };
    device->InitSetting(settings[slot.dataId % 3]);
    slot.device = std::move(device);
  };

  std::atomic<int> refusedRestores{0};
  const auto lines = capturedLines([&] {
    std::promise<std::thread::id> restorerId;
    std::thread restoring([&, started = restorerId.get_future().share()] {
      started.wait();
      std::mt19937 random(2);
      for (int i = 0; i < kRestores; ++i) {
        Slot& slot = slots[random() % kDevices];
        const Bytes record = cachedRecord(slot.dataId, 0);
        std::shared_lock<std::shared_mutex> lock(slot.lock);
        if (!slot.device->LoadFromCache(record.data(), kRecordSize)) ++refusedRestores;
      }
    });
    restorer = restoring.get_id();
    for (std::size_t i = 0; i < slots.size(); ++i) {
      slots[i].dataId = 300u + static_cast<std::uint32_t>(i);
      slots[i].host = std::make_shared<CheckingServices>(slots[i].dataId, restorer);
      create(slots[i]);
    }

    std::thread importing([&] {
      std::mt19937 random(1);
      for (int i = 0; i < kImports; ++i) {
        Slot& slot = slots[random() % kDevices];
        std::shared_lock<std::shared_mutex> lock(slot.lock);
        slot.device->InitSetting(settings[i % 3]);
      }
    });
    std::thread recreating([&] {
      std::mt19937 random(3);
      for (int i = 0; i < kRecreations; ++i) {
        Slot& slot = slots[random() % kDevices];
        std::unique_lock<std::shared_mutex> lock(slot.lock);
        slot.device.reset();
        create(slot);
      }
    });
    restorerId.set_value(restorer);
    importing.join();
    restoring.join();
    recreating.join();

    // No device was lost: each still samples, completing another round of its own.
    for (Slot& slot : slots) {
      EXPECT_TRUE(slot.host->waitForSampledRounds(slot.host->sampledRounds() + 1))
          << "device " << slot.dataId;
    }
    for (Slot& slot : slots) slot.device.reset();
  });

  EXPECT_EQ(refusedRestores.load(), 0);
  for (const Slot& slot : slots) EXPECT_EQ(slot.host->faults(), 0) << "device " << slot.dataId;
  EXPECT_TRUE(vk::test::process_state::noThreadBeyond(threadsBefore));
  // No sampling cycle or round failed.
  const auto failure = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.find("failed") != std::string::npos;
  });
  EXPECT_TRUE(failure == lines.end()) << *failure;
}
