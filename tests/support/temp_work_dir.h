// A fresh temporary folder (made with mkdtemp, so two processes never share one), removed with
// everything in it when the object ends. The module reads its configuration files relative to
// the working directory, so the folder is the working directory while the object lives; made
// with kEnterOnRequest, only while an object that enter() returns lives.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vk::test {

class TempWorkDir {
 public:
  enum Entering { kEnterNow, kEnterOnRequest };

  // The working directory set to a folder while the object lives, the previous one afterwards.
  class Entered {
   public:
    explicit Entered(const std::filesystem::path& folder);
    Entered(const Entered&) = delete;
    Entered& operator=(const Entered&) = delete;
    ~Entered();

   private:
    std::filesystem::path previous_;
  };

  explicit TempWorkDir(Entering entering = kEnterNow);
  TempWorkDir(const TempWorkDir&) = delete;
  TempWorkDir& operator=(const TempWorkDir&) = delete;
  ~TempWorkDir();

  // One folder for the whole process, made at the first call, removed at exit and entered only on
  // request: for fuzz targets, whose own paths stay relative to the folder they started in.
  static const TempWorkDir& ofProcess();

  [[nodiscard]] Entered enter() const { return Entered(path_); }

  // Writes a file at a path relative to the folder, making its parent folders; throws
  // std::runtime_error when it cannot.
  void write(const std::string& relative, std::string_view text) const;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::optional<Entered> entered_;
};

}  // namespace vk::test
