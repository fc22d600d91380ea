// The cycle meter of vornk-host: the requests and time of a cycle, and the failed reads it reports.
#include "tools/metered_client.h"

#include <gtest/gtest.h>

#include <thread>

#include "doubles/in_process_device.h"
#include "tests/support/loopback_socket.h"
#include "tools/read_failure_text.h"

using namespace vk::test;

using namespace vk::tools;
using namespace vk::bacnet;
using std::chrono::milliseconds;

TEST(HostMeter, ACycleCountsItsRequestsUntilTheRound) {
  auto bacnet = std::make_shared<vk::doubles::InProcessDevice>();
  bacnet->failReceive(OBJECT_BINARY_INPUT, 10008);
  MeteredClient meter(bacnet);
  std::uint32_t value;
  auto read = [&](std::uint32_t instance) {
    return meter.SendReadProperty("sim", OBJECT_BINARY_INPUT, instance, PROP_PRESENT_VALUE,
                                  BACNET_ARRAY_ALL) &&
           meter.Receive(value);
  };
  EXPECT_FALSE(meter.takeCycle());
  EXPECT_TRUE(read(10005));
  EXPECT_FALSE(read(10008));  // a failure ends the cycle without a round
  EXPECT_FALSE(meter.takeCycle());
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(read(10005));
  const auto cycle = meter.takeCycle();
  ASSERT_TRUE(cycle);
  EXPECT_EQ(cycle->requests, 3u);
  EXPECT_GE(cycle->duration.count(), 0);
  EXPECT_FALSE(meter.takeCycle());

  // A failed send ends the cycle too; the next one starts at its own first request.
  bacnet->failSend(OBJECT_BINARY_INPUT, 10032);
  EXPECT_TRUE(read(10005));
  EXPECT_FALSE(read(10032));
  EXPECT_FALSE(meter.takeCycle());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(read(10005));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_TRUE(read(10005));
  const auto timed = meter.takeCycle();
  ASSERT_TRUE(timed);
  EXPECT_EQ(timed->requests, 2u);
  EXPECT_GE(timed->duration, std::chrono::milliseconds(30));
  EXPECT_LE(timed->duration, std::chrono::duration_cast<std::chrono::microseconds>(
                                 std::chrono::steady_clock::now() - start));
}

// The meter reports the object of a request that failed to send or to be answered, once each.
TEST(HostMeter, AFailedReadIsReportedWithItsObject) {
  const LoopbackSocket silent;
  auto network = std::make_shared<BacnetIpClient>(BacnetIpSettings{milliseconds(1), 0, 0});
  std::vector<std::string> reported;
  MeteredClient meter(network, [&](BACnetObjectType type, std::uint32_t instance) {
    reported.push_back(pointName(type, instance) + ": " +
                       failureText(*network->lastFailure(), network->settings()));
  });
  std::uint32_t value = 0;
  ASSERT_TRUE(meter.SendReadProperty(silent.endpoint(), OBJECT_ANALOG_OUTPUT, 10410,
                                     PROP_PRESENT_VALUE, BACNET_ARRAY_ALL));
  EXPECT_FALSE(meter.Receive(value));
  EXPECT_FALSE(meter.SendReadProperty("no port", OBJECT_BINARY_INPUT, 10005, PROP_PRESENT_VALUE,
                                      BACNET_ARRAY_ALL));
  EXPECT_EQ(reported,
            (std::vector<std::string>{"analog-output 10410: no answer after 1 try (timeout 1 ms)",
                                      "binary-input 10005: the request could not be sent: "
                                      "the endpoint 'no port' is not HOST:PORT"}));
  EXPECT_FALSE(meter.takeCycle().has_value());
}
