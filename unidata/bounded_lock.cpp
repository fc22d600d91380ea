#include "unidata/bounded_lock.h"

#include <cstdlib>

#include "unidata/log_line.h"

namespace vk::unidata {

bool BoundedLock::takeIfFree() {
  const std::thread::id self = std::this_thread::get_id();
  if (depth_ != 0 && owner_ != self) return false;
  owner_ = self;
  ++depth_;
  return true;
}

bool BoundedLock::try_lock_for(std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  return released_.wait_for(lock, wait, [this] { return takeIfFree(); });
}

void BoundedLock::unlock() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (depth_ == 0 || owner_ != std::this_thread::get_id()) {
      writeLine({name_, " released by a thread that does not hold it; ending the process"});
      std::abort();
    }
    if (--depth_ != 0) return;
    owner_ = std::thread::id();
  }
  released_.notify_one();
}

}  // namespace vk::unidata
