#include "tools/device_address.h"

#include "bacnet/ip_client.h"
#include "bacnet/udp_socket.h"
#include "tools/setup_error.h"

namespace vk::tools {

sockaddr_in resolveEndpoint(const std::string& endpoint) {
  const std::optional<bacnet::HostAndPort> parsed = bacnet::parseHostAndPort(endpoint);
  if (!parsed) throw SetupError("the endpoint '" + endpoint + "' is not HOST:PORT");
  std::string reason;
  if (const std::optional<sockaddr_in> address =
          bacnet::resolveIpv4(parsed->host, parsed->port, &reason)) {
    return *address;
  }
  throw SetupError("cannot resolve '" + parsed->host + "': " + reason);
}

std::string deviceUrl(const sockaddr_in& address) {
  return std::string(bacnet::kUrlScheme) + bacnet::addressText(address);
}

}  // namespace vk::tools
