// The bounded lock released by a thread that does not hold it: while another thread holds it
// (exclusion would break) or while it is free (it would jam). Either is a bug of the module's,
// named by one line before the process ends.
#include "unidata/bounded_lock.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <mutex>
#include <thread>

TEST(BoundedLockDeathTest, ReleasedByAThreadThatDoesNotHoldItEndsTheProcess) {
#ifdef VORNK_EMULATED
  GTEST_SKIP() << "death tests are unreliable under user-mode emulation";
#endif
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const char* line =
      "the device's round lock released by a thread that does not hold it; ending "
      "the process";
  for (const bool heldElsewhere : {true, false}) {
    SCOPED_TRACE(heldElsewhere ? "held by another thread" : "free");
    EXPECT_DEATH(
        {
          // The module writes its lines to standard output; the death test reads standard error.
          ::dup2(STDERR_FILENO, STDOUT_FILENO);
          vk::unidata::BoundedLock lock("the device's round lock");
          if (heldElsewhere) std::thread([&] { lock.try_lock(); }).join();
          lock.unlock();
        },
        line);
  }
}
