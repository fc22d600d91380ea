// The module's provider: creates vornk devices for the host.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "unidata/host.h"

class vornkProvider final : public ZeqSocketDeviceProvider {
 public:
  vornkProvider() = default;
  ~vornkProvider() override;
  // The host's device pointer type, as its create() declares it.
  using DevicePointer = decltype(std::declval<const ZeqSocketDeviceProvider&>().create());

  // A new, unconfigured vornk device owned by the caller.
  DevicePointer create() const override;
};

// The module's only exported symbol: a new list holding one new vornkProvider.
extern "C" __attribute__((visibility("default"))) std::vector<std::shared_ptr<Provider>>
get_providers();
