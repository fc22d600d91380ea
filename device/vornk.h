// The vornk device: one BACnet device sampled into the vornk record by a thread of its own, one
// cycle reading every point of the point table followed by a pause of 5 seconds.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

#include "device/point_table.h"
#include "device/vornk_data.h"
#include "unidata/dav_ediz_evivev.h"
#include "unidata/host.h"

class vornk : public DavEdizEvivev<vornk_Data_t, ZeqBacNetDevice, vk::device::kVornkDataId> {
 public:
  using Base = DavEdizEvivev<vornk_Data_t, ZeqBacNetDevice, vk::device::kVornkDataId>;

  vornk();
  vornk(const vornk&) = delete;
  vornk& operator=(const vornk&) = delete;
  // Stops the sampling thread and joins it: waits for the BACnet request in flight, for a round
  // in progress, and at worst for that round's bounded waits for the round and threshold locks.
  // Deleting a device from its own sampling thread or from inside one of its own rounds (a host
  // call of the round) cannot work: it writes one line saying so and ends the process.
  ~vornk() override;

  // Copies the data identifier into the record, starts the sampling thread (once per device)
  // and runs the generic settings import.
  auto InitSetting(const Json::Value& settings)
      -> decltype(this->Base::InitSetting(settings)) override;
  // The socket layer's hooks: both return 0, in the type the host declares (taken through this,
  // so that hooks the host declares protected serve as well).
  auto process_data(int socket, unsigned char* data, int length)
      -> decltype(this->ZeqBacNetDevice::process_data(socket, data, length)) override {
    return {};
  }
  auto RefreshStatus() -> decltype(this->ZeqBacNetDevice::RefreshStatus()) override { return {}; }
  void RunCheckThreshold() override;

  // Body of the sampling thread: cycles and pauses until the device is stopped.
  void sample_data(void* unused);
  // One sampling cycle: reads every point into the record, then completes the round.
  void do_sample();

 protected:
  // For devices that sample with another pause than 5 seconds.
  explicit vornk(std::chrono::milliseconds pause);
  std::chrono::milliseconds pause() const { return pause_; }
  // Asks the sampling thread to stop at the next point or at once when it pauses; returns
  // without waiting. Safe to call from any thread, the sampling thread included.
  void requestStop();
  // Stops and joins the sampling thread. A derived class calls it from its own destructor, so
  // that the thread never runs while the derived part is being destroyed.
  void stopSampling();

 private:
  void startSampling();
  // Writes the value line of a point: endpoint, type, instance and the value's text.
  void echoValue(const vk::device::Point& point, std::string_view value) const;
  // Waits the pause; true when the device is stopping.
  bool pauseOrStop();
  // Writes a line naming a misuse that leaves no safe way on, then ends the process.
  [[noreturn]] void endProcess(const char* misuse) const;

  std::unique_ptr<std::thread> sampleThread_;
  const std::chrono::milliseconds pause_;
  std::mutex threadLock_;  // guards sampleThread_ and the stop request
  std::condition_variable stopSignal_;
  std::atomic<bool> stopping_{false};
};
