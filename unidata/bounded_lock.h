// A lock whose waiters can give up: a host call of a round may hold a device's lock while it
// waits for another host thread that wants the same lock, so the module waits for it only so
// long. Recursive: the thread that holds it may take it again (LoadFromCache holds the round lock
// across the round it completes). It meets the requirements of std::unique_lock with a timeout.
//
// Built on std::mutex and std::condition_variable rather than on std::recursive_timed_mutex,
// whose timed wait (pthread_mutex_clocklock) ThreadSanitizer does not follow: it would report
// every unlock after a timed lock as an unlock of an unlocked mutex.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string_view>
#include <thread>

namespace vk::unidata {

class BoundedLock {
 public:
  // name: what the lock guards, for the line that names a misuse of it.
  explicit BoundedLock(std::string_view name) : name_(name) {}
  BoundedLock(const BoundedLock&) = delete;
  BoundedLock& operator=(const BoundedLock&) = delete;

  // Takes the lock, waiting at most wait while another thread holds it; false when it stayed
  // taken.
  bool try_lock_for(std::chrono::milliseconds wait);
  bool try_lock() { return try_lock_for(std::chrono::milliseconds(0)); }
  // Releases one taking by the calling thread, which holds the lock. Released by another
  // thread, it would break another thread's exclusion or jam the lock for good: that is a bug of
  // the module's, so one line names it and the process ends.
  void unlock();

 private:
  // Takes the lock for the calling thread if it is free or already its own. mutex_ is held.
  bool takeIfFree();

  const std::string_view name_;
  std::mutex mutex_;
  std::condition_variable released_;
  std::thread::id owner_;
  unsigned depth_ = 0;
};

}  // namespace vk::unidata
