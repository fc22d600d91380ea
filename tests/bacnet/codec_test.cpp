// The BACnet/IP codec against frames assembled by hand: the ReadProperty request, answers of
// every decoded type, Error, Reject and Abort, answers that do not fit the request, and damaged
// datagrams.
#include "bacnet/codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using bacnet::AnswerKind;
using bacnet::Frame;
using bacnet::ReadPropertyRequest;

namespace {

// BVLC Original-Unicast-NPDU with the given NPDU and APDU bytes; the length is computed.
Frame bvlc(std::initializer_list<std::uint8_t> npduAndApdu) {
  Frame frame{0x81, 0x0A, 0, 0};
  frame.insert(frame.end(), npduAndApdu);
  frame[2] = static_cast<std::uint8_t>(frame.size() >> 8);
  frame[3] = static_cast<std::uint8_t>(frame.size());
  return frame;
}

// A Complex-ACK for analog input 10365 (object identifier 00 00 28 7D), present value, invoke
// ID 7, carrying the given application-tagged value.
Frame ack(std::initializer_list<std::uint8_t> value, std::uint8_t invokeId = 7) {
  Frame frame =
      bvlc({0x01, 0x00, 0x30, invokeId, 0x0C, 0x0C, 0x00, 0x00, 0x28, 0x7D, 0x19, 0x55, 0x3E});
  frame.insert(frame.end(), value);
  frame.push_back(0x3F);
  frame[3] = static_cast<std::uint8_t>(frame.size());
  return frame;
}

// The same for binary input 3000485 (object identifier 00 ED C8 A5).
Frame binaryAck(std::initializer_list<std::uint8_t> value) {
  Frame frame = ack(value);
  const std::uint8_t objectId[] = {0x00, 0xED, 0xC8, 0xA5};
  std::memcpy(frame.data() + 10, objectId, 4);
  return frame;
}

const ReadPropertyRequest kAnalogRequest{7, OBJECT_ANALOG_INPUT, 10365, PROP_PRESENT_VALUE,
                                         BACNET_ARRAY_ALL};
const ReadPropertyRequest kBinaryRequest{7, OBJECT_BINARY_INPUT, 3000485, PROP_PRESENT_VALUE,
                                         BACNET_ARRAY_ALL};

bacnet::Answer decode(const Frame& frame, const ReadPropertyRequest& request = kAnalogRequest) {
  return bacnet::decodeReadPropertyAnswer(frame.data(), frame.size(), request);
}

}  // namespace

TEST(BacnetCodec, ReadPropertyRequestBytes) {
  EXPECT_EQ(bacnet::encodeReadPropertyRequest(kAnalogRequest),
            (Frame{0x81, 0x0A, 0x00, 0x11, 0x01, 0x04, 0x00, 0x05, 0x07, 0x0C, 0x0C, 0x00, 0x00,
                   0x28, 0x7D, 0x19, 0x55}));
  // An array index is encoded only when it is not BACNET_ARRAY_ALL.
  ReadPropertyRequest indexed{255, OBJECT_BINARY_INPUT, 3000485, PROP_PRESENT_VALUE, 2};
  EXPECT_EQ(bacnet::encodeReadPropertyRequest(indexed),
            (Frame{0x81, 0x0A, 0x00, 0x13, 0x01, 0x04, 0x00, 0x05, 0xFF, 0x0C, 0x0C, 0x00, 0xED,
                   0xC8, 0xA5, 0x19, 0x55, 0x29, 0x02}));
  // An instance beyond 22 bits cannot be named.
  indexed.instance = bacnet::kMaxInstance + 1;
  EXPECT_TRUE(bacnet::encodeReadPropertyRequest(indexed).empty());
}

