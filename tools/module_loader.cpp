#include "tools/module_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace vornk_tools {

std::string executableFolder(std::string& error) {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) {
      error = std::string("cannot resolve the executable's path: ") + std::strerror(errno);
      return {};
    }
    if (static_cast<std::size_t>(length) < buffer.size()) {
      const std::string path(buffer.data(), static_cast<std::size_t>(length));
      const std::size_t slash = path.rfind('/');
      if (slash == std::string::npos) {
        error = "cannot resolve the executable's folder from '" + path + "'";
        return {};
      }
      return slash == 0 ? std::string("/") : path.substr(0, slash);
    }
    buffer.resize(buffer.size() * 2);  // possibly truncated: try again with more room
  }
}

std::string modulePathForDlopen(const std::string& path) {
  if (path.find('/') == std::string::npos) return "./" + path;
  return path;
}

LoadedModule::~LoadedModule() {
  if (handle_ != nullptr) ::dlclose(handle_);
}

bool LoadedModule::load(const std::string& path, std::string& error) {
  const std::string target = modulePathForDlopen(path);
  void* handle = ::dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = ::dlerror();
    error = "cannot load module '" + path + "': " + (reason ? reason : "unknown error");
    return false;
  }
  ::dlerror();  // clear, so that a null symbol can be told from a failed look-up
  void* symbol = ::dlsym(handle, "get_providers");
  const char* reason = ::dlerror();
  if (reason != nullptr || symbol == nullptr) {
    error = "module '" + path + "' has no get_providers: " + (reason ? reason : "null symbol");
    ::dlclose(handle);
    return false;
  }
  if (handle_ != nullptr) ::dlclose(handle_);
  handle_ = handle;
  getProviders_ = reinterpret_cast<GetProvidersFunction>(symbol);
  return true;
}

}  // namespace vornk_tools
