#include "tools/text_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vornk_tools {

int writeAll(int fd, std::string_view text) {
  const char* next = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, next, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;  // no progress: give up rather than spin
    next += written;
    left -= static_cast<std::size_t>(written);
  }
  return 0;
}

TextOutput::TextOutput() : fd_(STDERR_FILENO), name_("standard error") {}

TextOutput::~TextOutput() {
  if (owned_) ::close(fd_);
}

bool TextOutput::openFile(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = "cannot open output file '" + path + "': " + std::strerror(errno);
    return false;
  }
  if (owned_) ::close(fd_);
  fd_ = fd;
  owned_ = true;
  name_ = path;
  return true;
}

}  // namespace vornk_tools
