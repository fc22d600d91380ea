#include "tools/module_loader.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace vk::tools;

// A bare file name is looked up in the current folder, not on the library path.
TEST(HostSetup, ModulePathsForDlopen) {
  const std::pair<std::string, std::string> cases[] = {{"vornk.so", "./vornk.so"},
                                                       {"./vornk.so", "./vornk.so"},
                                                       {"lib/vornk.so", "lib/vornk.so"},
                                                       {"/opt/zeq/vornk.so", "/opt/zeq/vornk.so"}};
  for (const auto& [given, opened] : cases) EXPECT_EQ(modulePathForDlopen(given), opened);
  EXPECT_EQ(executableFolder(),
            std::filesystem::read_symlink("/proc/self/exe").parent_path().string());
}
