#include "tests/support/loopback_socket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vk::test {

using bacnet::Frame;

sockaddr_in loopbackAddress(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

LoopbackSocket::LoopbackSocket() {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const sockaddr_in local = loopbackAddress(0);
  EXPECT_EQ(::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local), 0);
}

LoopbackSocket::~LoopbackSocket() { ::close(fd_); }

std::uint16_t LoopbackSocket::port() const {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
  return ntohs(local.sin_port);
}

void LoopbackSocket::sendTo(std::uint16_t port, const Frame& frame) const {
  const sockaddr_in to = loopbackAddress(port);
  EXPECT_EQ(::sendto(fd_, frame.data(), frame.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                     sizeof to),
            static_cast<ssize_t>(frame.size()));
}

Frame LoopbackSocket::receive(std::uint16_t* from) const {
  pollfd wait{fd_, POLLIN, 0};
  if (::poll(&wait, 1, 1000) != 1) return {};
  Frame frame(2048);
  sockaddr_in sender{};
  socklen_t length = sizeof sender;
  const ssize_t size =
      ::recvfrom(fd_, frame.data(), frame.size(), 0, reinterpret_cast<sockaddr*>(&sender), &length);
  frame.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
  if (from != nullptr) *from = ntohs(sender.sin_port);
  return frame;
}

bool LoopbackSocket::pending() const {
  pollfd wait{fd_, POLLIN, 0};
  return ::poll(&wait, 1, 0) == 1;
}

}  // namespace vk::test
