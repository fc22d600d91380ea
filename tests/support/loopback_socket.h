// A UDP socket on 127.0.0.1 that a test plays a BACnet/IP device, a stranger or a client with,
// by hand, and the request it sends or answers.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>

#include "bacnet/codec.h"

namespace vk::test {

// The request tests send and answer by hand: analog input 10365's present value.
inline bacnet::ReadPropertyRequest analogInputRequest(std::uint8_t invokeId) {
  return {invokeId, OBJECT_ANALOG_INPUT, 10365, PROP_PRESENT_VALUE, std::nullopt};
}

// A frame changed by hand, with its BVLC length set to its size again.
inline bacnet::Frame withBvlcLength(bacnet::Frame frame) {
  frame[2] = static_cast<std::uint8_t>(frame.size() >> 8);
  frame[3] = static_cast<std::uint8_t>(frame.size());
  return frame;
}

// 127.0.0.1:port.
sockaddr_in loopbackAddress(std::uint16_t port);

class LoopbackSocket {
 public:
  LoopbackSocket();
  LoopbackSocket(const LoopbackSocket&) = delete;
  LoopbackSocket& operator=(const LoopbackSocket&) = delete;
  ~LoopbackSocket();

  std::uint16_t port() const;
  std::string endpoint() const { return "127.0.0.1:" + std::to_string(port()); }

  void sendTo(std::uint16_t port, const bacnet::Frame& frame) const;
  // The next datagram, waiting at most a second for one already on its way; empty if none.
  bacnet::Frame receive(std::uint16_t* from = nullptr) const;
  // True when a datagram is waiting now.
  bool pending() const;

 private:
  int fd_ = -1;
};

}  // namespace vk::test
