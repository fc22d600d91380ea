// The BACnet/IP codec against frames assembled by hand: the ReadProperty request, answers of
// every decoded type, Error, Reject and Abort, answers that do not fit the request, and damaged
// datagrams.
#include "bacnet/codec.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "tests/support/loopback_socket.h"

using namespace vk::test;
using namespace vk::bacnet;

namespace {

// BVLC Original-Unicast-NPDU with the given NPDU and APDU bytes; the length is computed.
Frame bvlc(std::initializer_list<std::uint8_t> npduAndApdu) {
  Frame frame{0x81, 0x0A, 0, 0};
  frame.insert(frame.end(), npduAndApdu);
  return withBvlcLength(std::move(frame));
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
                                         std::nullopt};
const ReadPropertyRequest kBinaryRequest{7, OBJECT_BINARY_INPUT, 3000485, PROP_PRESENT_VALUE,
                                         std::nullopt};

Answer decode(const Frame& frame, const ReadPropertyRequest& request = kAnalogRequest) {
  return decodeReadPropertyAnswer(frame.data(), frame.size(), request);
}

// A Complex-ACK carrying a DOUBLE.
Frame doubleAck(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  Frame frame = ack({0x55, 0x08});
  frame.pop_back();  // the closing tag
  for (int shift = 56; shift >= 0; shift -= 8)
    frame.push_back(static_cast<std::uint8_t>(bits >> shift));
  frame.push_back(0x3F);
  return withBvlcLength(std::move(frame));
}

// The frame with its NPDU control octet and the bytes after it changed: control is or-ed in and
// fields inserted after it.
Frame withNpdu(Frame frame, std::uint8_t control, std::initializer_list<std::uint8_t> fields) {
  frame[5] |= control;
  frame.insert(frame.begin() + 6, fields);
  return withBvlcLength(std::move(frame));
}

DeviceRequest decodeRequest(const Frame& frame) {
  return decodeDeviceRequest(frame.data(), frame.size());
}

std::optional<IAm> decodeIAm(const Frame& frame) {
  return vk::bacnet::decodeIAm(frame.data(), frame.size());
}

}  // namespace

TEST(BacnetCodec, ReadPropertyRequestBytes) {
  EXPECT_EQ(encodeReadPropertyRequest(kAnalogRequest),
            (Frame{0x81, 0x0A, 0x00, 0x11, 0x01, 0x04, 0x00, 0x05, 0x07, 0x0C, 0x0C, 0x00, 0x00,
                   0x28, 0x7D, 0x19, 0x55}));
  // An array index is encoded only when there is one.
  ReadPropertyRequest indexed{255, OBJECT_BINARY_INPUT, 3000485, PROP_PRESENT_VALUE, 2};
  EXPECT_EQ(encodeReadPropertyRequest(indexed),
            (Frame{0x81, 0x0A, 0x00, 0x13, 0x01, 0x04, 0x00, 0x05, 0xFF, 0x0C, 0x0C, 0x00, 0xED,
                   0xC8, 0xA5, 0x19, 0x55, 0x29, 0x02}));
  // An instance beyond 22 bits cannot be named.
  indexed.instance = kMaxInstance + 1;
  EXPECT_TRUE(encodeReadPropertyRequest(indexed).empty());
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
    const Answer answer = decode(frame);
    EXPECT_EQ(answer.kind, AnswerKind::Value) << int(frame[17]);
    EXPECT_EQ(answer.value, floatBits(expected)) << int(frame[17]);
  }
  // A REAL NaN keeps its bits.
  EXPECT_EQ(decode(ack({0x44, 0x7F, 0xC0, 0x00, 0x01})).value, 0x7FC00001u);
}

