// The history file of vornk-host: every stored record appended as its raw bytes.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>

namespace vk::tools {

class HistoryFile {
 public:
  // Opens path for appending, creating it when missing; throws SetupError when it cannot.
  explicit HistoryFile(const std::string& path);
  HistoryFile(const HistoryFile&) = delete;
  HistoryFile& operator=(const HistoryFile&) = delete;
  ~HistoryFile();

  // Appends one record; records of several devices never interleave. 0, or the errno of the
  // failed write.
  int append(const unsigned char* data, std::size_t length);
  const std::string& path() const { return path_; }

 private:
  std::mutex mutex_;
  const std::string path_;
  const int fd_;
};

}  // namespace vk::tools
