#include "tools/history_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "tools/text_output.h"

namespace vornk_tools {

HistoryFile::~HistoryFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool HistoryFile::open(const std::string& path, std::string& error) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  path_ = path;
  return true;
}

int HistoryFile::append(const unsigned char* data, std::size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  return writeAll(fd_, std::string_view(reinterpret_cast<const char*>(data), length));
}

}  // namespace vornk_tools