TEST(BacnetCodec, BinaryObjectsGetIntegers) {
  const std::pair<Frame, std::uint32_t> cases[] = {
      {binaryAck({0x91, 0x01}), 1},        // ENUMERATED
      {binaryAck({0x92, 0x00, 0x01}), 1},  // ENUMERATED, two bytes
      {binaryAck({0x91, 0x00}), 0},        // ENUMERATED inactive
      {binaryAck({0x10}), 0},              // BOOLEAN false
      {binaryAck({0x11}), 1},              // BOOLEAN true
      {binaryAck({0x21, 0x01}), 1},        // UNSIGNED
      {binaryAck({0x31, 0x00}), 0},        // SIGNED
  };
  for (const auto& [frame, expected] : cases) {
    const Answer answer = decode(frame, kBinaryRequest);
    EXPECT_EQ(answer.kind, AnswerKind::Value) << int(frame[17]);
    EXPECT_EQ(answer.value, expected) << int(frame[17]);
  }
}

// A binary present value is inactive (0) or active (1); any other number, and a float, is no
// value of the point.
TEST(BacnetCodec, BinaryObjectsRefuseOtherNumbers) {
  const Frame cases[] = {
      binaryAck({0x92, 0x01, 0x01}),              // ENUMERATED 257
      binaryAck({0x91, 0x02}),                    // ENUMERATED 2
      binaryAck({0x31, 0xFF}),                    // SIGNED -1
      binaryAck({0x21, 0x02}),                    // UNSIGNED 2
      binaryAck({0x94, 0x12, 0x34, 0x56, 0x78}),  // ENUMERATED 0x12345678
      binaryAck({0x92, 0x01, 0x00}),              // ENUMERATED 256: its low byte is 0
      binaryAck({0x44, 0x3F, 0x80, 0, 0}),        // REAL 1.0
  };
  for (const Frame& frame : cases) {
    EXPECT_EQ(decode(frame, kBinaryRequest).kind, AnswerKind::Unusable) << int(frame[17]);
  }
}

// A value refused for its type or number keeps its tag and, for a number, the number; a refusal
// for anything else keeps neither.
TEST(BacnetCodec, RefusedValuesTellWhatCameBack) {
  using Tag = ApplicationTag;
  const std::tuple<Frame, const ReadPropertyRequest&, Tag, std::optional<double>> cases[] = {
      {binaryAck({0x44, 0x41, 0xAC, 0, 0}), kBinaryRequest, Tag::Real, 21.5},
      {binaryAck({0x92, 0x01, 0x01}), kBinaryRequest, Tag::Enumerated, 257},
      {binaryAck({0x31, 0xFF}), kBinaryRequest, Tag::Signed, -1},
      {doubleAck(1e300), kAnalogRequest, Tag::Double, 1e300},
      {ack({0x75, 0x03, 0x00, 0x41, 0x42}), kAnalogRequest, Tag::CharacterString, {}},
      {ack({0x25, 0x05, 1, 0, 0, 0, 0}), kAnalogRequest, Tag::Unsigned, {}},  // 40 bits
  };
  for (const auto& [frame, request, tag, number] : cases) {
    const Answer answer = decode(frame, request);
    ASSERT_TRUE(answer.refused) << int(frame[17]);
    EXPECT_EQ(answer.refused->tag, tag);
    EXPECT_EQ(answer.refused->number, number) << int(frame[17]);
  }
  EXPECT_FALSE(decode(ack({0x44, 0x41, 0xAC, 0, 0}), kBinaryRequest).refused) << "another object";
  EXPECT_FALSE(decode(withNpdu(binaryAck({0x91, 0x02}), 0x40, {}), kBinaryRequest).refused);
}

