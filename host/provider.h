// Device providers: a module hands these to the host, which asks them to create devices.
#pragma once

#include <memory>
#include <vector>

class VDeviceInterface;

class Provider {
 public:
  Provider() = default;
  Provider(const Provider&) = delete;
  Provider& operator=(const Provider&) = delete;
  virtual ~Provider();
  // A new device that the caller owns and deletes.
  virtual VDeviceInterface* create() const = 0;
};

class ZeqSocketDeviceProvider : public Provider {
 public:
  ~ZeqSocketDeviceProvider() override;
};

// The entry point every module exports, with C linkage, as "get_providers".
using GetProvidersFunction = std::vector<std::shared_ptr<Provider>> (*)();
