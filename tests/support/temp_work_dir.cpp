#include "tests/support/temp_work_dir.h"

#include <stdlib.h>

#include <fstream>
#include <stdexcept>
#include <system_error>

namespace vk::test {

TempWorkDir::Entered::Entered(const std::filesystem::path& folder)
    : previous_(std::filesystem::current_path()) {
  std::filesystem::current_path(folder);
}

TempWorkDir::Entered::~Entered() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
}

TempWorkDir::TempWorkDir(Entering entering) {
  std::string pattern = (std::filesystem::temp_directory_path() / "vornk-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  if (entering == kEnterNow) entered_.emplace(path_);
}

TempWorkDir::~TempWorkDir() {
  entered_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

const TempWorkDir& TempWorkDir::ofProcess() {
  static const TempWorkDir folder(kEnterOnRequest);
  return folder;
}

void TempWorkDir::write(const std::string& relative, std::string_view text) const {
  const std::filesystem::path file = path_ / relative;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

}  // namespace vk::test