// A DOUBLE is converted to float; one that the float cannot hold is refused rather than stored as
// infinity. NaN and the infinities are numbers a float holds.
TEST(BacnetCodec, DoublesBeyondTheFloatRangeAreRefused) {
  const double largest = FLT_MAX;
  const double toInfinity = 0x1.ffffffp+127;  // halfway between FLT_MAX and 2^128
  const double toLargest = std::nextafter(toInfinity, 0.0);
  const double infinity = std::numeric_limits<double>::infinity();
  const std::pair<double, float> values[] = {
      {largest, FLT_MAX},     {toLargest, FLT_MAX}, {-toLargest, -FLT_MAX}, {infinity, INFINITY},
      {-infinity, -INFINITY}, {1e-300, 0.0f},       {-21.5, -21.5f},
  };
  for (const auto& [value, expected] : values) {
    const Answer answer = decode(doubleAck(value));
    EXPECT_EQ(answer.kind, AnswerKind::Value) << value;
    EXPECT_EQ(answer.value, floatBits(expected)) << value;
  }
  const Answer nan = decode(doubleAck(std::numeric_limits<double>::quiet_NaN()));
  ASSERT_EQ(nan.kind, AnswerKind::Value);
  float stored;
  std::memcpy(&stored, &nan.value, sizeof stored);
  EXPECT_TRUE(std::isnan(stored));

  for (const double value : {1e300, -1e300, toInfinity, -toInfinity, DBL_MAX, -DBL_MAX}) {
    EXPECT_EQ(decode(doubleAck(value)).kind, AnswerKind::Unusable) << value;
  }
}

