// A vornk device whose protected state tests, benchmarks and fuzz targets can reach, with seams in
// its round, and a rig that wires one to a recording host and an in-process BACnet device.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "device/vornk.h"
#include "doubles/in_process_device.h"
#include "doubles/recording_services.h"
#include "tests/support/record.h"

namespace vk::test {

// A vornk device with a chosen pause (by default one long enough that its sampling thread, once
// started, stays out of the way after its first cycle), readable state and seams attached.
class ExposedVornk : public vornk {
 public:
  explicit ExposedVornk(std::chrono::milliseconds pause = std::chrono::hours(1));
  ~ExposedVornk() override;

  using vornk::aiSignalMap_;
  using vornk::alarmSignalIdMap_;
  using vornk::b_mode_;
  using vornk::evaluateThresholds;
  using vornk::lockWait_;
  using vornk::low2ThresholdMap_;
  using vornk::lowThresholdMap_;
  using vornk::mobileIdMap_;
  using vornk::mobileNameMap_;
  using vornk::pause;
  using vornk::recordLock_;
  using vornk::requestStop;
  using vornk::roundLock_;
  using vornk::stopSampling;
  using vornk::thresholdLock_;
  using vornk::up2ThresholdMap_;
  using vornk::upThresholdMap_;
  using vornk::valueMap_;

  // The generic settings operation alone, without starting the sampling thread.
  int genericInitSetting(const Json::Value& settings) { return Base::InitSetting(settings); }

  Bytes record();

  // Completes one round through the cache path with an all-zero record; false when refused.
  bool zeroRecordRound();

  // Set by a test, before sampling starts, to act before each round, in the driver's own
  // RoundDone.
  std::function<void(ExposedVornk&)> beforeRound;
  void RoundDone() override;

  // Set by a test, before sampling starts, to act in the round's RunCheckThreshold step.
  std::function<void(ExposedVornk&)> inRunCheckThreshold;
  void RunCheckThreshold() override;

  // Set by a test, before sampling starts, to fill the round's values as a concrete driver's
  // GenJsonData does.
  std::function<void(Json::Value& values)> inGenJsonData;
  void GenJsonData() override;
  // Makes every round's GenJsonData give these values.
  void giveRoundValues(Json::Value values);
};

// A device wired to a recording host and an in-process BACnet device.
struct Rig {
  explicit Rig(std::chrono::milliseconds pause = std::chrono::hours(1),
               const std::string& endpoint = "sim");

  // A rig whose device never starts its sampling thread: a stop requested up front keeps
  // InitSetting from starting it, so settings imports and rounds through the cache path run on
  // the calling thread alone while nothing sleeps or touches the network.
  static Rig withoutSampling();

  std::unique_ptr<ExposedVornk> device;
  std::shared_ptr<doubles::RecordingServices> host;
  std::shared_ptr<doubles::InProcessDevice> bacnet;
};

}  // namespace vk::test
