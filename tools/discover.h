// vornk-host discover: the devices that answer a Who-Is, as readable lines.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "bacnet/discovery.h"

namespace vk::tools {

// One line per device, "device 5156 at bacnet-ip://127.0.0.1:47808: max APDU 1476, segmentation
// none, vendor 65535", then a line counting them.
std::string discoveryText(const std::vector<bacnet::DiscoveredDevice>& devices,
                          std::chrono::milliseconds timeout);

}  // namespace vk::tools