TEST(BacnetCodec, ErrorRejectAndAbortForTheRequest) {
  struct Case {
    Frame frame;
    AnswerKind kind;
    std::uint32_t errorClass, errorCode;
  };
  const Case cases[] = {
      {bvlc({0x01, 0x00, 0x50, 0x07, 0x0C, 0x91, 0x01, 0x91, 0x1F}), AnswerKind::Error, 1, 31},
      {bvlc({0x01, 0x00, 0x50, 0x07, 0x0C, 0x91, 0x02, 0x92, 0x01, 0x00}), AnswerKind::Error, 2,
       256},
      {encodeError(7, 12, ErrorClass::Property, ErrorCode::PropertyIsNotAnArray), AnswerKind::Error,
       2, 50},
      // An Error whose class and code do not decode is still an Error: no class, a class and code
      // of another type, too wide, or a byte after them.
      {bvlc({0x01, 0x00, 0x50, 0x07, 0x0C}), AnswerKind::Error, 0, 0},
      {bvlc({0x01, 0x00, 0x50, 0x07, 0x0C, 0x91, 0x01}), AnswerKind::Error, 0, 0},
      {bvlc({0x01, 0x00, 0x50, 0x07, 0x0C, 0x21, 0x01, 0x21, 0x1F}), AnswerKind::Error, 0, 0},
      {bvlc({0x01, 0x00, 0x50, 0x07, 0x0C, 0x91, 0x01, 0x95, 0x05, 0, 0, 0, 0, 0x1F}),
       AnswerKind::Error, 0, 0},
      {bvlc({0x01, 0x00, 0x50, 0x07, 0x0C, 0x91, 0x01, 0x91, 0x1F, 0x00}), AnswerKind::Error, 0, 0},
      {bvlc({0x01, 0x00, 0x60, 0x07, 0x09}), AnswerKind::Reject, 0, 9},
      {encodeReject(7, RejectReason::InvalidTag), AnswerKind::Reject, 0, 4},
      {bvlc({0x01, 0x00, 0x71, 0x07, 0x04}), AnswerKind::Abort, 0, 4},
      {encodeAbort(7, AbortReason::SecurityError), AnswerKind::Abort, 0, 5},
  };
  for (const Case& expected : cases) {
    const Answer answer = decode(expected.frame);
    EXPECT_EQ(answer.kind, expected.kind) << testing::PrintToString(expected.frame);
    EXPECT_EQ(answer.errorClass, expected.errorClass) << testing::PrintToString(expected.frame);
    EXPECT_EQ(answer.errorCode, expected.errorCode) << testing::PrintToString(expected.frame);
  }
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

// An answer carries an array index exactly when the request asked for one, and then the same.
TEST(BacnetCodec, ArrayIndexMustMatchTheRequest) {
  // The ACK with the given context tag 2 (or nothing) before the value.
  const auto indexedAck = [](std::initializer_list<std::uint8_t> index) {
    Frame frame = ack({0x44, 0x41, 0xAC, 0, 0});
    frame.insert(frame.begin() + 16, index);
    return withBvlcLength(std::move(frame));
  };
  ReadPropertyRequest asking = kAnalogRequest;
  asking.arrayIndex = 2;
  struct Case {
    const char* name;
    Frame frame;
    const ReadPropertyRequest& request;
    AnswerKind kind;
  };
  const Case cases[] = {
      {"none asked, none given", indexedAck({}), kAnalogRequest, AnswerKind::Value},
      {"none asked, index 1", indexedAck({0x29, 0x01}), kAnalogRequest, AnswerKind::Unusable},
      {"none asked, index 0", indexedAck({0x29, 0x00}), kAnalogRequest, AnswerKind::Unusable},
      {"none asked, index 4294967295", indexedAck({0x2C, 0xFF, 0xFF, 0xFF, 0xFF}), kAnalogRequest,
       AnswerKind::Unusable},
      {"2 asked, 2 given", indexedAck({0x29, 0x02}), asking, AnswerKind::Value},
      {"2 asked, 2 given in two bytes", indexedAck({0x2A, 0x00, 0x02}), asking, AnswerKind::Value},
      {"2 asked, 3 given", indexedAck({0x29, 0x03}), asking, AnswerKind::Unusable},
      {"2 asked, none given", indexedAck({}), asking, AnswerKind::Unusable},
  };
  for (const Case& expected : cases) {
    EXPECT_EQ(decode(expected.frame, expected.request).kind, expected.kind) << expected.name;
  }
}

// An answer whose NPDU names a destination network is meant for a node behind a router; reserved
// control bits mark rules this node does not know. Either way the answer cannot be used; a datagram
// that is no answer to the request stays ignored.
TEST(BacnetCodec, AnswersForAnotherNetworkOrWithReservedBitsAreUnusable) {
  const Frame value = ack({0x44, 0x41, 0xAC, 0, 0});
  const Frame error = bvlc({0x01, 0x00, 0x50, 0x07, 0x0C, 0x91, 0x01, 0x91, 0x1F});
  const std::pair<const char*, Frame> unusable[] = {
      {"DNET 5, DADR 0x21", withNpdu(value, 0x20, {0x00, 0x05, 0x01, 0x21, 0xFF})},
      {"DNET 0xFFFF", withNpdu(value, 0x20, {0xFF, 0xFF, 0x00, 0xFF})},
      {"DNET and SNET",
       withNpdu(value, 0x28, {0x00, 0x05, 0x01, 0x21, 0x00, 0x06, 0x01, 0x22, 0xFF})},
      {"an Error with DNET", withNpdu(error, 0x20, {0x00, 0x05, 0x00, 0xFF})},
      {"reserved bit 0x40", withNpdu(value, 0x40, {})},
      {"reserved bit 0x10", withNpdu(value, 0x10, {})},
      {"reserved bit 0x10 on an Error", withNpdu(error, 0x10, {})},
      {"addressed by the encoder", addressTo(value, {5, {0x21}})},
  };
  for (const auto& [name, frame] : unusable) {
    EXPECT_EQ(decode(frame).kind, AnswerKind::Unusable) << name;
  }
  // Another invoke ID, and a DNET without its hop count.
  EXPECT_EQ(decode(withNpdu(ack({0x44, 0x41, 0xAC, 0, 0}, 6), 0x20, {0x00, 0x05, 0x00, 0xFF})).kind,
            AnswerKind::Ignored);
  EXPECT_EQ(decode(withNpdu(value, 0x20, {0x00, 0x05, 0x00})).kind, AnswerKind::Ignored);
}

// The largest datagram a node sends is decoded; one byte more is ignored before it is looked at.
TEST(BacnetCodec, AnswerOfTheLargestDatagramSize) {
  // A Complex-ACK whose value is a character string of the given size (an extended length).
  const auto stringAck = [](std::size_t datagramSize) {
    Frame frame = ack({});
    frame.pop_back();                                             // the closing tag
    const std::size_t content = datagramSize - frame.size() - 5;  // tag, length, closing tag
    frame.insert(frame.end(), {0x75, 0xFE, static_cast<std::uint8_t>(content >> 8),
                               static_cast<std::uint8_t>(content)});
    frame.push_back(0x00);  // character set
    frame.resize(frame.size() + content - 1, 'x');
    frame.push_back(0x3F);
    return withBvlcLength(std::move(frame));
  };
  for (const std::size_t size : {kMaxDatagram - 1, kMaxDatagram}) {
    const Frame frame = stringAck(size);
    ASSERT_EQ(frame.size(), size);
    EXPECT_EQ(decode(frame).kind, AnswerKind::Unusable) << size;
  }
  const Frame oversized = stringAck(kMaxDatagram + 1);
  ASSERT_EQ(oversized.size(), kMaxDatagram + 1);
  EXPECT_EQ(decode(oversized).kind, AnswerKind::Ignored);
}

TEST(BacnetCodec, RoutedAndForwardedAnswersAreDecoded) {
  // From a router: source network 5, MAC address 0x21.
  EXPECT_EQ(decode(bvlc({0x01, 0x08, 0x00, 0x05, 0x01, 0x21, 0x30, 0x07, 0x0C, 0x0C, 0x00, 0x00,
                         0x28, 0x7D, 0x19, 0x55, 0x3E, 0x44, 0x41, 0xAC, 0,    0,    0x3F}))
                .value,
            floatBits(21.5f));
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
  oversized.resize(kMaxDatagram + 1);
  oversized[2] = static_cast<std::uint8_t>(oversized.size() >> 8);
  oversized[3] = static_cast<std::uint8_t>(oversized.size());
  EXPECT_EQ(decode(oversized).kind, AnswerKind::Ignored);
  EXPECT_EQ(decodeReadPropertyAnswer(nullptr, 0, kAnalogRequest).kind, AnswerKind::Ignored);
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
      decodeRequest(changed);
      decodeIAm(changed);
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
    decodeRequest(bytes);
    decodeIAm(bytes);
  }
}

