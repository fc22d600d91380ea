// Counts the heap allocations that the calling thread makes while a function runs. The test
// binary replaces the global operator new for this.
#pragma once

#include <cstddef>
#include <functional>

namespace vk::test::allocation_counter {

std::size_t countOnThisThread(const std::function<void()>& f);

}  // namespace vk::test::allocation_counter
