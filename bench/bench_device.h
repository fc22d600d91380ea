// Benchmark support: a vornk device whose tables and evaluation benchmarks can reach.
#pragma once

#include <chrono>

#include "device/vornk.h"

namespace vornk_bench {

// A vornk device with a pause long enough that its sampling thread, once started, stays out of
// the way.
class BenchVornk : public vornk {
 public:
  BenchVornk() : vornk(std::chrono::hours(1)) {}
  ~BenchVornk() override { stopSampling(); }

  using vornk::aiSignalMap_;
  using vornk::b_mode_;
  using vornk::evaluateThresholds;
  using vornk::low2ThresholdMap_;
  using vornk::lowThresholdMap_;
  using vornk::thresholdLock_;
  using vornk::up2ThresholdMap_;
  using vornk::upThresholdMap_;
  using vornk::valueMap_;

  // The generic settings operation alone, without starting the sampling thread.
  int genericInitSetting(const Json::Value& settings) { return Base::InitSetting(settings); }
};

}  // namespace vornk_bench
