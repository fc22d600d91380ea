#include "bacnet/ip_client.h"

#include <arpa/inet.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <utility>

namespace vk::bacnet {

std::optional<HostAndPort> parseHostAndPort(std::string_view text,
                                            std::optional<std::uint16_t> defaultPort) {
  if (text.substr(0, kUrlScheme.size()) == kUrlScheme) text.remove_prefix(kUrlScheme.size());
  const std::size_t colon = text.rfind(':');
  if (colon == 0 || text.empty() || (colon == std::string_view::npos && !defaultPort)) {
    return std::nullopt;
  }
  if (colon == std::string_view::npos) return HostAndPort{std::string(text), *defaultPort};
  const std::string_view port = text.substr(colon + 1);
  unsigned number = 0;
  const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
  if (port.empty() || error != std::errc() || end != port.data() + port.size() || number == 0 ||
      number > 65535) {
    return std::nullopt;
  }
  return HostAndPort{std::string(text.substr(0, colon)), static_cast<std::uint16_t>(number)};
}

std::optional<sockaddr_in> resolveEndpoint(const std::string& endpoint, std::string& why) {
  const std::optional<HostAndPort> parsed = parseHostAndPort(endpoint);
  if (!parsed) {
    why = "the endpoint '" + endpoint + "' is not HOST:PORT";
    return std::nullopt;
  }
  std::string reason;
  const std::optional<sockaddr_in> address = resolveIpv4(parsed->host, parsed->port, &reason);
  if (!address) why = "cannot resolve '" + parsed->host + "': " + reason;
  return address;
}

namespace {

bool sameAddress(const sockaddr_in& a, const sockaddr_in& b) {
  return a.sin_family == b.sin_family && a.sin_port == b.sin_port &&
         a.sin_addr.s_addr == b.sin_addr.s_addr;
}

}  // namespace

BacnetIpClient::BacnetIpClient(BacnetIpSettings settings)
    : settings_(settings), socket_(in_addr{htonl(INADDR_ANY)}, settings.localPort) {}

std::uint16_t BacnetIpClient::localPort() const { return socket_.localPort(); }

void BacnetIpClient::interrupt() {
  interrupted_ = true;
  socket_.wake();
}

bool BacnetIpClient::resolve(const std::string& endpoint) {
  if (endpoint == endpoint_) return true;
  std::string why;
  const std::optional<sockaddr_in> address = resolveEndpoint(endpoint, why);
  if (!address) return notSent(std::move(why));
  peer_ = *address;
  endpoint_ = endpoint;
  return true;
}

bool BacnetIpClient::fail(ReadFailure::Kind kind, std::uint32_t errorClass,
                          std::uint32_t errorCode) {
  lastFailure_ = ReadFailure{kind, tries_, errorClass, errorCode};
  return false;
}

bool BacnetIpClient::notSent(std::string reason) {
  fail(ReadFailure::Kind::NotSent);
  lastFailure_->reason = std::move(reason);
  return false;
}

bool BacnetIpClient::transmit() {
  if (interrupted_) return fail(ReadFailure::Kind::Interrupted);
  if (!socket_.sendTo(peer_, frame_.data(), frame_.size(),
                      static_cast<int>(settings_.apduTimeout.count()))) {
    return notSent(std::string("sending to ") + addressText(peer_) +
                   " failed: " + std::strerror(errno));
  }
  ++tries_;
  return true;
}

bool BacnetIpClient::SendReadProperty(const std::string& endpoint, BACnetObjectType type,
                                      std::uint32_t instance, BACNET_PROPERTY_ID property,
                                      std::uint32_t arrayIndex) {
  pending_ = false;
  tries_ = 0;
  lastFailure_.reset();
  if (interrupted_) return fail(ReadFailure::Kind::Interrupted);
  if (!resolve(endpoint)) return false;
  request_ = {nextInvokeId_++, type, instance, property, std::nullopt};
  // The host's BACNET_ARRAY_ALL asks for the whole property: no index in the frame.
  if (arrayIndex != BACNET_ARRAY_ALL) request_.arrayIndex = arrayIndex;
  frame_ = encodeReadPropertyRequest(request_);
  if (frame_.empty()) return notSent("the object does not fit a request");
  if (!transmit()) return false;
  pending_ = true;
  return true;
}

bool BacnetIpClient::Receive(std::uint32_t& value) {
  using Kind = ReadFailure::Kind;
  if (!pending_) {
    // Nothing to wait for: the failed send says why, or no request was sent since the last answer.
    if (lastFailure_) return false;
    tries_ = 0;
    return fail(Kind::NotSent);
  }
  pending_ = false;
  using Clock = std::chrono::steady_clock;
  // One byte more than the largest datagram, so that an oversized one is seen as such.
  std::uint8_t buffer[kMaxDatagram + 1];

  for (unsigned attempt = 0; attempt <= settings_.retries; ++attempt) {
    if (attempt > 0 && !transmit()) return false;
    const Clock::time_point deadline = Clock::now() + settings_.apduTimeout;
    for (;;) {
      if (interrupted_) return fail(Kind::Interrupted);
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) break;
      const UdpSocket::Wait wait = socket_.waitReadable(static_cast<int>(left));
      if (wait == UdpSocket::Wait::Failed) return fail(Kind::NoAnswer);
      if (wait != UdpSocket::Wait::Readable) continue;  // the loop sees a wake-up or the deadline

      sockaddr_in from{};
      const ssize_t size = socket_.receive(buffer, sizeof buffer, from);
      if (size < 0 || static_cast<std::size_t>(size) > kMaxDatagram || !sameAddress(from, peer_)) {
        continue;  // nothing, oversized, or not from the device
      }
      const Answer answer =
          decodeReadPropertyAnswer(buffer, static_cast<std::size_t>(size), request_);
      switch (answer.kind) {
        case AnswerKind::Ignored:
          continue;
        case AnswerKind::Value:
          value = answer.value;
          return true;
        case AnswerKind::Error:
          return fail(Kind::Error, answer.errorClass, answer.errorCode);
        case AnswerKind::Reject:
          return fail(Kind::Reject, 0, answer.errorCode);
        case AnswerKind::Abort:
          return fail(Kind::Abort, 0, answer.errorCode);
        case AnswerKind::Unusable:
          fail(Kind::Unusable);
          lastFailure_->refused = answer.refused;
          return false;
      }
    }
  }
  return fail(Kind::NoAnswer);
}

}  // namespace vk::bacnet