TEST(BacnetCodec, DeviceSideFrames) {
  const Frame request = encodeReadPropertyRequest(kBinaryRequest);
  const DeviceRequest read = decodeDeviceRequest(request.data(), request.size());
  ASSERT_EQ(read.kind, DeviceRequest::Kind::ReadProperty);
  EXPECT_EQ(read.readProperty.invokeId, 7);
  EXPECT_EQ(read.readProperty.type, OBJECT_BINARY_INPUT);
  EXPECT_EQ(read.readProperty.instance, 3000485u);
  EXPECT_EQ(read.readProperty.arrayIndex, std::nullopt);

  // Who-Is for instances 0 to 4194303, as a broadcast.
  Frame whoIs =
      bvlc({0x01, 0x20, 0xFF, 0xFF, 0x00, 0xFF, 0x10, 0x08, 0x09, 0x00, 0x1B, 0x3F, 0xFF, 0xFF});
  whoIs[1] = 0x0B;
  const DeviceRequest who = decodeDeviceRequest(whoIs.data(), whoIs.size());
  ASSERT_EQ(who.kind, DeviceRequest::Kind::WhoIs);
  EXPECT_EQ(who.range, std::make_pair(0u, 4194303u));

  EXPECT_EQ(encodeIAm(5156, 0xFFFF),
            (Frame{0x81, 0x0A, 0x00, 0x15, 0x01, 0x00, 0x10, 0x00, 0xC4, 0x02, 0x00,
                   0x14, 0x24, 0x22, 0x05, 0xC4, 0x91, 0x03, 0x22, 0xFF, 0xFF}));
  EXPECT_EQ(encodeReadPropertyAck(kAnalogRequest, {PresentValue::Type::Real, floatBits(21.5f)}),
            ack({0x44, 0x41, 0xAC, 0x00, 0x00}));
  EXPECT_EQ(encodeReadPropertyAck(kBinaryRequest, {PresentValue::Type::Enumerated, 257}),
            binaryAck({0x92, 0x01, 0x01}));
  EXPECT_EQ(decode(encodeError(7, 12, ErrorClass::Object, ErrorCode::UnknownObject)).kind,
            AnswerKind::Error);
  EXPECT_EQ(decode(encodeReject(7, RejectReason::UnrecognizedService)).kind, AnswerKind::Reject);
}

