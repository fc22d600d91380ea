// The BACnet/IP client over loopback, against a socket the test answers by hand.
#include "bacnet/ip_client.h"

#include <gtest/gtest.h>

#include "tests/support/loopback_socket.h"

using bacnet::Frame;

// The client against a device played by hand.
class BacnetIpClientTest : public testing::Test {
 protected:
  BacnetIpClientTest() : client(BacnetIpSettings{std::chrono::milliseconds(40), 2, 0}) {}

  bool send() {
    return client.SendReadProperty(device.endpoint(), OBJECT_ANALOG_INPUT, 10365,
                                   PROP_PRESENT_VALUE, BACNET_ARRAY_ALL);
  }
  Frame answer(std::uint8_t invokeId, float value) {
    return bacnet::encodeReadPropertyAck(
        analogInputRequest(invokeId), {bacnet::PresentValue::Type::Real, bacnet::floatBits(value)});
  }

  LoopbackSocket device;
  BacnetIpClient client;
};

// Late answers, strangers' datagrams and damaged datagrams are dropped while the client waits.
TEST_F(BacnetIpClientTest, AcceptsOnlyTheAnswerFromTheDevice) {
  ASSERT_TRUE(send());
  EXPECT_EQ(device.receive(), bacnet::encodeReadPropertyRequest(analogInputRequest(0)));

  LoopbackSocket stranger;
  const std::uint16_t to = client.localPort();
  device.sendTo(to, answer(255, 1.0f));              // late answer to an earlier request
  device.sendTo(to, Frame{0x81, 0x0A, 0x00, 0x04});  // nothing in it
  device.sendTo(to, Frame(1600, 0x81));              // oversized
  Frame cut = answer(0, 2.0f);
  cut.resize(cut.size() - 3);
  device.sendTo(to, cut);                // truncated
  stranger.sendTo(to, answer(0, 3.0f));  // right invoke ID, wrong sender
  device.sendTo(to, answer(0, 21.5f));

  std::uint32_t value = 0;
  EXPECT_TRUE(client.Receive(value));
  EXPECT_EQ(value, bacnet::floatBits(21.5f));
  EXPECT_FALSE(client.Receive(value)) << "one answer per request";
}

TEST_F(BacnetIpClientTest, InvokeIdsRollOver) {
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(send());
    const Frame request = device.receive();
    const auto decoded = bacnet::decodeDeviceRequest(request.data(), request.size());
    ASSERT_EQ(decoded.invokeId, i % 256);
    device.sendTo(client.localPort(), answer(decoded.invokeId, static_cast<float>(i)));
    std::uint32_t value = 0;
    ASSERT_TRUE(client.Receive(value));
    EXPECT_EQ(value, bacnet::floatBits(static_cast<float>(i)));
  }
}

// Unanswered, the request goes out 1 + retries times with the same invoke ID, then Receive fails.
TEST_F(BacnetIpClientTest, RetriesThenFails) {
  ASSERT_TRUE(send());
  std::uint32_t value = 0;
  EXPECT_FALSE(client.Receive(value));
  const Frame first = device.receive();
  EXPECT_EQ(device.receive(), first);
  EXPECT_EQ(device.receive(), first);
  EXPECT_FALSE(device.pending());
}

TEST_F(BacnetIpClientTest, RefusalsAndOtherObjectsFail) {
  const Frame answers[] = {
      bacnet::encodeError(0, bacnet::kServiceReadProperty, 1, 31),
      bacnet::encodeReject(1, 9),
      bacnet::encodeReadPropertyAck(
          {2, OBJECT_ANALOG_INPUT, 10368, PROP_PRESENT_VALUE, BACNET_ARRAY_ALL},
          {bacnet::PresentValue::Type::Real, 0}),
  };
  for (const Frame& refusal : answers) {
    ASSERT_TRUE(send());
    device.receive();
    device.sendTo(client.localPort(), refusal);
    std::uint32_t value = 0;
    EXPECT_FALSE(client.Receive(value));
  }
}

TEST_F(BacnetIpClientTest, BadEndpointsAndInterruptionFailAtOnce) {
  for (const char* endpoint :
       {"127.0.0.1", "127.0.0.1:0", "127.0.0.1:70000", ":47808", "127.0.0.1:47808x"}) {
    EXPECT_FALSE(client.SendReadProperty(endpoint, OBJECT_ANALOG_INPUT, 10365, PROP_PRESENT_VALUE,
                                         BACNET_ARRAY_ALL))
        << endpoint;
  }
  ASSERT_TRUE(send());
  client.interrupt();
  std::uint32_t value = 0;
  EXPECT_FALSE(client.Receive(value));
  EXPECT_FALSE(send());
}
