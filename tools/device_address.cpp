#include "tools/device_address.h"

#include "bacnet/ip_client.h"
#include "bacnet/udp_socket.h"
#include "tools/setup_error.h"

namespace vk::tools {

sockaddr_in resolveEndpoint(const std::string& endpoint) {
  std::string why;
  if (const std::optional<sockaddr_in> address = bacnet::resolveEndpoint(endpoint, why)) {
    return *address;
  }
  throw SetupError(why);
}

std::string deviceUrl(const sockaddr_in& address) {
  return std::string(bacnet::kUrlScheme) + bacnet::addressText(address);
}

}  // namespace vk::tools
