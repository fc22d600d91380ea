// The module's provider: creates vornk devices for the host.
#pragma once

#include <memory>
#include <vector>

#include "unidata/host.h"

class vornkProvider final : public ZeqSocketDeviceProvider {
 public:
  vornkProvider() = default;
  ~vornkProvider() override;

  // A new, unconfigured vornk device owned by the caller, as the host's device pointer type.
  auto create() const -> decltype(this->ZeqSocketDeviceProvider::create()) override;
};

// The module's only exported symbol: a new list holding one new vornkProvider.
extern "C" __attribute__((visibility("default"))) std::vector<std::shared_ptr<Provider>>
get_providers();
