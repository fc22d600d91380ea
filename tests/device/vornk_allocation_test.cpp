// A sampling cycle with its round allocates nothing of its own once the process is warm.
#include <gtest/gtest.h>

#include "tests/support/allocation_counter.h"
#include "tests/support/exposed_vornk.h"
#include "tests/support/rounds.h"

using namespace vk::test;

TEST(Allocation, FullCycleAllocatesNothing) {
  ExposedVornk device;
  device.AttachBacnetClient(std::make_shared<vk::doubles::InProcessDevice>());
  device.endpointText = "sim";
  std::size_t allocations = 0;
  const auto lines = capturedLines([&] {
    device.do_sample();  // warms standard output and the time zone
    allocations = vk::test::allocation_counter::countOnThisThread([&] { device.do_sample(); });
  });
  EXPECT_EQ(lines.size(), 2 * (1 + vk::device::kPoints.size() + 1));
  EXPECT_EQ(allocations, 0u);
  // The counter does see allocations.
  EXPECT_EQ(vk::test::allocation_counter::countOnThisThread(
                [] { ::operator delete(::operator new(16)); }),
            1u);
}
