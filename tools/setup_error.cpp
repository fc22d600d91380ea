#include "tools/setup_error.h"

namespace vk::tools {

SetupError SetupError::commandLine(std::string_view command, const std::string& message) {
  SetupError error(message, 2);
  error.command_ = std::string(command);
  return error;
}

std::string SetupError::line(std::string_view program) const {
  std::string text(program);
  if (!command_) return text + ": " + what();
  if (!command_->empty()) text += " " + *command_;
  return text + ": " + what() + " (see " + std::string(program) + " --help)";
}

}  // namespace vk::tools
