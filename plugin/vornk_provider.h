// The module's provider: creates vornk devices for the host.
#pragma once

#include <memory>
#include <vector>

#include "provider.h"

class vornkProvider final : public ZeqSocketDeviceProvider {
 public:
  vornkProvider() = default;
  ~vornkProvider() override;
  // A new, unconfigured vornk device owned by the caller.
  VDeviceInterface* create() const override;
};

// The module's only exported symbol: a new list holding one new vornkProvider.
extern "C" __attribute__((visibility("default"))) std::vector<std::shared_ptr<Provider>>
get_providers();
