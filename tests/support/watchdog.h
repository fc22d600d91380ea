// Turns a hung test into a failure that says what hung. Operations register while they run
// (Watchdog::Operation, RAII); when one has been running for the watchdog's limit, it writes a
// failure naming the test and every operation still running to standard error and ends the
// process with exit code 1, so a deadlock shows in CI instead of stalling it.
//
// Registering takes no lock: a few relaxed atomic stores and one release store into a free slot.
// The threads under test never synchronise with one another through the watchdog, so it hides
// none of their data races from ThreadSanitizer; only the watchdog's own thread reads the slots.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace vk::test {

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
  // Deleting a device: its sampling thread stops at the next point, or at once in its pause.
  static constexpr std::chrono::seconds kDeletionLimit{3};

  // Names the test running on the calling thread (the test's own thread) and starts watching
  // operations, each for limit.
  explicit Watchdog(std::chrono::seconds limit = kLimit, const char* file = __builtin_FILE(),
                    int line = __builtin_LINE());
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  ~Watchdog();

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
  std::uint32_t elapsedMs() const;
  // How long the slot's operation has been running at now; 0 for one that started after now.
  static std::int64_t runningMs(const Slot& slot, std::uint32_t now);
  Slot* claim(const char* name, long number);
  void watch();
  [[noreturn]] void reportAndExit(std::uint32_t now) const;

  const std::chrono::seconds limit_;
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

// Deletes what owner holds, under a watchdog of kDeletionLimit that names the deletion if it
// hangs.
template <typename T>
void deleteWatched(std::unique_ptr<T>& owner, const char* name, const char* file = __builtin_FILE(),
                   int line = __builtin_LINE()) {
  Watchdog watchdog(Watchdog::kDeletionLimit, file, line);
  watchdog.run(name, [&] { owner.reset(); });
}

}  // namespace vk::test
