#include "tools/text_output.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/temp_work_dir.h"

using namespace vk::test;

using namespace vk::tools;

// --output truncates the file it names, so the file holds this run's records only.
TEST(HostSetup, AnOutputFileIsTruncatedFirst) {
  const TempWorkDir scratch(TempWorkDir::kEnterOnRequest);
  scratch.write("out.txt", "an earlier run's much longer text\n");
  const std::string path = (scratch.path() / "out.txt").string();
  {
    const TextOutput output(path);
    EXPECT_EQ(writeAll(output.fd(), "new\n"), 0);
  }
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()),
            "new\n");
}
