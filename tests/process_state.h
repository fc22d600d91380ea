// What a test can see of the process from outside the code under test: its threads and its open
// file descriptors, to show that devices and modules leave none behind.
#pragma once

#include <dirent.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>

namespace process_state {

// The names of a /proc/self folder's entries.
inline std::set<std::string> entries(const char* folder) {
  std::set<std::string> names;
  DIR* listing = ::opendir(folder);
  if (listing == nullptr) return names;
  while (const dirent* entry = ::readdir(listing)) {
    if (entry->d_name[0] != '.') names.insert(entry->d_name);
  }
  ::closedir(listing);
  return names;
}

// The process's threads by kernel id. A joined thread stays listed a moment after join
// returns (the kernel, or an emulator, lists it until it has fully exited), so tests compare
// sets and wait for threads to leave rather than compare counts once.
inline std::set<std::string> threads() { return entries("/proc/self/task"); }

// The open file descriptors (the one that lists them included, which every listing has).
inline std::set<std::string> fileDescriptors() { return entries("/proc/self/fd"); }

inline std::set<std::string> newThreads(const std::set<std::string>& before) {
  std::set<std::string> added;
  for (const std::string& id : threads()) {
    if (before.count(id) == 0) added.insert(id);
  }
  return added;
}

// Waits, within 30 seconds, until no thread is running that was not running before.
inline bool noThreadBeyond(const std::set<std::string>& before) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!newThreads(before).empty()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

}  // namespace process_state
