// Finding BACnet/IP devices: a Who-Is, then the I-Am answers that come back in time.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "bacnet/codec.h"
#include "bacnet/ip_client.h"

namespace bacnet {

struct DiscoveredDevice {
  IAm iAm;
  sockaddr_in from;  // where the I-Am came from
};

// Sends one Who-Is to target (a unicast address and port), or, when target is empty, broadcasts
// it to 255.255.255.255:47808, from a socket bound to localPort (0: any free port), and collects
// every I-Am received until timeout has passed, in order of arrival; an I-Am from the same address
// and port with the same device instance is listed once. Throws std::runtime_error when the
// socket cannot be opened or the Who-Is cannot be sent.
std::vector<DiscoveredDevice> discoverDevices(std::optional<sockaddr_in> target,
                                              std::chrono::milliseconds timeout,
                                              std::uint16_t localPort = 0);

}  // namespace bacnet