TEST(BacnetCodec, AnalogObjectsGetFloatBits) {
  const std::pair<Frame, float> cases[] = {
      {ack({0x44, 0x41, 0xAC, 0x00, 0x00}), 21.5f},                 // REAL
      {ack({0x55, 0x08, 0x40, 0x35, 0x80, 0, 0, 0, 0, 0}), 21.5f},  // DOUBLE
      {ack({0x22, 0x01, 0x2C}), 300.0f},                            // UNSIGNED
      {ack({0x31, 0xFE}), -2.0f},                                   // SIGNED
      {ack({0x33, 0xFF, 0x85, 0xEE}), -31250.0f},                   // SIGNED, 3 bytes
      {ack({0x91, 0x01}), 1.0f},                                    // ENUMERATED
      {ack({0x11}), 1.0f},                                          // BOOLEAN
  };
  for (const auto& [frame, expected] : cases) {
    const bacnet::Answer answer = decode(frame);
    EXPECT_EQ(answer.kind, AnswerKind::Value) << int(frame[17]);
    EXPECT_EQ(answer.value, bacnet::floatBits(expected)) << int(frame[17]);
  }
  // A REAL NaN keeps its bits.
  EXPECT_EQ(decode(ack({0x44, 0x7F, 0xC0, 0x00, 0x01})).value, 0x7FC00001u);
}

TEST(BacnetCodec, BinaryObjectsGetIntegers) {
  const std::pair<Frame, std::uint32_t> cases[] = {
      {binaryAck({0x91, 0x01}), 1},           // ENUMERATED
      {binaryAck({0x92, 0x01, 0x01}), 257},   // ENUMERATED, two bytes
      {binaryAck({0x10}), 0},                 // BOOLEAN false
      {binaryAck({0x21, 0x05}), 5},           // UNSIGNED
      {binaryAck({0x31, 0xFF}), 0xFFFFFFFF},  // SIGNED -1
      {binaryAck({0x94, 0x12, 0x34, 0x56, 0x78}), 0x12345678},
  };
  for (const auto& [frame, expected] : cases) {
    const bacnet::Answer answer = decode(frame, kBinaryRequest);
    EXPECT_EQ(answer.kind, AnswerKind::Value) << int(frame[17]);
    EXPECT_EQ(answer.value, expected) << int(frame[17]);
  }
  // A float is no binary present value.
  EXPECT_EQ(decode(binaryAck({0x44, 0x3F, 0x80, 0, 0}), kBinaryRequest).kind, AnswerKind::Unusable);
}

TEST(BacnetCodec, ErrorRejectAndAbortForTheRequest) {
  EXPECT_EQ(decode(bvlc({0x01, 0x00, 0x50, 0x07, 0x0C, 0x91, 0x01, 0x91, 0x1F})).kind,
            AnswerKind::Error);
  EXPECT_EQ(decode(bvlc({0x01, 0x00, 0x60, 0x07, 0x09})).kind, AnswerKind::Reject);
  EXPECT_EQ(decode(bvlc({0x01, 0x00, 0x71, 0x07, 0x04})).kind, AnswerKind::Abort);
  // The same for another invoke ID is not an answer to this request.
  EXPECT_EQ(decode(bvlc({0x01, 0x00, 0x50, 0x06, 0x0C, 0x91, 0x01, 0x91, 0x1F})).kind,
            AnswerKind::Ignored);
  EXPECT_EQ(decode(bvlc({0x01, 0x00, 0x60, 0x08, 0x09})).kind, AnswerKind::Ignored);
  EXPECT_EQ(decode(bvlc({0x01, 0x00, 0x70, 0x00, 0x04})).kind, AnswerKind::Ignored);
}

