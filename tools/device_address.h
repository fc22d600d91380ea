// A BACnet/IP device's address as the tools take and show it: the endpoint text HOST:PORT, and
// bacnet-ip://HOST:PORT.
#pragma once

#include <netinet/in.h>

#include <string>

namespace vk::tools {

// The IPv4 address of the endpoint text HOST:PORT (a host name or a dotted quad); throws
// SetupError naming the host and the resolver's reason when it does not resolve.
sockaddr_in resolveEndpoint(const std::string& endpoint);

// "bacnet-ip://127.0.0.1:47808", which --device and --target take as it is.
std::string deviceUrl(const sockaddr_in& address);

}  // namespace vk::tools
