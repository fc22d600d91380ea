// vornk-host discover: the devices that answer a Who-Is, as readable lines.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <string>
#include <vector>

#include "bacnet/discovery.h"

namespace vk::tools {

// The IPv4 address of host (a name or dotted quad) with port; throws SetupError when the host
// does not resolve.
sockaddr_in resolveTarget(const std::string& host, std::uint16_t port);

// One line per device, "device 5156 at 127.0.0.1:47808: max APDU 1476, segmentation none, vendor
// 65535", then a line counting them.
std::string discoveryText(const std::vector<bacnet::DiscoveredDevice>& devices,
                          std::chrono::milliseconds timeout);

}  // namespace vk::tools
