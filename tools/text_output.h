// Where vornk-host writes readable records: standard error or a file.
#pragma once

#include <string>
#include <string_view>

namespace vornk_tools {

// Writes all of text to fd, resuming after partial writes and interruptions. Returns 0, or the
// errno of the write that failed.
int writeAll(int fd, std::string_view text);

// The destination of readable records; closes a file it opened.
class TextOutput {
 public:
  // Standard error.
  TextOutput();
  TextOutput(const TextOutput&) = delete;
  TextOutput& operator=(const TextOutput&) = delete;
  ~TextOutput();

  // Opens (creating or truncating) the file at path; false with error set when it cannot.
  bool openFile(const std::string& path, std::string& error);

  int fd() const { return fd_; }
  // "standard error" or the file's path, for messages.
  const std::string& name() const { return name_; }

 private:
  int fd_;
  bool owned_ = false;
  std::string name_;
};

}  // namespace vornk_tools
