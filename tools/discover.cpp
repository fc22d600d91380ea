#include "tools/discover.h"

#include "bacnet/udp_socket.h"
#include "tools/setup_error.h"

namespace vornk_tools {

namespace {

std::string segmentationName(std::uint32_t segmentation) {
  switch (segmentation) {
    case 0:
      return "both";
    case 1:
      return "transmit";
    case 2:
      return "receive";
    case 3:
      return "none";
  }
  return std::to_string(segmentation);
}

}  // namespace

sockaddr_in resolveTarget(const std::string& host, std::uint16_t port) {
  std::string reason;
  if (const std::optional<sockaddr_in> address = resolveIpv4(host, port, &reason)) return *address;
  throw SetupError("cannot resolve '" + host + "': " + reason);
}

std::string discoveryText(const std::vector<bacnet::DiscoveredDevice>& devices,
                          std::chrono::milliseconds timeout) {
  std::string text;
  for (const bacnet::DiscoveredDevice& device : devices) {
    text += "device " + std::to_string(device.iAm.deviceInstance) + " at " +
            addressText(device.from) + ": max APDU " + std::to_string(device.iAm.maxApdu) +
            ", segmentation " + segmentationName(device.iAm.segmentation) + ", vendor " +
            std::to_string(device.iAm.vendorId) + "\n";
  }
  text += std::to_string(devices.size()) + (devices.size() == 1 ? " device" : " devices") +
          " answered within " + std::to_string(timeout.count()) + " ms\n";
  return text;
}

}  // namespace vornk_tools