TEST(BacnetCodec, AnswersThatDoNotFitTheRequest) {
  // Another invoke ID: a late answer to an earlier request.
  EXPECT_EQ(decode(ack({0x44, 0x41, 0xAC, 0, 0}, 6)).kind, AnswerKind::Ignored);
  // Another object, another property, an array element.
  EXPECT_EQ(decode(ack({0x44, 0x41, 0xAC, 0, 0}), kBinaryRequest).kind, AnswerKind::Unusable);
  Frame otherProperty = ack({0x44, 0x41, 0xAC, 0, 0});
  otherProperty[15] = 0x4D;  // object-name
  EXPECT_EQ(decode(otherProperty).kind, AnswerKind::Unusable);
  Frame element = bvlc({0x01, 0x00, 0x30, 0x07, 0x0C, 0x0C, 0x00, 0x00, 0x28, 0x7D, 0x19,
                        0x55, 0x29, 0x01, 0x3E, 0x44, 0x41, 0xAC, 0,    0,    0x3F});
  EXPECT_EQ(decode(element).kind, AnswerKind::Unusable);
  // Values that are no single number: a character string, two values, a segmented answer.
  EXPECT_EQ(decode(ack({0x75, 0x03, 0x00, 0x41, 0x42})).kind, AnswerKind::Unusable);
  EXPECT_EQ(decode(ack({0x44, 0x41, 0xAC, 0, 0, 0x44, 0x41, 0xAC, 0, 0})).kind,
            AnswerKind::Unusable);
  Frame segmented = ack({0x44, 0x41, 0xAC, 0, 0});
  segmented[6] = 0x38;
  EXPECT_EQ(decode(segmented).kind, AnswerKind::Unusable);
  // Another service's acknowledgement.
  Frame otherService = ack({0x44, 0x41, 0xAC, 0, 0});
  otherService[8] = 0x0E;  // ReadPropertyMultiple
  EXPECT_EQ(decode(otherService).kind, AnswerKind::Unusable);
}

TEST(BacnetCodec, RoutedAndForwardedAnswersAreDecoded) {
  // From a router: source network 5, MAC address 0x21.
  EXPECT_EQ(decode(bvlc({0x01, 0x08, 0x00, 0x05, 0x01, 0x21, 0x30, 0x07, 0x0C, 0x0C, 0x00, 0x00,
                         0x28, 0x7D, 0x19, 0x55, 0x3E, 0x44, 0x41, 0xAC, 0,    0,    0x3F}))
                .value,
            bacnet::floatBits(21.5f));
  Frame forwarded = ack({0x44, 0x41, 0xAC, 0, 0});
  forwarded[1] = 0x04;
  forwarded.insert(forwarded.begin() + 4, {192, 168, 0, 9, 0xBA, 0xC0});
  forwarded[3] = static_cast<std::uint8_t>(forwarded.size());
  EXPECT_EQ(decode(forwarded).kind, AnswerKind::Value);
}

TEST(BacnetCodec, DamagedDatagramsAreIgnored) {
  const Frame good = ack({0x44, 0x41, 0xAC, 0x00, 0x00});
  ASSERT_EQ(decode(good).kind, AnswerKind::Value);
  // Every truncation, with the BVLC length as sent and as fitted to the shorter datagram.
  for (std::size_t size = 0; size < good.size(); ++size) {
    Frame cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_EQ(decode(cut).kind, AnswerKind::Ignored) << size;
    if (size >= 4) {
      cut[3] = static_cast<std::uint8_t>(size);
      EXPECT_EQ(decode(cut).kind, AnswerKind::Ignored) << size;
    }
  }
  Frame damaged = good;
  damaged[0] = 0x82;  // not BACnet/IP
  EXPECT_EQ(decode(damaged).kind, AnswerKind::Ignored);
  damaged = good;
  damaged[4] = 0x02;  // NPDU version
  EXPECT_EQ(decode(damaged).kind, AnswerKind::Ignored);
  damaged = good;
  damaged[5] = 0x80;  // a network-layer message
  EXPECT_EQ(decode(damaged).kind, AnswerKind::Ignored);
  damaged = good;
  damaged.push_back(0x00);  // a byte after the closing tag
  damaged[3] = static_cast<std::uint8_t>(damaged.size());
  EXPECT_EQ(decode(damaged).kind, AnswerKind::Ignored);
  // Oversized, however it is labelled.
  Frame oversized = good;
  oversized.resize(bacnet::kMaxDatagram + 1);
  oversized[2] = static_cast<std::uint8_t>(oversized.size() >> 8);
  oversized[3] = static_cast<std::uint8_t>(oversized.size());
  EXPECT_EQ(decode(oversized).kind, AnswerKind::Ignored);
  EXPECT_EQ(bacnet::decodeReadPropertyAnswer(nullptr, 0, kAnalogRequest).kind, AnswerKind::Ignored);
}