// How a request was addressed: broadcast by its BVLC function, DNET and SNET/SADR from its NPDU.
TEST(BacnetCodec, DeviceRequestAddressing) {
  const Frame plain = encodeReadPropertyRequest(kAnalogRequest);
  Frame broadcast = plain;
  broadcast[1] = 0x0B;
  Frame forwarded = plain;
  forwarded[1] = 0x04;
  forwarded.insert(forwarded.begin() + 4, {127, 0, 0, 1, 0xBA, 0xC0});
  struct Case {
    const char* name;
    Frame frame;
    bool broadcast;
    std::optional<std::uint16_t> destinationNetwork;
    std::optional<NetworkAddress> source;
  };
  const Case cases[] = {
      {"unicast", plain, false, std::nullopt, std::nullopt},
      {"Original-Broadcast-NPDU", broadcast, true, std::nullopt, std::nullopt},
      {"Forwarded-NPDU", withBvlcLength(forwarded), true, std::nullopt, std::nullopt},
      {"DNET 0xFFFF", addressTo(plain, {0xFFFF, {}}), false, 0xFFFF, std::nullopt},
      {"DNET 5, DADR 0x21", addressTo(plain, {5, {0x21}}), false, 5, std::nullopt},
      {"SNET 5, SADR 0x21 0x22", withNpdu(plain, 0x08, {0x00, 0x05, 0x02, 0x21, 0x22}), false,
       std::nullopt, NetworkAddress{5, {0x21, 0x22}}},
      {"DNET 7 and SNET 5", withNpdu(plain, 0x28, {0x00, 0x07, 0x00, 0x00, 0x05, 0x01, 0x21, 0xFF}),
       false, 7, NetworkAddress{5, {0x21}}},
  };
  for (const Case& expected : cases) {
    const DeviceRequest request = decodeRequest(expected.frame);
    ASSERT_EQ(request.kind, DeviceRequest::Kind::ReadProperty) << expected.name;
    EXPECT_EQ(request.readProperty.instance, 10365u) << expected.name;
    EXPECT_EQ(request.broadcast, expected.broadcast) << expected.name;
    EXPECT_EQ(request.destinationNetwork, expected.destinationNetwork) << expected.name;
    ASSERT_EQ(request.source.has_value(), expected.source.has_value()) << expected.name;
    if (expected.source) {
      EXPECT_EQ(request.source->network, expected.source->network) << expected.name;
      EXPECT_EQ(request.source->mac, expected.source->mac) << expected.name;
    }
  }
  // A source without an address cannot be answered.
  EXPECT_EQ(decodeRequest(withNpdu(plain, 0x08, {0x00, 0x05, 0x00})).kind,
            DeviceRequest::Kind::Ignored);
}

