// vornk-host's --settings file that is no single JSON object.
#include "tools/settings_file.h"

#include <gtest/gtest.h>

#include "tests/support/temp_work_dir.h"
#include "tools/setup_error.h"

using namespace vk::test;

namespace {

// vornk-host's --settings file: text that is no single JSON object is refused with a message
// naming the problem.
TEST(MalformedSettingsFile, IsRefusedWithAMessage) {
  const std::pair<const char*, const char*> bad[] = {
      {"", "invalid JSON: "},         {"{\"appSetting\": ", "invalid JSON: "},
      {"{} {}", "invalid JSON: "},    {"{\"a\": 1, \"a\": 2}", "invalid JSON: "},
      {"{'a': 1}", "invalid JSON: "}, {"[{\"appSetting\": {}}]", "settings must be a JSON object"},
      {"5", "invalid JSON: "},  // strict: an object or an array only
  };
  // The message reading fails with; empty when it does not fail.
  const auto failure = [](const auto& read) -> std::string {
    try {
      read();
    } catch (const vk::tools::SetupError& error) {
      return error.what();
    }
    return {};
  };
  for (const auto& [text, message] : bad) {
    const std::string error = failure([text = text] { vk::tools::parseSettings(text); });
    EXPECT_EQ(error.rfind(message, 0), 0u) << text << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
  TempWorkDir folder;
  EXPECT_EQ(failure([] { vk::tools::loadSettingsFile("absent.json"); }),
            "cannot read settings file 'absent.json': No such file or directory");
}

}  // namespace
