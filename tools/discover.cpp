#include "tools/discover.h"

#include "bacnet/enumerations.h"
#include "tools/device_address.h"

namespace vk::tools {

std::string discoveryText(const std::vector<bacnet::DiscoveredDevice>& devices,
                          std::chrono::milliseconds timeout) {
  std::string text;
  for (const bacnet::DiscoveredDevice& device : devices) {
    const std::uint32_t segmentation = device.iAm.segmentation;
    const auto name =
        bacnet::nameOf(bacnet::kSegmentationNames, static_cast<bacnet::Segmentation>(segmentation));
    text += "device " + std::to_string(device.iAm.deviceInstance) + " at " +
            deviceUrl(device.from) + ": max APDU " + std::to_string(device.iAm.maxApdu) +
            ", segmentation " + (name ? std::string(*name) : std::to_string(segmentation)) +
            ", vendor " + std::to_string(device.iAm.vendorId) + "\n";
  }
  text += std::to_string(devices.size()) + (devices.size() == 1 ? " device" : " devices") +
          " answered within " + std::to_string(timeout.count()) + " ms\n";
  return text;
}

}  // namespace vk::tools
