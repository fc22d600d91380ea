#include "tools/history_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "tools/setup_error.h"
#include "tools/text_output.h"

namespace vk::tools {

HistoryFile::HistoryFile(const std::string& path)
    : path_(path), fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644)) {
  if (fd_ < 0) {
    const int error = errno;
    throw SetupError("cannot open " + path + ": " + std::strerror(error));
  }
}

HistoryFile::~HistoryFile() { ::close(fd_); }

int HistoryFile::append(const unsigned char* data, std::size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  return writeAll(fd_, std::string_view(reinterpret_cast<const char*>(data), length));
}

}  // namespace vk::tools
