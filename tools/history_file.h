// The history file of vornk-host: every stored record appended as its raw bytes.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>

namespace vornk_tools {

class HistoryFile {
 public:
  HistoryFile() = default;
  HistoryFile(const HistoryFile&) = delete;
  HistoryFile& operator=(const HistoryFile&) = delete;
  ~HistoryFile();

  // Opens path for appending, creating it when missing; false with error set when it cannot.
  bool open(const std::string& path, std::string& error);
  // Appends one record; records of several devices never interleave. 0, or the errno of the
  // failed write.
  int append(const unsigned char* data, std::size_t length);
  const std::string& path() const { return path_; }

 private:
  std::mutex mutex_;
  int fd_ = -1;
  std::string path_;
};

}  // namespace vornk_tools
