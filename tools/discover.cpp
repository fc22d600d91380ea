#include "tools/discover.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cstring>

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
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int error = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (error != 0 || found == nullptr) {
    throw SetupError("cannot resolve '" + host +
                     "': " + (error != 0 ? ::gai_strerror(error) : "no IPv4 address"));
  }
  sockaddr_in address{};
  std::memcpy(&address, found->ai_addr, sizeof address);
  ::freeaddrinfo(found);
  address.sin_port = htons(port);
  return address;
}

std::string discoveryText(const std::vector<bacnet::DiscoveredDevice>& devices,
                          std::chrono::milliseconds timeout) {
  std::string text;
  for (const bacnet::DiscoveredDevice& device : devices) {
    char address[INET_ADDRSTRLEN] = "?";
    ::inet_ntop(AF_INET, &device.from.sin_addr, address, sizeof address);
    text += "device " + std::to_string(device.iAm.deviceInstance) + " at " + address + ":" +
            std::to_string(ntohs(device.from.sin_port)) + ": max APDU " +
            std::to_string(device.iAm.maxApdu) + ", segmentation " +
            segmentationName(device.iAm.segmentation) + ", vendor " +
            std::to_string(device.iAm.vendorId) + "\n";
  }
  text += std::to_string(devices.size()) + (devices.size() == 1 ? " device" : " devices") +
          " answered within " + std::to_string(timeout.count()) + " ms\n";
  return text;
}

}  // namespace vornk_tools
