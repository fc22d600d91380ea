// Finding BACnet/IP devices: a Who-Is, then the I-Am answers that come back in time.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "bacnet/codec.h"
#include "bacnet/ip_client.h"
#include "bacnet/udp_socket.h"

namespace vk::bacnet {

struct DiscoveredDevice {
  IAm iAm;
  sockaddr_in from;  // where the I-Am came from
};

// Where a Who-Is goes: to target, or without one to 255.255.255.255 on the default port, which
// needs socket to be allowed to broadcast; that is set here. Throws std::runtime_error when it
// cannot be.
sockaddr_in whoIsDestination(UdpSocket& socket, const std::optional<sockaddr_in>& target);

// Sends one Who-Is to whoIsDestination, from a socket bound to localPort (0: any free port), and
// collects every I-Am received until timeout has passed, in order of arrival; an I-Am from the
// same address and port with the same device instance is listed once. Throws std::runtime_error
// when the socket cannot be opened or the Who-Is cannot be sent.
std::vector<DiscoveredDevice> discoverDevices(std::optional<sockaddr_in> target,
                                              std::chrono::milliseconds timeout,
                                              std::uint16_t localPort = 0);

}  // namespace vk::bacnet