// Every one-byte change of a valid answer and random datagrams decode without reading outside
// the bytes (the sanitizer builds check).
TEST(BacnetCodec, ArbitraryBytesAreSafe) {
  const Frame good = ack({0x44, 0x41, 0xAC, 0x00, 0x00});
  for (std::size_t at = 0; at < good.size(); ++at) {
    for (int byte = 0; byte < 256; ++byte) {
      Frame changed = good;
      changed[at] = static_cast<std::uint8_t>(byte);
      decode(changed);
      bacnet::decodeDeviceRequest(changed.data(), changed.size());
    }
  }
  std::mt19937 random(5156);
  for (int round = 0; round < 20000; ++round) {
    Frame bytes(4 + random() % 40);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    bytes[0] = 0x81;
    bytes[1] = 0x0A;
    bytes[2] = 0;
    bytes[3] = static_cast<std::uint8_t>(bytes.size());
    decode(bytes);
    bacnet::decodeDeviceRequest(bytes.data(), bytes.size());
  }
}

TEST(BacnetCodec, DeviceSideFrames) {
  const Frame request = bacnet::encodeReadPropertyRequest(kBinaryRequest);
  const bacnet::DeviceRequest read = bacnet::decodeDeviceRequest(request.data(), request.size());
  ASSERT_EQ(read.kind, bacnet::DeviceRequest::Kind::ReadProperty);
  EXPECT_EQ(read.readProperty.invokeId, 7);
  EXPECT_EQ(read.readProperty.type, OBJECT_BINARY_INPUT);
  EXPECT_EQ(read.readProperty.instance, 3000485u);
  EXPECT_EQ(read.readProperty.arrayIndex, BACNET_ARRAY_ALL);

  // Who-Is for instances 0 to 4194303, as a broadcast.
  Frame whoIs =
      bvlc({0x01, 0x20, 0xFF, 0xFF, 0x00, 0xFF, 0x10, 0x08, 0x09, 0x00, 0x1B, 0x3F, 0xFF, 0xFF});
  whoIs[1] = 0x0B;
  const bacnet::DeviceRequest who = bacnet::decodeDeviceRequest(whoIs.data(), whoIs.size());
  ASSERT_EQ(who.kind, bacnet::DeviceRequest::Kind::WhoIs);
  EXPECT_EQ(who.range, std::make_pair(0u, 4194303u));

  EXPECT_EQ(bacnet::encodeIAm(5156, 0xFFFF),
            (Frame{0x81, 0x0A, 0x00, 0x15, 0x01, 0x00, 0x10, 0x00, 0xC4, 0x02, 0x00,
                   0x14, 0x24, 0x22, 0x05, 0xC4, 0x91, 0x03, 0x22, 0xFF, 0xFF}));
  EXPECT_EQ(bacnet::encodeReadPropertyAck(
                kAnalogRequest, {bacnet::PresentValue::Type::Real, bacnet::floatBits(21.5f)}),
            ack({0x44, 0x41, 0xAC, 0x00, 0x00}));
  EXPECT_EQ(
      bacnet::encodeReadPropertyAck(kBinaryRequest, {bacnet::PresentValue::Type::Enumerated, 257}),
      binaryAck({0x92, 0x01, 0x01}));
  EXPECT_EQ(decode(bacnet::encodeError(7, 12, 1, 31)).kind, AnswerKind::Error);
  EXPECT_EQ(decode(bacnet::encodeReject(7, 9)).kind, AnswerKind::Reject);
}
