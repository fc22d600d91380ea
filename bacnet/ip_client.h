// A BACnet/IP client behind the BacnetClient seam: confirmed ReadProperty requests over UDP to the
// device named by the endpoint text "HOST:PORT", one outstanding at a time.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "bacnet/codec.h"
#include "bacnet/udp_socket.h"
#include "bacnet_client.h"

namespace vk::bacnet {

// What BACnet/IP nodes use unless configured otherwise: the UDP port devices listen on, how long a
// client waits for each answer, and how often it sends an unanswered request again.
inline constexpr std::uint16_t kDefaultPort = 47808;
inline constexpr std::chrono::milliseconds kDefaultApduTimeout{3000};
inline constexpr unsigned kDefaultRetries = 3;

// How a BACnet/IP device's address may begin: bacnet-ip://HOST:PORT.
inline constexpr std::string_view kUrlScheme = "bacnet-ip://";

struct HostAndPort {
  std::string host;
  std::uint16_t port = kDefaultPort;
};

// "HOST:PORT", or "HOST" alone when defaultPort is given, either after kUrlScheme or not: a
// non-empty host and a decimal port from 1 to 65535. Empty for anything else.
std::optional<HostAndPort> parseHostAndPort(std::string_view text,
                                            std::optional<std::uint16_t> defaultPort = {});

// The IPv4 address of the endpoint text HOST:PORT (a host name or a dotted quad). Empty when it is
// no HOST:PORT or does not resolve, with why set to say which ("cannot resolve 'HOST': ...").
std::optional<sockaddr_in> resolveEndpoint(const std::string& endpoint, std::string& why);

struct BacnetIpSettings {
  std::chrono::milliseconds apduTimeout = kDefaultApduTimeout;  // for each transmission
  unsigned retries = kDefaultRetries;                           // transmissions after the first one
  std::uint16_t localPort = 0;                                  // 0: any free port
};

// Why the last read failed.
struct ReadFailure {
  enum class Kind {
    NotSent,      // the endpoint did not resolve, the object did not fit, or sending failed
    NoAnswer,     // the retries are used up
    Error,        // an Error PDU
    Reject,       // a Reject PDU
    Abort,        // an Abort PDU
    Unusable,     // an answer that cannot be used (AnswerKind::Unusable)
    Interrupted,  // interrupt() was called
  };
  Kind kind = Kind::NoAnswer;
  unsigned tries = 0;            // transmissions made of the request
  std::uint32_t errorClass = 0;  // Error: class and code; Reject and Abort: reason in errorCode
  std::uint32_t errorCode = 0;
  std::string reason{};  // NotSent: why, e.g. "cannot resolve 'HOST': ..."
  // Unusable: the present value that came back, when the answer was refused for it.
  std::optional<RefusedValue> refused = std::nullopt;
};

class BacnetIpClient : public BacnetClient {
 public:
  // Opens the client's UDP socket; throws std::runtime_error when it cannot.
  explicit BacnetIpClient(BacnetIpSettings settings = {});

  // The port the client's socket is bound to.
  std::uint16_t localPort() const;
  // Makes the wait in flight and every later request fail at once. Safe from any thread.
  void interrupt();
  const BacnetIpSettings& settings() const { return settings_; }
  // Why the last SendReadProperty or Receive failed; empty after a received value and before any
  // request. On the thread that sends and receives.
  std::optional<ReadFailure> lastFailure() const { return lastFailure_; }

  // False when the endpoint is not "HOST:PORT" of an IPv4 host, the object does not fit a
  // request, or the datagram could not be sent.
  bool SendReadProperty(const std::string& endpoint, BACnetObjectType type, std::uint32_t instance,
                        BACNET_PROPERTY_ID property, std::uint32_t arrayIndex) override;
  // Waits for the answer from the endpoint's address, sending the request again after each
  // timeout until the retries are used up. Other datagrams are dropped while waiting.
  bool Receive(std::uint32_t& value) override;

 private:
  // Resolves the endpoint text into peer_; on failure records why.
  bool resolve(const std::string& endpoint);
  // Sends the request's frame, counting it in tries_; on failure records why.
  bool transmit();
  bool fail(ReadFailure::Kind kind, std::uint32_t errorClass = 0, std::uint32_t errorCode = 0);
  bool notSent(std::string reason);

  const BacnetIpSettings settings_;
  UdpSocket socket_;
  std::atomic<bool> interrupted_{false};

  std::string endpoint_;  // the endpoint peer_ was resolved from
  sockaddr_in peer_{};
  std::uint8_t nextInvokeId_ = 0;
  bool pending_ = false;
  ReadPropertyRequest request_;
  Frame frame_;
  unsigned tries_ = 0;
  std::optional<ReadFailure> lastFailure_;
};

}  // namespace vk::bacnet