// A segment of a confirmed request, and a ReadProperty whose parameters do not decode, keep their
// invoke ID so that they can be refused; the reason of the Reject depends on what is wrong.
TEST(BacnetCodec, SegmentedAndMalformedRequests) {
  using Kind = DeviceRequest::Kind;
  // A confirmed ReadProperty request, invoke ID 9, with the given parameters.
  const auto readProperty = [](std::initializer_list<std::uint8_t> parameters) {
    Frame frame = bvlc({0x01, 0x04, 0x00, 0x05, 0x09, 0x0C});
    frame.insert(frame.end(), parameters);
    return withBvlcLength(std::move(frame));
  };
  const DeviceRequest segmented =
      decodeRequest(bvlc({0x01, 0x04, 0x0C, 0x05, 0x09, 0x00, 0x01, 0x0C, 0x0C, 0x00}));
  EXPECT_EQ(segmented.kind, Kind::Segmented);
  EXPECT_EQ(segmented.invokeId, 9);
  EXPECT_EQ(segmented.service, 12);
  // Without its sequence number and window size there is no service choice.
  EXPECT_EQ(decodeRequest(bvlc({0x01, 0x04, 0x08, 0x05, 0x09})).kind, Kind::Ignored);

  const std::pair<Frame, RejectReason> malformed[] = {
      {readProperty({}), RejectReason::MissingRequiredParameter},
      {readProperty({0x0C, 0x00, 0x00, 0x28, 0x7D}), RejectReason::MissingRequiredParameter},
      {readProperty({0xC4, 0x00, 0x00, 0x28, 0x7D, 0x19, 0x55}), RejectReason::InvalidTag},
      {readProperty({0x0D, 0x05, 0, 0, 0, 0x28, 0x7D, 0x19, 0x55}), RejectReason::InvalidTag},
      {readProperty({0x0C, 0x00, 0x00, 0x28, 0x7D, 0x29, 0x55}), RejectReason::InvalidTag},
      {readProperty({0x0C, 0x00, 0x00, 0x28, 0x7D, 0x1C, 0x55}), RejectReason::InvalidTag},
      {readProperty({0x0C, 0x00, 0x00, 0x28, 0x7D, 0x19, 0x55, 0x91, 0x01}),
       RejectReason::InvalidTag},
      {readProperty({0x0C, 0x00, 0x00, 0x28, 0x7D, 0x19, 0x55, 0x29, 0x01, 0x00}),
       RejectReason::TooManyArguments},
  };
  for (const auto& [frame, reason] : malformed) {
    const DeviceRequest request = decodeRequest(frame);
    EXPECT_EQ(request.kind, Kind::MalformedReadProperty) << testing::PrintToString(frame);
    EXPECT_EQ(request.invokeId, 9) << testing::PrintToString(frame);
    EXPECT_EQ(int(request.rejectReason), int(reason)) << testing::PrintToString(frame);
  }
  EXPECT_EQ(decodeRequest(readProperty({0x0C, 0x00, 0x00, 0x28, 0x7D, 0x19, 0x55, 0x29, 0x01}))
                .readProperty.arrayIndex,
            1u);
  // An explicit index of 0xFFFFFFFF is an index like any other.
  EXPECT_EQ(decodeRequest(readProperty({0x0C, 0x00, 0x00, 0x28, 0x7D, 0x19, 0x55, 0x2C, 0xFF, 0xFF,
                                        0xFF, 0xFF}))
                .readProperty.arrayIndex,
            0xFFFFFFFFu);
}

TEST(BacnetCodec, DiscoveryAndRoutingFrames) {
  EXPECT_EQ(encodeWhoIs(false), (Frame{0x81, 0x0A, 0x00, 0x08, 0x01, 0x00, 0x10, 0x08}));
  EXPECT_EQ(encodeWhoIs(true), (Frame{0x81, 0x0B, 0x00, 0x08, 0x01, 0x00, 0x10, 0x08}));
  EXPECT_EQ(decodeRequest(encodeWhoIs(true)).kind, DeviceRequest::Kind::WhoIs);
  EXPECT_EQ(encodeAbort(9, AbortReason::SegmentationNotSupported),
            (Frame{0x81, 0x0A, 0x00, 0x09, 0x01, 0x00, 0x71, 0x09, 0x04}));
  EXPECT_EQ(encodeAbort(9, AbortReason::SegmentationNotSupported, false),
            (Frame{0x81, 0x0A, 0x00, 0x09, 0x01, 0x00, 0x70, 0x09, 0x04}));
  // DNET 0x0105, DLEN 2, DADR 0x21 0x22, hop count 255 after the control octet.
  EXPECT_EQ(addressTo(encodeReject(9, RejectReason::UnrecognizedService), {0x0105, {0x21, 0x22}}),
            (Frame{0x81, 0x0A, 0x00, 0x0F, 0x01, 0x20, 0x01, 0x05, 0x02, 0x21, 0x22, 0xFF, 0x60,
                   0x09, 0x09}));
  EXPECT_TRUE(addressTo({}, {5, {0x21}}).empty());
  EXPECT_TRUE(
      addressTo(encodeReject(9, RejectReason::UnrecognizedService), {5, Frame(256, 0x21)}).empty());
}

