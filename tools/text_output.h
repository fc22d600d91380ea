// Where vornk-host writes readable records: standard error or a file.
#pragma once

#include <string>
#include <string_view>

namespace vk::tools {

// Writes all of text to fd, resuming after partial writes and interruptions. Returns 0, or the
// errno of the write that failed.
int writeAll(int fd, std::string_view text);

// The destination of readable records; closes a file it opened.
class TextOutput {
 public:
  // Standard error for an empty path, else the file at path, created or truncated; throws
  // SetupError when it cannot be opened.
  explicit TextOutput(const std::string& path = {});
  TextOutput(const TextOutput&) = delete;
  TextOutput& operator=(const TextOutput&) = delete;
  ~TextOutput();

  int fd() const { return fd_; }
  // "standard error" or the file's path, for messages.
  const std::string& name() const { return name_; }

 private:
  int fd_;
  bool owned_;  // fd_ is a file opened here
  std::string name_;
};

}  // namespace vk::tools
