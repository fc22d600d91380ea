// A simulated BACnet/IP device: serves the present values of every point of the vornk point table
// over UDP, answers Who-Is with I-Am, and can drop, delay or refuse chosen objects. Like a
// device on the network it ignores confirmed requests that were broadcast or name a destination
// network, answers requests that came through a router back through it, aborts segmented
// requests and rejects ReadProperty requests whose parameters do not decode.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "bacnet.h"
#include "bacnet/codec.h"
#include "bacnet/ip_client.h"
#include "bacnet/udp_socket.h"

namespace vk::tools {

using ObjectKey = std::pair<BACnetObjectType, std::uint32_t>;

struct SimulatorSettings {
  std::string address = "127.0.0.1";          // IPv4 address to listen on
  std::uint16_t port = bacnet::kDefaultPort;  // 0: any free port
  std::uint32_t deviceInstance = 5156;
  // Present values that differ from the simulated device's defaults: binary objects the integer,
  // analog objects the float's bits.
  std::map<ObjectKey, std::uint32_t> values;
  std::set<ObjectKey> drop;                              // requests for these go unanswered
  std::set<ObjectKey> error;                             // requests for these get an Error PDU
  std::map<ObjectKey, std::chrono::milliseconds> delay;  // answered this much later
};

class DeviceSimulator {
 public:
  // Binds the socket; throws SetupError when it cannot, or when settings name an object that is
  // not one of the points.
  explicit DeviceSimulator(SimulatorSettings settings);
  DeviceSimulator(const DeviceSimulator&) = delete;
  DeviceSimulator& operator=(const DeviceSimulator&) = delete;

  std::uint16_t port() const;
  // Serves requests until stop() is called.
  void run();
  // Makes run() return. Safe from any thread and from a signal handler.
  void stop();

 private:
  using Clock = std::chrono::steady_clock;

  void handle(const std::uint8_t* data, std::size_t size, const sockaddr_in& from);
  void send(const sockaddr_in& to, const std::uint8_t* data, std::size_t size);

  const SimulatorSettings settings_;
  std::map<ObjectKey, std::uint32_t> values_;  // every point's present value
  bacnet::UdpSocket socket_;
  std::multimap<Clock::time_point, std::pair<sockaddr_in, bacnet::Frame>> delayed_;  // by due time
};

}  // namespace vk::tools
