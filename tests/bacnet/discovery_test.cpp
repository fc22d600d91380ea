// Device discovery over loopback, against sockets the test answers by hand.
#include "bacnet/discovery.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <tuple>

#include "tests/support/loopback_socket.h"

using namespace vk::test;
using namespace vk::bacnet;

using namespace std::chrono_literals;

// Discovery against a device played by hand: the Who-Is goes to the target, every I-Am in the
// time is collected in order of arrival, the same device at the same address once.
TEST(BacnetDiscovery, CollectsEachIAmOnceInOrderOfArrival) {
  LoopbackSocket device, router;
  std::thread answering([&] {
    std::uint16_t asker = 0;
    EXPECT_EQ(device.receive(&asker), encodeWhoIs(false));
    device.sendTo(asker, encodeIAm(7, 260));
    device.sendTo(asker, encodeReject(1, RejectReason::UnrecognizedService));  // no I-Am
    device.sendTo(asker, encodeIAm(8, 260));
    device.sendTo(asker, encodeIAm(7, 260));  // again
    router.sendTo(asker, encodeIAm(7, 261));  // the same instance at another address
  });
  const std::vector<DiscoveredDevice> found =
      discoverDevices(loopbackAddress(device.port()), 500ms);
  answering.join();
  ASSERT_EQ(found.size(), 3u);
  const std::tuple<std::uint32_t, std::uint32_t, std::uint16_t> expected[] = {
      {7, 260, device.port()}, {8, 260, device.port()}, {7, 261, router.port()}};
  for (std::size_t i = 0; i < found.size(); ++i) {
    EXPECT_EQ(found[i].iAm.deviceInstance, std::get<0>(expected[i])) << i;
    EXPECT_EQ(found[i].iAm.vendorId, std::get<1>(expected[i])) << i;
    EXPECT_EQ(ntohs(found[i].from.sin_port), std::get<2>(expected[i])) << i;
    EXPECT_EQ(found[i].from.sin_addr.s_addr, htonl(INADDR_LOOPBACK)) << i;
  }
}

TEST(BacnetDiscovery, SocketOrSendingFailuresThrow) {
  LoopbackSocket taken;
  // Its port is taken, and port 0 cannot be sent to.
  EXPECT_THROW(discoverDevices(loopbackAddress(taken.port()), 10ms, taken.port()),
               std::runtime_error);
  EXPECT_THROW(discoverDevices(loopbackAddress(0), 10ms), std::runtime_error);
}

TEST(Discovery, SilentTargetGivesNothingAfterTheTimeout) {
  LoopbackSocket silent;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(discoverDevices(loopbackAddress(silent.port()), 200ms).empty());
  EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
  EXPECT_EQ(silent.receive(), encodeWhoIs(false));
}

// Without a target the Who-Is goes to the broadcast address, which the socket must be allowed to
// send to; a Who-Is to a target needs no such right. Nothing is sent.
TEST(BacnetDiscovery, OnlyABroadcastAllowsTheSocketToBroadcast) {
  const in_addr loopback{htonl(INADDR_LOOPBACK)};
  UdpSocket broadcasting(loopback, 0), unicasting(loopback, 0);
  const sockaddr_in everyone = whoIsDestination(broadcasting, std::nullopt);
  EXPECT_TRUE(broadcasting.broadcastAllowed());
  EXPECT_EQ(everyone.sin_addr.s_addr, htonl(INADDR_BROADCAST));
  EXPECT_EQ(ntohs(everyone.sin_port), kDefaultPort);
  EXPECT_EQ(ntohs(whoIsDestination(unicasting, loopbackAddress(5)).sin_port), 5);
  EXPECT_FALSE(unicasting.broadcastAllowed());
}
