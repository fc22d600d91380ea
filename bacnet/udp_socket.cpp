#include "bacnet/udp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace vk::bacnet {

std::optional<sockaddr_in> resolveIpv4(const std::string& host, std::uint16_t port,
                                       std::string* reason) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int error = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (error != 0 || found == nullptr) {
    if (reason != nullptr) *reason = error != 0 ? ::gai_strerror(error) : "no IPv4 address";
    return std::nullopt;
  }
  sockaddr_in address{};
  std::memcpy(&address, found->ai_addr, sizeof address);
  ::freeaddrinfo(found);
  address.sin_port = htons(port);
  return address;
}

std::string addressText(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = "?";
  ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

UdpSocket::UdpSocket(in_addr address, std::uint16_t port) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr = address;
  local.sin_port = htons(port);
  int pipeEnds[2] = {-1, -1};
  socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (socket_ < 0 ||
      ::bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      ::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
    const int error = errno;
    if (socket_ >= 0) ::close(socket_);
    throw std::runtime_error("cannot bind UDP " + addressText(local) + ": " + std::strerror(error));
  }
  wakeRead_ = pipeEnds[0];
  wakeWrite_ = pipeEnds[1];
}

UdpSocket::~UdpSocket() {
  ::close(socket_);
  ::close(wakeRead_);
  ::close(wakeWrite_);
}

std::uint16_t UdpSocket::localPort() const {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (::getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  return ntohs(local.sin_port);
}

void UdpSocket::allowBroadcast() {
  const int on = 1;
  if (::setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
    throw std::runtime_error(std::string("cannot allow UDP broadcasts: ") + std::strerror(errno));
  }
}

bool UdpSocket::broadcastAllowed() const {
  int on = 0;
  socklen_t length = sizeof on;
  return ::getsockopt(socket_, SOL_SOCKET, SO_BROADCAST, &on, &length) == 0 && on != 0;
}

UdpSocket::Wait UdpSocket::waitReadable(int timeoutMs) const {
  pollfd waits[2] = {{socket_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
  const int ready = ::poll(waits, 2, timeoutMs);
  if (ready < 0) return errno == EINTR ? Wait::TimedOut : Wait::Failed;
  if ((waits[1].revents & POLLIN) != 0) return Wait::Woken;
  if ((waits[0].revents & POLLIN) != 0) return Wait::Readable;
  return Wait::TimedOut;
}

void UdpSocket::wake() {
  const char wake = 1;
  [[maybe_unused]] const ssize_t written = ::write(wakeWrite_, &wake, 1);  // full pipe: awake
}

ssize_t UdpSocket::receive(std::uint8_t* buffer, std::size_t capacity, sockaddr_in& from) const {
  socklen_t fromLength = sizeof from;
  const ssize_t size = ::recvfrom(socket_, buffer, capacity, MSG_TRUNC,
                                  reinterpret_cast<sockaddr*>(&from), &fromLength);
  if (size >= 0 && fromLength != sizeof from) return -1;  // not an IPv4 sender
  return size;
}

bool UdpSocket::sendTo(const sockaddr_in& to, const std::uint8_t* data, std::size_t size,
                       int timeoutMs) const {
  for (;;) {
    const ssize_t sent =
        ::sendto(socket_, data, size, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (sent == static_cast<ssize_t>(size)) return true;
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd writable{socket_, POLLOUT, 0};
      if (::poll(&writable, 1, timeoutMs) == 1 && (writable.revents & POLLOUT) != 0) continue;
    }
    return false;
  }
}

}  // namespace vk::bacnet
