#include "tools/text_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/setup_error.h"

namespace vk::tools {

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

TextOutput::TextOutput(const std::string& path)
    : fd_(STDERR_FILENO), owned_(!path.empty()), name_(path.empty() ? "standard error" : path) {
  if (!owned_) return;
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    const int error = errno;
    throw SetupError("cannot open output file '" + path + "': " + std::strerror(error));
  }
}

TextOutput::~TextOutput() {
  if (owned_) ::close(fd_);
}

}  // namespace vk::tools
