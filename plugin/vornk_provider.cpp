#include "plugin/vornk_provider.h"

#include "device/vornk.h"

vornkProvider::~vornkProvider() = default;

auto vornkProvider::create() const -> decltype(this->ZeqSocketDeviceProvider::create()) {
  return new vornk();
}

std::vector<std::shared_ptr<Provider>> get_providers() {
  std::vector<std::shared_ptr<Provider>> providers;
  providers.push_back(std::make_shared<vornkProvider>());
  return providers;
}
