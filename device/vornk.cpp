#include "device/vornk.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>

#include "device/point_table.h"
#include "unidata/fixed_texts.h"
#include "unidata/log_line.h"
#include "unidata/refusal.h"

using vk::unidata::writeLine;

vornk::vornk() : vornk(std::chrono::seconds(5)) {}

vornk::vornk(std::chrono::milliseconds pause) : pause_(pause) {
  deviceType_ = "vornk";
  endpointFlag = 1;
}

vornk::~vornk() { stopSampling(); }

auto vornk::InitSetting(const Json::Value& settings)
    -> decltype(this->Base::InitSetting(settings)) {
  refuseSettingsInsideOwnWork();
  writeDataId();
  startSampling();
  return Base::InitSetting(settings);
}

void vornk::RunCheckThreshold() {}

void vornk::startSampling() {
  std::lock_guard<std::mutex> lock(threadLock_);
  if (sampleThread_ || stopping_) return;
  sampleThread_ = std::make_unique<std::thread>(&vornk::sample_data, this, nullptr);
}

void vornk::requestStop() {
  {
    std::lock_guard<std::mutex> lock(threadLock_);
    stopping_ = true;
  }
  stopSignal_.notify_all();
}

void vornk::stopSampling() {
  requestStop();
  const bool running = sampleThread_ && sampleThread_->joinable();
  // join() would throw out of the destructor, and the thread would go on with a deleted device.
  if (running && sampleThread_->get_id() == std::this_thread::get_id()) {
    endProcess("deleted from its own sampling thread, which cannot join itself");
  }
  // A round of this thread's would go on with a deleted device.
  if (insideOwnRound()) endProcess("deleted inside one of its own rounds");
  if (running) sampleThread_->join();
}

void vornk::endProcess(const char* misuse) const {
  writeLine({DeviceType(), ": ", misuse, "; ending the process"});
  std::abort();
}

bool vornk::pauseOrStop() {
  std::unique_lock<std::mutex> lock(threadLock_);
  return stopSignal_.wait_for(lock, pause_, [this] { return stopping_.load(); });
}

void vornk::sample_data(void*) {
  do {
    // Nothing may leave the thread: the host process must survive any failing cycle or round.
    try {
      do_sample();
    } catch (const std::exception& error) {
      writeLine({DeviceType(), ": sampling cycle failed: ", error.what()});
    } catch (...) {
      writeLine({DeviceType(), ": sampling cycle failed: unknown error"});
    }
  } while (!pauseOrStop());
}

void vornk::echoValue(const vk::device::Point& point, std::string_view value) const {
  writeLine({endpointText, vk::device::logFragment(point.type),
             vk::unidata::DecimalText(static_cast<unsigned long long>(point.instance)),
             vk::unidata::text::kValue, value});
}

void vornk::do_sample() {
  writeLine({vk::unidata::text::kRefreshStatus});
  if (endpointText.empty()) return;

  const SamplingCycle cycle(*this);
  bool interrupted = false;
  for (const vk::device::Point& point : vk::device::kPoints) {
    if (stopping_) return;
    std::lock_guard<decltype(bacnetMutex)> bacnet(bacnetMutex);
    // A host call made here that calls back into the device is refused (see the base class).
    const vk::unidata::ThreadMark::Scope inExchange(exchangeThread_);
    if (!Send_Read_Property_Request_Address(point.type, point.instance, vk::device::kPresentValue,
                                            BACNET_ARRAY_ALL)) {
      writeLine({vk::unidata::text::kSendFailed});
      return;
    }
    if (!Receive()) {
      writeLine({vk::unidata::text::kReceiveFailed});
      return;
    }

    // Store the value (the low byte, or all four bytes), then echo it as read back from its slot.
    static_assert(sizeof receivedValue == 4, "the host's receivedValue is a 32-bit cell");
    const std::optional<std::uint32_t> stored =
        storeValue(point.recordOffset, &receivedValue, point.size);
    if (!stored) {
      interrupted = true;
      break;
    }
    if (point.size == 1) {
      echoValue(point, vk::unidata::DecimalText(static_cast<unsigned long long>(*stored)));
    } else {
      float value;
      std::memcpy(&value, &*stored, sizeof value);
      echoValue(point, vk::unidata::StreamFloatText(static_cast<double>(value)));
    }
  }
  // A restore replaced the record during the cycle: it stays the cached record, without a round.
  if (interrupted) {
    refuse(vk::unidata::refusal::kSamplingCycle, vk::unidata::refusal::kRestoredDuringCycle);
    return;
  }
  RoundDone();
}
