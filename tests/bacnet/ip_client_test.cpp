// The BACnet/IP client over loopback, against sockets the test answers by hand.
#include "bacnet/ip_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <thread>

#include "tests/support/loopback_socket.h"

using namespace vk::test;
using namespace vk::bacnet;

using FailureKind = ReadFailure::Kind;
using namespace std::chrono_literals;

namespace {

// The device's Complex-ACK for request carrying the given application-tagged value.
Frame ackCarrying(const ReadPropertyRequest& request, const Frame& value) {
  Frame frame = encodeReadPropertyAck(request, {PresentValue::Type::Enumerated, 0});
  frame.resize(frame.size() - 3);  // ENUMERATED 0 and the closing tag
  frame.insert(frame.end(), value.begin(), value.end());
  frame.push_back(0x3F);
  return withBvlcLength(std::move(frame));
}

// A Complex-ACK for request, of exactly size bytes: its value a character string.
Frame ackOfSize(const ReadPropertyRequest& request, std::size_t size) {
  Frame frame = ackCarrying(request, {});
  const std::size_t content = size - frame.size() - 4;  // after the tag and its length
  frame.pop_back();
  frame.insert(frame.end(), {0x75, 0xFE, static_cast<std::uint8_t>(content >> 8),
                             static_cast<std::uint8_t>(content), 0x00});
  frame.resize(frame.size() + content - 1, 'x');
  frame.push_back(0x3F);
  return withBvlcLength(std::move(frame));
}

void expectFailure(const BacnetIpClient& client, FailureKind kind, unsigned tries,
                   std::uint32_t errorClass = 0, std::uint32_t errorCode = 0) {
  const std::optional<ReadFailure> failure = client.lastFailure();
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->kind, kind);
  EXPECT_EQ(failure->tries, tries);
  EXPECT_EQ(failure->errorClass, errorClass);
  EXPECT_EQ(failure->errorCode, errorCode);
}

}  // namespace

// The client against a device played by hand.
class BacnetIpClientTest : public testing::Test {
 protected:
  BacnetIpClientTest() : client(BacnetIpSettings{std::chrono::milliseconds(40), 2, 0}) {}

  bool send() {
    return client.SendReadProperty(device.endpoint(), OBJECT_ANALOG_INPUT, 10365,
                                   PROP_PRESENT_VALUE, BACNET_ARRAY_ALL);
  }
  Frame answer(std::uint8_t invokeId, float value) {
    return encodeReadPropertyAck(analogInputRequest(invokeId),
                                 {PresentValue::Type::Real, floatBits(value)});
  }
  // The request the device received.
  ReadPropertyRequest received() {
    const Frame frame = device.receive();
    const DeviceRequest request = decodeDeviceRequest(frame.data(), frame.size());
    EXPECT_EQ(request.kind, DeviceRequest::Kind::ReadProperty);
    return request.readProperty;
  }

  LoopbackSocket device;
  BacnetIpClient client;
};

// Late answers, strangers' datagrams and damaged datagrams are dropped while the client waits.
TEST_F(BacnetIpClientTest, AcceptsOnlyTheAnswerFromTheDevice) {
  ASSERT_TRUE(send());
  EXPECT_EQ(device.receive(), encodeReadPropertyRequest(analogInputRequest(0)));

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
  EXPECT_FALSE(client.lastFailure()) << "before any request";
  EXPECT_TRUE(client.Receive(value));
  EXPECT_EQ(value, floatBits(21.5f));
  EXPECT_FALSE(client.lastFailure()) << "after a value";
  EXPECT_FALSE(client.Receive(value)) << "one answer per request";
  expectFailure(client, FailureKind::NotSent, 0);
}

TEST_F(BacnetIpClientTest, InvokeIdsRollOver) {
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(send());
    const Frame request = device.receive();
    const auto decoded = decodeDeviceRequest(request.data(), request.size());
    ASSERT_EQ(decoded.invokeId, i % 256);
    device.sendTo(client.localPort(), answer(decoded.invokeId, static_cast<float>(i)));
    std::uint32_t value = 0;
    ASSERT_TRUE(client.Receive(value));
    EXPECT_EQ(value, floatBits(static_cast<float>(i)));
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
  expectFailure(client, FailureKind::NoAnswer, client.settings().retries + 1);
}

