// The SetupError that a call throws, for the tests of how the tools fail.
#pragma once

#include <string>

#include "tools/setup_error.h"

namespace vk::test {

// The SetupError that call throws, as "STATUS: MESSAGE"; "none" when it throws none.
template <class Call>
std::string failureOf(Call call) {
  try {
    call();
  } catch (const tools::SetupError& error) {
    return std::to_string(error.exitStatus()) + ": " + error.what();
  }
  return "none";
}

}  // namespace vk::test
