#include "tests/support/process_state.h"

#include <dirent.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace vk::test::process_state {

namespace {

// Waits, within 30 seconds, until no thread of the process has the kernel id.
bool threadLeft(const std::string& id) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (entries("/proc/self/task").count(id) != 0) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

// ThreadSanitizer's runtime starts a helper thread of its own when the process creates its first
// thread, and keeps it. In a process whose first thread is the one a test makes, that helper
// would count as a thread left behind, so the first listing has one thread made, joined and gone
// before it.
void startRuntimeThreads() {
  static const bool started = [] {
    long id = 0;
    std::thread([&id] { id = ::syscall(SYS_gettid); }).join();
    return threadLeft(std::to_string(id));
  }();
  (void)started;
}

}  // namespace

std::set<std::string> entries(const char* folder) {
  std::set<std::string> names;
  DIR* listing = ::opendir(folder);
  if (listing == nullptr) return names;
  while (const dirent* entry = ::readdir(listing)) {
    if (entry->d_name[0] != '.') names.insert(entry->d_name);
  }
  ::closedir(listing);
  return names;
}

std::set<std::string> threads() {
  startRuntimeThreads();
  return entries("/proc/self/task");
}

std::set<std::string> fileDescriptors() { return entries("/proc/self/fd"); }

std::set<std::string> newThreads(const std::set<std::string>& before) {
  std::set<std::string> added;
  for (const std::string& id : threads()) {
    if (before.count(id) == 0) added.insert(id);
  }
  return added;
}

bool noThreadBeyond(const std::set<std::string>& before) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!newThreads(before).empty()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

}  // namespace vk::test::process_state
