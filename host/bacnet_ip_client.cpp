#include "bacnet_ip_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <stdexcept>

namespace {

std::runtime_error systemError(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}

bool sameAddress(const sockaddr_in& a, const sockaddr_in& b) {
  return a.sin_family == b.sin_family && a.sin_port == b.sin_port &&
         a.sin_addr.s_addr == b.sin_addr.s_addr;
}

}  // namespace

BacnetIpClient::BacnetIpClient(BacnetIpSettings settings) : settings_(settings) {
  socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (socket_ < 0) throw systemError("cannot open a UDP socket");
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(settings_.localPort);
  int pipeEnds[2];
  if (::bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    const std::runtime_error error =
        systemError("cannot bind UDP port " + std::to_string(settings_.localPort));
    ::close(socket_);
    throw error;
  }
  if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
    const std::runtime_error error = systemError("cannot open a pipe");
    ::close(socket_);
    throw error;
  }
  wakeRead_ = pipeEnds[0];
  wakeWrite_ = pipeEnds[1];
}

BacnetIpClient::~BacnetIpClient() {
  ::close(socket_);
  ::close(wakeRead_);
  ::close(wakeWrite_);
}

std::uint16_t BacnetIpClient::localPort() const {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (::getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  return ntohs(local.sin_port);
}

void BacnetIpClient::interrupt() {
  interrupted_ = true;
  const char wake = 1;
  [[maybe_unused]] const ssize_t written = ::write(wakeWrite_, &wake, 1);  // full pipe: awake
}

bool BacnetIpClient::resolve(const std::string& endpoint) {
  if (endpoint == endpoint_) return true;
  const std::size_t colon = endpoint.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  const std::string host = endpoint.substr(0, colon);
  const std::string portText = endpoint.substr(colon + 1);
  unsigned port = 0;
  const auto [end, error] =
      std::from_chars(portText.data(), portText.data() + portText.size(), port);
  if (error != std::errc() || end != portText.data() + portText.size() || port == 0 ||
      port > 65535) {
    return false;
  }

  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
  std::memcpy(&peer_, found->ai_addr, sizeof peer_);
  ::freeaddrinfo(found);
  peer_.sin_port = htons(static_cast<std::uint16_t>(port));
  endpoint_ = endpoint;
  return true;
}

bool BacnetIpClient::transmit() {
  for (;;) {
    const ssize_t sent = ::sendto(socket_, frame_.data(), frame_.size(), 0,
                                  reinterpret_cast<const sockaddr*>(&peer_), sizeof peer_);
    if (sent == static_cast<ssize_t>(frame_.size())) return true;
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd writable{socket_, POLLOUT, 0};
      ::poll(&writable, 1, static_cast<int>(settings_.apduTimeout.count()));
      if ((writable.revents & POLLOUT) != 0 && !interrupted_) continue;
    }
    return false;
  }
}

bool BacnetIpClient::SendReadProperty(const std::string& endpoint, BACnetObjectType type,
                                      std::uint32_t instance, BACNET_PROPERTY_ID property,
                                      std::uint32_t arrayIndex) {
  pending_ = false;
  if (interrupted_ || !resolve(endpoint)) return false;
  request_ = {nextInvokeId_++, type, instance, property, arrayIndex};
  frame_ = bacnet::encodeReadPropertyRequest(request_);
  if (frame_.empty() || !transmit()) return false;
  pending_ = true;
  return true;
}

bool BacnetIpClient::Receive(std::uint32_t& value) {
  if (!pending_) return false;
  pending_ = false;
  using Clock = std::chrono::steady_clock;
  // One byte more than the largest datagram, so that an oversized one is seen as such.
  std::uint8_t buffer[bacnet::kMaxDatagram + 1];

  for (unsigned attempt = 0; attempt <= settings_.retries; ++attempt) {
    if (attempt > 0 && !transmit()) return false;
    const Clock::time_point deadline = Clock::now() + settings_.apduTimeout;
    for (;;) {
      if (interrupted_) return false;
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) break;
      pollfd waits[2] = {{socket_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
      const int ready = ::poll(waits, 2, static_cast<int>(left));
      if (ready < 0 && errno != EINTR) return false;
      if (ready <= 0 || (waits[0].revents & POLLIN) == 0) continue;

      sockaddr_in from{};
      socklen_t fromLength = sizeof from;
      const ssize_t size = ::recvfrom(socket_, buffer, sizeof buffer, MSG_TRUNC,
                                      reinterpret_cast<sockaddr*>(&from), &fromLength);
      if (size < 0 || static_cast<std::size_t>(size) > bacnet::kMaxDatagram ||
          fromLength != sizeof from || !sameAddress(from, peer_)) {
        continue;  // nothing, oversized, or not from the device
      }
      const bacnet::Answer answer =
          bacnet::decodeReadPropertyAnswer(buffer, static_cast<std::size_t>(size), request_);
      if (answer.kind == bacnet::AnswerKind::Ignored) continue;
      if (answer.kind != bacnet::AnswerKind::Value) return false;
      value = answer.value;
      return true;
    }
  }
  return false;
}
