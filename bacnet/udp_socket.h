// A non-blocking IPv4 UDP socket with a wake-up pipe, so that another thread can end a wait on it
// at once. The BACnet/IP client and the simulated device on the network both use it.
#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vk::bacnet {

// The IPv4 address of host (a name or a dotted quad) with port; empty when it does not resolve,
// with the resolver's reason in reason when given.
std::optional<sockaddr_in> resolveIpv4(const std::string& host, std::uint16_t port,
                                       std::string* reason = nullptr);

// "A.B.C.D:PORT".
std::string addressText(const sockaddr_in& address);

class UdpSocket {
 public:
  // Binds to address:port (network byte order; port 0: any free port). Throws std::runtime_error
  // naming the address when it cannot.
  UdpSocket(in_addr address, std::uint16_t port);
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;
  ~UdpSocket();

  // The port the socket is bound to.
  std::uint16_t localPort() const;
  // Lets the socket send to broadcast addresses. Throws std::runtime_error when it cannot.
  void allowBroadcast();
  // Whether the socket may send to broadcast addresses.
  bool broadcastAllowed() const;

  enum class Wait { Readable, TimedOut, Woken, Failed };
  // Waits until a datagram can be read, timeoutMs passes (negative: no limit) or wake() is called.
  Wait waitReadable(int timeoutMs) const;
  // Makes every wait, now and later, return Woken. Safe from any thread and a signal handler.
  void wake();

  // Reads one datagram into buffer: its full size (more than capacity when it was cut), or -1
  // when none was waiting.
  ssize_t receive(std::uint8_t* buffer, std::size_t capacity, sockaddr_in& from) const;
  // Sends one datagram whole, waiting at most timeoutMs for room to send; false when it is not
  // sent.
  bool sendTo(const sockaddr_in& to, const std::uint8_t* data, std::size_t size,
              int timeoutMs) const;

 private:
  int socket_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
};

}  // namespace vk::bacnet
