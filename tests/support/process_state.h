// What a test can see of the process from outside the code under test: its threads and its open
// file descriptors, to show that devices and modules leave none behind. Both are read from
// /proc/self, so cases running in other processes at the same time never show in them.
#pragma once

#include <set>
#include <string>

namespace vk::test::process_state {

// The names of a /proc/self folder's entries.
std::set<std::string> entries(const char* folder);

// The process's threads by kernel id. A joined thread stays listed a moment after join
// returns (the kernel, or an emulator, lists it until it has fully exited), so tests compare
// sets and wait for threads to leave rather than compare counts once.
std::set<std::string> threads();

// The open file descriptors (the one that lists them included, which every listing has).
std::set<std::string> fileDescriptors();

std::set<std::string> newThreads(const std::set<std::string>& before);

// Waits, within 30 seconds, until no thread is running that was not running before.
bool noThreadBeyond(const std::set<std::string>& before);

}  // namespace vk::test::process_state
