#include "tests/support/watchdog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace vk::test {

Watchdog::Watchdog(std::chrono::seconds limit, const char* file, int line)
    : limit_(limit), file_(file), line_(line), start_(std::chrono::steady_clock::now()) {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  testName_ =
      test == nullptr ? "(no test)" : std::string(test->test_suite_name()) + "." + test->name();
  thread_ = std::thread([this] { watch(); });
}

Watchdog::~Watchdog() {
  {
    std::lock_guard<std::mutex> lock(stopLock_);
    stop_ = true;
  }
  stopSignal_.notify_all();
  thread_.join();
}

std::uint32_t Watchdog::elapsedMs() const {
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - start_)
                                        .count());
}

std::int64_t Watchdog::runningMs(const Slot& slot, std::uint32_t now) {
  const auto ms = static_cast<std::int32_t>(now - slot.startedMs.load(std::memory_order_relaxed));
  return ms < 0 ? 0 : ms;
}

Watchdog::Slot* Watchdog::claim(const char* name, long number) {
  for (Slot& slot : slots_) {
    int free = kFree;
    if (!slot.state.compare_exchange_strong(free, kClaimed, std::memory_order_relaxed)) continue;
    slot.name.store(name, std::memory_order_relaxed);
    slot.number.store(number, std::memory_order_relaxed);
    slot.startedMs.store(elapsedMs(), std::memory_order_relaxed);
    slot.state.store(kRunning, std::memory_order_release);
    return &slot;
  }
  ADD_FAILURE_AT(file_, line_) << "watchdog: more than " << slots_.size()
                               << " operations at once; \"" << name << "\" is not watched";
  return nullptr;
}

void Watchdog::watch() {
  const auto limitMs = static_cast<std::int64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(limit_).count());
  std::unique_lock<std::mutex> lock(stopLock_);
  while (!stopSignal_.wait_for(lock, std::chrono::milliseconds(100), [this] { return stop_; })) {
    const std::uint32_t now = elapsedMs();
    bool hung = false;
    for (const Slot& slot : slots_) {
      hung = hung || (slot.state.load(std::memory_order_acquire) == kRunning &&
                      runningMs(slot, now) >= limitMs);
    }
    if (hung) reportAndExit(now);
  }
}

void Watchdog::reportAndExit(std::uint32_t now) const {
  std::fprintf(stderr,
               "%s:%d: Failure\nwatchdog: %s hung, operations still running (limit %lld s):\n",
               file_, line_, testName_.c_str(), static_cast<long long>(limit_.count()));
  for (const Slot& slot : slots_) {
    if (slot.state.load(std::memory_order_acquire) != kRunning) continue;
    const long number = slot.number.load(std::memory_order_relaxed);
    const double seconds = runningMs(slot, now) / 1000.0;
    std::fprintf(stderr, "  %s", slot.name.load(std::memory_order_relaxed));
    if (number >= 0) std::fprintf(stderr, " %ld", number);
    std::fprintf(stderr, " (for %.1f s)\n", seconds);
  }
  std::fprintf(stderr, "[  FAILED  ] %s (ended by the watchdog)\n", testName_.c_str());
  std::fflush(stderr);
  std::_Exit(1);
}

}  // namespace vk::test
