// Turns a hung test into a failure that says what hung. Operations register while they run
// (Watchdog::Operation, RAII); when one has been running for kLimit, the watchdog writes a
// failure naming the test and every operation still running to standard error and ends the
// process with exit code 1, so a deadlock shows in CI instead of stalling it.
//
// Registering takes no lock: a few relaxed atomic stores and one release store into a free slot.
// The threads under test never synchronise with one another through the watchdog, so it hides
// none of their data races from ThreadSanitizer; only the watchdog's own thread reads the slots.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

class Watchdog {
  enum State : int { kFree, kClaimed, kRunning };
  struct Slot {
    std::atomic<int> state{kFree};
    std::atomic<const char*> name{nullptr};
    std::atomic<long> number{-1};
    std::atomic<std::uint32_t> startedMs{0};  // since the watchdog started
  };

 public:
  static constexpr std::chrono::seconds kLimit{10};

  // Names the test running on the calling thread (the test's own thread) and starts watching.
  explicit Watchdog(const char* file = __builtin_FILE(), int line = __builtin_LINE())
      : file_(file), line_(line), start_(std::chrono::steady_clock::now()) {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    testName_ =
        test == nullptr ? "(no test)" : std::string(test->test_suite_name()) + "." + test->name();
    thread_ = std::thread([this] { watch(); });
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(stopLock_);
      stop_ = true;
    }
    stopSignal_.notify_all();
    thread_.join();
  }

  // One running operation. name must be a string literal (it is read while the operation may
  // end); number, when not negative, follows it: ("LoadFromCache on host thread", 2).
  class Operation {
   public:
    Operation(Watchdog& watchdog, const char* name, long number = -1)
        : slot_(watchdog.claim(name, number)) {}
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;
    ~Operation() {
      if (slot_ != nullptr) slot_->state.store(kFree, std::memory_order_relaxed);
    }

   private:
    Slot* slot_;
  };

  // Runs f as one operation and returns what it returns.
  template <typename F>
  decltype(auto) run(const char* name, long number, F&& f) {
    Operation operation(*this, name, number);
    return std::forward<F>(f)();
  }
  template <typename F>
  decltype(auto) run(const char* name, F&& f) {
    return run(name, -1, std::forward<F>(f));
  }

 private:
  std::uint32_t elapsedMs() const {
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - start_)
                                          .count());
  }

  // How long the slot's operation has been running at now; 0 for one that started after now.
  static std::int64_t runningMs(const Slot& slot, std::uint32_t now) {
    const auto ms = static_cast<std::int32_t>(now - slot.startedMs.load(std::memory_order_relaxed));
    return ms < 0 ? 0 : ms;
  }

  Slot* claim(const char* name, long number) {
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

  void watch() {
    constexpr auto limitMs = static_cast<std::int64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(kLimit).count());
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

  [[noreturn]] void reportAndExit(std::uint32_t now) const {
    std::fprintf(stderr,
                 "%s:%d: Failure\nwatchdog: %s hung, operations still running (limit %lld s):\n",
                 file_, line_, testName_.c_str(), static_cast<long long>(kLimit.count()));
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

  const char* const file_;
  const int line_;
  const std::chrono::steady_clock::time_point start_;
  std::string testName_;
  std::array<Slot, 64> slots_;
  std::mutex stopLock_;  // shared only by the watchdog's thread and the destructor
  std::condition_variable stopSignal_;
  bool stop_ = false;
  std::thread thread_;
};
