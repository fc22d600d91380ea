// The floor of a BACnet/IP cycle: the ReadProperty requests of every point of the table, encoded
// beforehand, sent one by one from a blocking UDP socket, each waiting for its answer, which is
// received but not decoded. Prints each cycle's duration.
// Usage: vornk_udp_floor HOST PORT CYCLES
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bacnet/codec.h"
#include "device/point_table.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: vornk_udp_floor HOST PORT CYCLES\n");
    return 2;
  }
  sockaddr_in device{};
  device.sin_family = AF_INET;
  device.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[2])));
  const int cycles = std::atoi(argv[3]);
  if (::inet_pton(AF_INET, argv[1], &device.sin_addr) != 1 || cycles <= 0) {
    std::fprintf(stderr, "vornk_udp_floor: bad address or cycle count\n");
    return 2;
  }

  const int socket = ::socket(AF_INET, SOCK_DGRAM, 0);
  const timeval timeout{1, 0};
  if (socket < 0 || ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) != 0 ||
      ::connect(socket, reinterpret_cast<const sockaddr*>(&device), sizeof device) != 0) {
    std::perror("vornk_udp_floor: socket");
    return 1;
  }

  std::vector<vk::bacnet::Frame> requests;
  std::uint8_t invokeId = 0;
  for (const vk::device::Point& point : vk::device::kPoints) {
    requests.push_back(vk::bacnet::encodeReadPropertyRequest(
        {invokeId++, point.type, point.instance, PROP_PRESENT_VALUE, std::nullopt}));
  }

  std::uint8_t answer[vk::bacnet::kMaxDatagram];
  for (int cycle = 0; cycle < cycles; ++cycle) {
    const auto start = std::chrono::steady_clock::now();
    for (const vk::bacnet::Frame& request : requests) {
      if (::send(socket, request.data(), request.size(), 0) !=
              static_cast<ssize_t>(request.size()) ||
          ::recv(socket, answer, sizeof answer, 0) <= 0) {
        std::perror("vornk_udp_floor: exchange");
        return 1;
      }
    }
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    std::printf("cycle %.3f ms\n", took.count());
  }
  ::close(socket);
  return 0;
}
