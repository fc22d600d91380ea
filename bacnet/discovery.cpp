#include "bacnet/discovery.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace vk::bacnet {

sockaddr_in whoIsDestination(UdpSocket& socket, const std::optional<sockaddr_in>& target) {
  if (target) return *target;
  socket.allowBroadcast();
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
  to.sin_port = htons(kDefaultPort);
  return to;
}

std::vector<DiscoveredDevice> discoverDevices(std::optional<sockaddr_in> target,
                                              std::chrono::milliseconds timeout,
                                              std::uint16_t localPort) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + timeout;
  UdpSocket socket(in_addr{htonl(INADDR_ANY)}, localPort);
  const sockaddr_in to = whoIsDestination(socket, target);
  const Frame whoIs = encodeWhoIs(!target);
  const int sendTimeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(
      std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count(), 0));
  if (!socket.sendTo(to, whoIs.data(), whoIs.size(), sendTimeout)) {
    const int error = errno;
    throw std::runtime_error("cannot send Who-Is to " + addressText(to) + ": " +
                             std::strerror(error));
  }

  std::vector<DiscoveredDevice> found;
  // One byte more than the largest datagram, so that an oversized one is seen as such.
  std::uint8_t buffer[kMaxDatagram + 1];
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    const UdpSocket::Wait wait = socket.waitReadable(static_cast<int>(left));
    if (wait == UdpSocket::Wait::Failed) break;
    if (wait != UdpSocket::Wait::Readable) continue;
    sockaddr_in from{};
    const ssize_t size = socket.receive(buffer, sizeof buffer, from);
    if (size < 0 || static_cast<std::size_t>(size) > kMaxDatagram) continue;
    const std::optional<IAm> iAm = decodeIAm(buffer, static_cast<std::size_t>(size));
    if (!iAm) continue;
    const bool known = std::any_of(found.begin(), found.end(), [&](const DiscoveredDevice& device) {
      return device.from.sin_addr.s_addr == from.sin_addr.s_addr &&
             device.from.sin_port == from.sin_port &&
             device.iAm.deviceInstance == iAm->deviceInstance;
    });
    if (!known) found.push_back({*iAm, from});
  }
  return found;
}

}  // namespace vk::bacnet
