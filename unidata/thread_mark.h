// Which thread, if any, is inside a stretch of a device's code, so that a call back into the
// device from that same thread (through a host call made there) can be told apart from a call of
// any other thread, which is free to wait for the stretch to end.
#pragma once

#include <atomic>
#include <thread>

namespace vk::unidata {

class ThreadMark {
 public:
  // Marks the calling thread as inside the stretch while the scope lives.
  class Scope {
   public:
    explicit Scope(ThreadMark& mark) : mark_(mark) {
      mark_.owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    }
    ~Scope() { mark_.owner_.store(std::thread::id(), std::memory_order_relaxed); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    ThreadMark& mark_;
  };

  // Only the marked thread itself can see its own id here, so relaxed order is enough.
  bool heldByThisThread() const {
    return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
  }

 private:
  std::atomic<std::thread::id> owner_{};
};

}  // namespace vk::unidata
