// Loading a device module and getting its providers.
#pragma once

#include <string>

#include "provider.h"

namespace vk::tools {

// The folder holding the running executable, from /proc/self/exe; throws SetupError when it cannot
// be resolved.
std::string executableFolder();

// The path handed to dlopen for a user-given module path. A path without a '/' would make dlopen
// search the library path instead of the current folder, so it gets a "./" in front.
std::string modulePathForDlopen(const std::string& path);

// A loaded module. Unloads it on destruction: destroy every object the module created first.
class LoadedModule {
 public:
  // dlopen (RTLD_NOW | RTLD_LOCAL) and look up get_providers; throws SetupError (with dlerror's
  // text) when either fails.
  explicit LoadedModule(const std::string& path);
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;
  ~LoadedModule();

  GetProvidersFunction getProviders() const { return getProviders_; }

 private:
  void* handle_;
  GetProvidersFunction getProviders_;
};

}  // namespace vk::tools
