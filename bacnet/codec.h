// BACnet/IP frames of a ReadProperty exchange, Who-Is and I-Am, as pure functions over bytes:
// the client encodes requests and decodes answers, the simulated device on the network decodes
// requests and encodes answers. Decoders take any bytes at all and never read outside them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "bacnet.h"
#include "bacnet/enumerations.h"

namespace vk::bacnet {

using Frame = std::vector<std::uint8_t>;

// The largest datagram a BACnet/IP node sends: BVLC and NPDU headers plus an APDU of 1476 bytes.
inline constexpr std::size_t kMaxDatagram = 1497;
inline constexpr std::uint32_t kMaxInstance = 0x3FFFFF;  // 22 bits of an object identifier

inline constexpr std::uint8_t kServiceReadProperty = 12;

// The DNET of a message for every network.
inline constexpr std::uint16_t kGlobalBroadcast = 0xFFFF;

// A node behind a router: the network number and its MAC address there.
struct NetworkAddress {
  std::uint16_t network = 0;
  std::vector<std::uint8_t> mac;  // empty: every node of that network
};

struct ReadPropertyRequest {
  std::uint8_t invokeId = 0;
  BACnetObjectType type = OBJECT_ANALOG_INPUT;
  std::uint32_t instance = 0;
  std::uint32_t property = PROP_PRESENT_VALUE;
  std::optional<std::uint32_t> arrayIndex;  // none: no index in the frame, whatever its value
};

// A confirmed ReadProperty request in a BVLC Original-Unicast-NPDU, expecting a reply. Empty when
// the type or the instance does not fit an object identifier.
Frame encodeReadPropertyRequest(const ReadPropertyRequest& request);

enum class AnswerKind {
  Value,     // a Complex-ACK for the request with a usable present value
  Error,     // an Error PDU for the request's invoke ID
  Reject,    // a Reject PDU for the request's invoke ID
  Abort,     // an Abort PDU for the request's invoke ID
  Unusable,  // an answer for the request's invoke ID that cannot be used: about another service,
             // object, property or array index, with a value that is not a single number of a
             // decoded type or not one of the object's values (a binary value other than 0 and 1,
             // a DOUBLE beyond the float range), or with an NPDU naming a destination network or
             // setting reserved control bits
  Ignored,   // not an answer to this request: another invoke ID, another kind of message,
             // truncated, oversized or malformed
};

// A single application-tagged present value that was refused, as far as it decoded: its tag and,
// for an integer of up to 32 bits, a REAL or a DOUBLE, its number. Nothing else of the peer's bytes
// is kept.
struct RefusedValue {
  ApplicationTag tag = ApplicationTag::Null;
  std::optional<double> number;
};

struct Answer {
  AnswerKind kind = AnswerKind::Ignored;
  // With Value: binary objects the integer value (BOOLEAN, UNSIGNED, ENUMERATED, SIGNED);
  // analog objects the single-precision bits (REAL unchanged, other numeric types converted).
  std::uint32_t value = 0;
  // With Error: the error class and code (both 0 when they do not decode). With Reject and Abort:
  // the reason, in errorCode.
  std::uint32_t errorClass = 0;
  std::uint32_t errorCode = 0;
  // With Unusable for the present value alone (not for another object, property, service or
  // network): what came back.
  std::optional<RefusedValue> refused = std::nullopt;
};

// Decodes one received datagram as the answer to request.
Answer decodeReadPropertyAnswer(const std::uint8_t* data, std::size_t size,
                                const ReadPropertyRequest& request);

// What a device was asked, and how the request was addressed.
struct DeviceRequest {
  enum class Kind {
    ReadProperty,    // readProperty holds it
    WhoIs,           // range holds the limits, if given
    OtherConfirmed,  // a confirmed request for another service: invokeId and service hold it
    Segmented,       // a segment of a confirmed request: invokeId and service hold it
    // A ReadProperty whose parameters do not decode: invokeId, and the Reject reason in
    // rejectReason: missing-required-parameter when they end before the object identifier or the
    // property, invalid-tag when a parameter has another tag or a bad length, too-many-arguments
    // when bytes follow them.
    MalformedReadProperty,
    Ignored,  // anything else, malformed headers included
  };
  Kind kind = Kind::Ignored;
  ReadPropertyRequest readProperty;
  std::uint8_t invokeId = 0;
  std::uint8_t service = 0;
  RejectReason rejectReason = RejectReason::Other;
  std::optional<std::pair<std::uint32_t, std::uint32_t>> range;

  // A BVLC Original-Broadcast-NPDU, or a Forwarded-NPDU (which carries broadcasts only).
  bool broadcast = false;
  // The NPDU's DNET: 0xFFFF for every network, anything else another network than the device's.
  std::optional<std::uint16_t> destinationNetwork;
  // The NPDU's SNET and SADR: the requester is behind a router, which delivers the answer when it
  // names them as its destination (addressTo).
  std::optional<NetworkAddress> source;
};

DeviceRequest decodeDeviceRequest(const std::uint8_t* data, std::size_t size);

// A float's bits, as a REAL present value carries them.
inline std::uint32_t floatBits(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// A present value as a device sends it.
struct PresentValue {
  enum class Type { Enumerated, Real };
  Type type = Type::Enumerated;
  std::uint32_t bits = 0;  // the enumerated value, or the float's bits
};

// Answers, each a BVLC Original-Unicast-NPDU.
Frame encodeReadPropertyAck(const ReadPropertyRequest& request, PresentValue value);
Frame encodeError(std::uint8_t invokeId, std::uint8_t service, ErrorClass errorClass,
                  ErrorCode errorCode);
Frame encodeReject(std::uint8_t invokeId, RejectReason reason);
Frame encodeAbort(std::uint8_t invokeId, AbortReason reason, bool fromServer = true);
// I-Am of a device without segmentation, maximum APDU 1476.
Frame encodeIAm(std::uint32_t deviceInstance, std::uint16_t vendorId);

// A frame of the encoders here with its NPDU naming destination as DNET and DADR, hop count 255,
// so that a router delivers it there. Empty when frame is empty or the MAC address is longer than
// 255 bytes.
Frame addressTo(Frame frame, const NetworkAddress& destination);

// A Who-Is without limits, unconfirmed: BVLC Original-Unicast-NPDU, or Original-Broadcast-NPDU
// when broadcast.
Frame encodeWhoIs(bool broadcast);

struct IAm {
  std::uint32_t deviceInstance = 0;
  std::uint32_t maxApdu = 0;
  std::uint32_t segmentation = 0;  // a Segmentation
  std::uint32_t vendorId = 0;
};
// An I-Am in any BVLC function and NPDU the codec accepts; empty for anything else (malformed
// included).
std::optional<IAm> decodeIAm(const std::uint8_t* data, std::size_t size);

}  // namespace vk::bacnet
