// Support shared by the fuzz targets: a vornk device that imports settings and completes rounds
// on the calling thread only, against a recording host and without a BACnet client, and a private
// working folder for configuration files.
#pragma once

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "device/vornk.h"
#include "doubles/recording_services.h"

class FuzzVornk : public vornk {
 public:
  // A stop requested up front keeps InitSetting from starting the sampling thread, so the real
  // InitSetting runs while nothing sleeps or touches the network.
  FuzzVornk() : vornk(std::chrono::hours(1)), host(std::make_shared<RecordingServices>()) {
    requestStop();
    AttachHostServices(host);
  }
  ~FuzzVornk() override { stopSampling(); }

  using vornk::aiSignalMap_;

  // The round's values, as a concrete driver's GenJsonData would put them into valueMap_.
  Json::Value values;
  void GenJsonData() override { valueMap_ = values; }

  // Completes one round through the cache path with a zero record.
  void round() {
    static const unsigned char zeros[kRecordSize] = {};
    LoadFromCache(zeros, kRecordSize);
  }

  std::shared_ptr<RecordingServices> host;
};

// A fresh temporary folder, removed at exit, that is the working directory while an object of
// this class lives: the module reads its configuration files relative to the working directory,
// while libFuzzer's own paths stay relative to the one it was started in.
class PrivateWorkDir {
 public:
  PrivateWorkDir() : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder());
  }
  PrivateWorkDir(const PrivateWorkDir&) = delete;
  PrivateWorkDir& operator=(const PrivateWorkDir&) = delete;
  ~PrivateWorkDir() { std::filesystem::current_path(previous_); }

 private:
  static const std::filesystem::path& folder() {
    static const std::filesystem::path path = [] {
      std::string pattern = (std::filesystem::temp_directory_path() / "vornk-fuzz-XXXXXX").string();
      if (::mkdtemp(pattern.data()) == nullptr) std::abort();
      std::filesystem::create_directories(std::filesystem::path(pattern) / "ini");
      std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(folder(), ignored);
      });
      return std::filesystem::path(pattern);
    }();
    return path;
  }

  std::filesystem::path previous_;
};

inline void writeFile(const char* name, const unsigned char* data, std::size_t size) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) std::abort();
}