// Answered after the first retry: the failure counts both transmissions.
TEST_F(BacnetIpClientTest, AnswerToTheRetryCountsItsTries) {
  BacnetIpClient patient({std::chrono::milliseconds(500), 2, 0});
  ASSERT_TRUE(patient.SendReadProperty(device.endpoint(), OBJECT_ANALOG_INPUT, 10365,
                                       PROP_PRESENT_VALUE, BACNET_ARRAY_ALL));
  std::thread playing([&] {
    device.receive();
    const Frame retry = device.receive();
    const auto request = decodeDeviceRequest(retry.data(), retry.size());
    device.sendTo(patient.localPort(),
                  encodeError(request.invokeId, kServiceReadProperty, ErrorClass::Property,
                              ErrorCode::UnknownProperty));
  });
  std::uint32_t value = 0;
  EXPECT_FALSE(patient.Receive(value));
  playing.join();
  expectFailure(patient, FailureKind::Error, 2, 2, 32);
}

TEST_F(BacnetIpClientTest, RefusalsAndOtherObjectsFail) {
  const Frame answers[] = {
      encodeError(0, kServiceReadProperty, ErrorClass::Object, ErrorCode::UnknownObject),
      encodeReject(1, RejectReason::UnrecognizedService),
      encodeReadPropertyAck({2, OBJECT_ANALOG_INPUT, 10368, PROP_PRESENT_VALUE, std::nullopt},
                            {PresentValue::Type::Real, 0}),
  };
  for (const Frame& refusal : answers) {
    ASSERT_TRUE(send());
    device.receive();
    device.sendTo(client.localPort(), refusal);
    std::uint32_t value = 0;
    EXPECT_FALSE(client.Receive(value));
  }
}

// Every refusal ends the wait at once, after the first transmission, with its details.
TEST_F(BacnetIpClientTest, FailureDetails) {
  struct Case {
    const char* name;
    std::function<Frame(const ReadPropertyRequest&)> answer;
    FailureKind kind;
    std::uint32_t errorClass, errorCode;
  };
  const std::uint8_t service = kServiceReadProperty;
  const Case cases[] = {
      {"Error",
       [&](auto& r) {
         return encodeError(r.invokeId, service, ErrorClass::Object, ErrorCode::UnknownObject);
       },
       FailureKind::Error, 1, 31},
      {"Reject",
       [](auto& r) { return encodeReject(r.invokeId, RejectReason::UnrecognizedService); },
       FailureKind::Reject, 0, 9},
      {"Abort",
       [](auto& r) { return encodeAbort(r.invokeId, AbortReason::SegmentationNotSupported); },
       FailureKind::Abort, 0, 4},
      {"another object",
       [](auto& r) {
         return encodeReadPropertyAck(
             {r.invokeId, OBJECT_ANALOG_INPUT, 10368, PROP_PRESENT_VALUE, std::nullopt},
             {PresentValue::Type::Real, 0});
       },
       FailureKind::Unusable, 0, 0},
      {"array index 4294967295",
       [](auto& r) {
         Frame frame = ackCarrying(r, {0x44, 0x41, 0xAC, 0, 0});
         frame.insert(frame.begin() + 16, {0x2C, 0xFF, 0xFF, 0xFF, 0xFF});
         return withBvlcLength(std::move(frame));
       },
       FailureKind::Unusable, 0, 0},
      {"for another network",
       [&](auto& r) {
         return addressTo(answer(r.invokeId, 1.0f), {5, {0x21}});
       },
       FailureKind::Unusable, 0, 0},
      {"reserved control bit",
       [&](auto& r) {
         Frame frame = answer(r.invokeId, 1.0f);
         frame[5] |= 0x40;
         return frame;
       },
       FailureKind::Unusable, 0, 0},
      {"DOUBLE 1e300",
       [](auto& r) {
         return ackCarrying(r, {0x55, 0x08, 0x7E, 0x37, 0xE4, 0x3C, 0x88, 0, 0x75, 0x9C});
       },
       FailureKind::Unusable, 0, 0},
  };
  for (const Case& expected : cases) {
    SCOPED_TRACE(expected.name);
    ASSERT_TRUE(send());
    device.sendTo(client.localPort(), expected.answer(received()));
    std::uint32_t value = 0;
    EXPECT_FALSE(client.Receive(value));
    expectFailure(client, expected.kind, 1, expected.errorClass, expected.errorCode);
    EXPECT_FALSE(device.pending()) << "no retry";
  }
}