TEST(BacnetCodec, IAmDecoding) {
  const Frame iAm = encodeIAm(5156, 0xFFFF);
  const std::optional<IAm> decoded = decodeIAm(iAm);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->deviceInstance, 5156u);
  EXPECT_EQ(decoded->maxApdu, 1476u);
  EXPECT_EQ(decoded->segmentation, 3u);
  EXPECT_EQ(decoded->vendorId, 0xFFFFu);

  // Broadcast, forwarded, routed, for every network, the largest instance and wide numbers.
  Frame broadcast = iAm;
  broadcast[1] = 0x0B;
  Frame forwarded = iAm;
  forwarded[1] = 0x04;
  forwarded.insert(forwarded.begin() + 4, {127, 0, 0, 1, 0xBA, 0xC0});
  const Frame wide = bvlc({0x01, 0x00, 0x10, 0x00, 0xC4, 0x02, 0x3F, 0xFF, 0xFF, 0x24, 0x00,
                           0x00, 0x05, 0xC4, 0x91, 0x00, 0x24, 0x00, 0x01, 0x02, 0x03});
  for (const Frame& frame :
       {broadcast, withBvlcLength(forwarded), withNpdu(iAm, 0x08, {0x00, 0x05, 0x01, 0x21}),
        addressTo(iAm, {0xFFFF, {}})}) {
    const auto also = decodeIAm(frame);
    ASSERT_TRUE(also) << testing::PrintToString(frame);
    EXPECT_EQ(also->deviceInstance, 5156u);
  }
  const auto wideIAm = decodeIAm(wide);
  ASSERT_TRUE(wideIAm);
  EXPECT_EQ(wideIAm->deviceInstance, kMaxInstance);
  EXPECT_EQ(wideIAm->maxApdu, 1476u);
  EXPECT_EQ(wideIAm->segmentation, 0u);
  EXPECT_EQ(wideIAm->vendorId, 0x010203u);

  // Not an I-Am: another object type, a Who-Is, a confirmed request, a missing or wrongly tagged
  // field, a byte after it, a wrong BVLC length, every truncation.
  Frame notDevice = iAm;
  notDevice[9] = 0x00;  // analog input
  Frame confirmed = iAm;
  confirmed[6] = 0x00;
  Frame unsignedSegmentation = iAm;
  unsignedSegmentation[16] = 0x21;
  Frame trailing = iAm;
  trailing.push_back(0x00);
  Frame wrongLength = iAm;
  wrongLength[3] += 1;
  Frame shortId = bvlc({0x01, 0x00, 0x10, 0x00, 0xC3, 0x02, 0x00, 0x14, 0x22, 0x05, 0xC4, 0x91,
                        0x03, 0x22, 0xFF, 0xFF});
  for (const Frame& frame : {notDevice, encodeWhoIs(false), confirmed, unsignedSegmentation,
                             withBvlcLength(trailing), wrongLength, shortId}) {
    EXPECT_FALSE(decodeIAm(frame)) << testing::PrintToString(frame);
  }
  for (std::size_t size = 0; size < iAm.size(); ++size) {
    Frame cut(iAm.begin(), iAm.begin() + static_cast<std::ptrdiff_t>(size));
    if (size >= 4) cut[3] = static_cast<std::uint8_t>(size);
    EXPECT_FALSE(decodeIAm(cut)) << size;
  }
  EXPECT_FALSE(vk::bacnet::decodeIAm(nullptr, 0));
}
