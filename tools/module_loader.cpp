#include "tools/module_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "tools/setup_error.h"

namespace vk::tools {

std::string executableFolder() {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) {
      const int error = errno;
      throw SetupError(std::string("cannot resolve the executable's path: ") +
                       std::strerror(error));
    }
    if (static_cast<std::size_t>(length) < buffer.size()) {
      const std::string path(buffer.data(), static_cast<std::size_t>(length));
      const std::size_t slash = path.rfind('/');
      if (slash == std::string::npos) {
        throw SetupError("cannot resolve the executable's folder from '" + path + "'");
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

LoadedModule::LoadedModule(const std::string& path)
    : handle_(::dlopen(modulePathForDlopen(path).c_str(), RTLD_NOW | RTLD_LOCAL)) {
  if (handle_ == nullptr) {
    const char* reason = ::dlerror();
    throw SetupError("cannot load module '" + path + "': " + (reason ? reason : "unknown error"));
  }
  ::dlerror();  // clear, so that a null symbol can be told from a failed look-up
  void* symbol = ::dlsym(handle_, "get_providers");
  const char* reason = ::dlerror();
  if (reason != nullptr || symbol == nullptr) {
    const std::string message =
        "module '" + path + "' has no get_providers: " + (reason ? reason : "null symbol");
    ::dlclose(handle_);
    throw SetupError(message);
  }
  getProviders_ = reinterpret_cast<GetProvidersFunction>(symbol);
}

LoadedModule::~LoadedModule() { ::dlclose(handle_); }

}  // namespace vk::tools