// A binary point's value is 0 or 1; any other number fails the read.
TEST_F(BacnetIpClientTest, BinaryPointRefusesOtherNumbers) {
  const std::pair<Frame, bool> values[] = {
      {{0x91, 0x01}, true},         // ENUMERATED 1
      {{0x10}, true},               // BOOLEAN false
      {{0x92, 0x01, 0x01}, false},  // ENUMERATED 257
      {{0x31, 0xFF}, false},        // SIGNED -1
      {{0x21, 0x02}, false},        // UNSIGNED 2
  };
  for (const auto& [bytes, usable] : values) {
    ASSERT_TRUE(client.SendReadProperty(device.endpoint(), OBJECT_BINARY_OUTPUT, 10104,
                                        PROP_PRESENT_VALUE, BACNET_ARRAY_ALL));
    device.sendTo(client.localPort(), ackCarrying(received(), bytes));
    std::uint32_t value = 7;
    EXPECT_EQ(client.Receive(value), usable) << int(bytes[0]);
    if (usable) {
      EXPECT_EQ(value, bytes[0] == 0x10 ? 0u : 1u);
    } else {
      expectFailure(client, FailureKind::Unusable, 1);
      EXPECT_TRUE(client.lastFailure()->refused) << "what came back, for the failure's text";
    }
  }
}

// An answer of the largest datagram size is taken (here refused for its value, at once); one
// byte more is dropped like any oversized datagram, and the client waits on.
TEST_F(BacnetIpClientTest, LargestDatagramIsTakenOneMoreIsDropped) {
  const std::pair<std::size_t, FailureKind> cases[] = {
      {kMaxDatagram, FailureKind::Unusable},
      {kMaxDatagram + 1, FailureKind::NoAnswer},
  };
  for (const auto& [size, kind] : cases) {
    ASSERT_TRUE(send());
    const Frame frame = ackOfSize(received(), size);
    ASSERT_EQ(frame.size(), size);
    device.sendTo(client.localPort(), frame);
    std::uint32_t value = 0;
    EXPECT_FALSE(client.Receive(value));
    const auto failure = client.lastFailure();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->kind, kind) << size;
    while (device.pending()) device.receive();  // the retries
  }
}

TEST_F(BacnetIpClientTest, BadEndpointsAndInterruptionFailAtOnce) {
  // Each says why, for the line a failed cycle writes.
  const std::string notHostAndPort = "' is not HOST:PORT";
  for (const auto& [endpoint, why] :
       {std::pair{"127.0.0.1", "the endpoint '127.0.0.1" + notHostAndPort},
        {"127.0.0.1:0", "the endpoint '127.0.0.1:0" + notHostAndPort},
        {"127.0.0.1:70000", "the endpoint '127.0.0.1:70000" + notHostAndPort},
        {":47808", "the endpoint ':47808" + notHostAndPort},
        {"127.0.0.1:47808x", "the endpoint '127.0.0.1:47808x" + notHostAndPort},
        {"nohost.invalid:47808", std::string("cannot resolve 'nohost.invalid': ")}}) {
    EXPECT_FALSE(client.SendReadProperty(endpoint, OBJECT_ANALOG_INPUT, 10365, PROP_PRESENT_VALUE,
                                         BACNET_ARRAY_ALL))
        << endpoint;
    expectFailure(client, FailureKind::NotSent, 0);
    EXPECT_EQ(client.lastFailure()->reason.substr(0, why.size()), why);
  }
  // An instance beyond 22 bits has no object identifier.
  EXPECT_FALSE(client.SendReadProperty(device.endpoint(), OBJECT_ANALOG_INPUT, kMaxInstance + 1,
                                       PROP_PRESENT_VALUE, BACNET_ARRAY_ALL));
  expectFailure(client, FailureKind::NotSent, 0);
  EXPECT_EQ(client.lastFailure()->reason, "the object does not fit a request");
  std::uint32_t value = 0;
  EXPECT_FALSE(client.Receive(value));
  expectFailure(client, FailureKind::NotSent, 0);

  ASSERT_TRUE(send());
  client.interrupt();
  EXPECT_FALSE(client.Receive(value));
  expectFailure(client, FailureKind::Interrupted, 1);
  EXPECT_FALSE(send());
  expectFailure(client, FailureKind::Interrupted, 0);
}

// interrupt() from another thread ends a wait that would otherwise last ten seconds.
TEST_F(BacnetIpClientTest, InterruptFromAnotherThreadEndsTheWait) {
  BacnetIpClient waiting({std::chrono::milliseconds(10000), 0, 0});
  ASSERT_TRUE(waiting.SendReadProperty(device.endpoint(), OBJECT_ANALOG_INPUT, 10365,
                                       PROP_PRESENT_VALUE, BACNET_ARRAY_ALL));
  std::thread interrupting([&] {
    device.receive();
    waiting.interrupt();
  });
  std::uint32_t value = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(waiting.Receive(value));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  interrupting.join();
  expectFailure(waiting, FailureKind::Interrupted, 1);
}
