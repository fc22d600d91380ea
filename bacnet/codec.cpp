#include "bacnet/codec.h"

#include <cmath>
#include <cstring>

namespace vk::bacnet {

namespace {

constexpr std::uint8_t kBvlcType = 0x81;
constexpr std::uint8_t kBvlcForwarded = 0x04;
constexpr std::uint8_t kBvlcUnicast = 0x0A;
constexpr std::uint8_t kBvlcBroadcast = 0x0B;
constexpr std::uint8_t kNpduVersion = 0x01;
// NPCI control octet.
constexpr std::uint8_t kNpduNetworkMessage = 0x80;
constexpr std::uint8_t kNpduReserved = 0x40 | 0x10;
constexpr std::uint8_t kNpduDestination = 0x20;
constexpr std::uint8_t kNpduSource = 0x08;
constexpr std::uint8_t kNpduExpectingReply = 0x04;

constexpr std::uint8_t kPduConfirmedRequest = 0x0;
constexpr std::uint8_t kPduUnconfirmedRequest = 0x1;
constexpr std::uint8_t kPduComplexAck = 0x3;
constexpr std::uint8_t kPduError = 0x5;
constexpr std::uint8_t kPduReject = 0x6;
constexpr std::uint8_t kPduAbort = 0x7;

constexpr std::uint8_t kServiceIAm = 0;
constexpr std::uint8_t kServiceWhoIs = 8;

// Application tag numbers.
constexpr std::uint8_t kTagBoolean = 1;
constexpr std::uint8_t kTagUnsigned = 2;
constexpr std::uint8_t kTagSigned = 3;
constexpr std::uint8_t kTagReal = 4;
constexpr std::uint8_t kTagDouble = 5;
constexpr std::uint8_t kTagEnumerated = 9;
constexpr std::uint8_t kTagObjectId = 12;

constexpr std::uint32_t kObjectDevice = 8;

// From this magnitude on a double rounds to an infinite float: halfway between the largest float
// and 2^128.
constexpr double kFloatOverflow = 0x1.ffffffp+127;

// ---- Encoding ----

void putBigEndian(Frame& frame, std::uint64_t value, unsigned bytes) {
  for (unsigned i = bytes; i-- > 0;) frame.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// The fewest bytes (at least one) that hold value.
unsigned unsignedLength(std::uint32_t value) {
  unsigned bytes = 1;
  while (bytes < 4 && (value >> (8 * bytes)) != 0) ++bytes;
  return bytes;
}

void putTag(Frame& frame, std::uint8_t number, bool context, unsigned length) {
  frame.push_back(static_cast<std::uint8_t>(number << 4 | (context ? 0x08 : 0) | length));
}

void putUnsigned(Frame& frame, std::uint8_t number, bool context, std::uint32_t value) {
  const unsigned bytes = unsignedLength(value);
  putTag(frame, number, context, bytes);
  putBigEndian(frame, value, bytes);
}

void putObjectId(Frame& frame, std::uint8_t number, bool context, std::uint32_t type,
                 std::uint32_t instance) {
  putTag(frame, number, context, 4);
  putBigEndian(frame, type << 22 | instance, 4);
}

// BVLC header (Original-Unicast-NPDU by default) and NPDU header; the length is filled in by
// finish().
Frame startFrame(bool expectingReply, std::uint8_t function = kBvlcUnicast) {
  return {
      kBvlcType, function,     0,
      0,         kNpduVersion, static_cast<std::uint8_t>(expectingReply ? kNpduExpectingReply : 0)};
}

Frame finish(Frame frame) {
  frame[2] = static_cast<std::uint8_t>(frame.size() >> 8);
  frame[3] = static_cast<std::uint8_t>(frame.size());
  return frame;
}

bool fitsObjectId(std::uint32_t type, std::uint32_t instance) {
  return type < 1024 && instance <= kMaxInstance;
}

// ---- Decoding ----

// Reads bytes front to back; any read past the end fails and leaves the reader failed.
class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool byte(std::uint8_t& out) {
    if (pos_ >= size_) return fail();
    out = data_[pos_++];
    return true;
  }
  bool bigEndian(std::size_t bytes, std::uint64_t& out) {
    if (bytes > size_ - pos_) return fail();
    out = 0;
    for (std::size_t i = 0; i < bytes; ++i) out = out << 8 | data_[pos_++];
    return true;
  }
  bool skip(std::size_t bytes) {
    if (bytes > size_ - pos_) return fail();
    pos_ += bytes;
    return true;
  }
  bool atEnd() const { return pos_ == size_; }
  std::size_t position() const { return pos_; }

 private:
  bool fail() {
    pos_ = size_;
    return false;
  }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

struct Tag {
  std::uint8_t number = 0;
  bool context = false;
  bool opening = false;
  bool closing = false;
  std::uint32_t length = 0;  // of the content; an application BOOLEAN's value
};

bool readTag(Reader& in, Tag& tag) {
  std::uint8_t first;
  if (!in.byte(first)) return false;
  tag = {};
  tag.number = first >> 4;
  tag.context = (first & 0x08) != 0;
  const std::uint8_t lvt = first & 0x07;
  if (tag.number == 15 && !in.byte(tag.number)) return false;
  if (tag.context && lvt == 6) {
    tag.opening = true;
  } else if (tag.context && lvt == 7) {
    tag.closing = true;
  } else if (lvt == 5) {
    std::uint8_t extended;
    if (!in.byte(extended)) return false;
    std::uint64_t length = extended;
    if (extended == 254 && !in.bigEndian(2, length)) return false;
    if (extended == 255 && !in.bigEndian(4, length)) return false;
    tag.length = static_cast<std::uint32_t>(length);
  } else {
    tag.length = lvt;
  }
  return true;
}

// A context-tagged unsigned of 1 to 4 bytes with the given tag number.
bool readContextUnsigned(Reader& in, std::uint8_t number, std::uint32_t& value) {
  Tag tag;
  std::uint64_t raw;
  if (!readTag(in, tag) || !tag.context || tag.number != number || tag.length < 1 ||
      tag.length > 4 || !in.bigEndian(tag.length, raw)) {
    return false;
  }
  value = static_cast<std::uint32_t>(raw);
  return true;
}

// What the BVLC and NPDU headers say; addresses as positions of their bytes in the datagram.
struct Headers {
  std::uint8_t function = 0;
  std::uint8_t control = 0;
  std::uint16_t destinationNetwork = 0;  // with kNpduDestination
  std::uint16_t sourceNetwork = 0;       // with kNpduSource
  std::size_t sourceAt = 0;
  std::uint8_t sourceLength = 0;
};

// Reads a network number and the MAC address that follows it; where the address starts and its
// length.
bool readNetworkAddress(Reader& in, std::uint16_t& network, std::size_t& at, std::uint8_t& length) {
  std::uint64_t number;
  if (!in.bigEndian(2, number) || !in.byte(length)) return false;
  network = static_cast<std::uint16_t>(number);
  at = in.position();
  return in.skip(length);
}

// Reads the BVLC and NPDU headers; false for anything but an application-layer message that fills
// the datagram exactly as its BVLC length says.
bool readHeaders(Reader& in, std::size_t size, Headers& headers) {
  std::uint8_t type;
  std::uint64_t length;
  if (!in.byte(type) || !in.byte(headers.function) || !in.bigEndian(2, length)) return false;
  if (type != kBvlcType || length != size) return false;
  if (headers.function == kBvlcForwarded) {
    if (!in.skip(6)) return false;  // address of the original sender
  } else if (headers.function != kBvlcUnicast && headers.function != kBvlcBroadcast) {
    return false;
  }

  std::uint8_t version;
  if (!in.byte(version) || !in.byte(headers.control) || version != kNpduVersion) return false;
  if ((headers.control & kNpduNetworkMessage) != 0) return false;
  std::size_t at;
  std::uint8_t addressLength;
  const bool destination = (headers.control & kNpduDestination) != 0;
  if (destination && !readNetworkAddress(in, headers.destinationNetwork, at, addressLength)) {
    return false;
  }
  if ((headers.control & kNpduSource) != 0 &&
      !readNetworkAddress(in, headers.sourceNetwork, headers.sourceAt, headers.sourceLength)) {
    return false;
  }
  std::uint8_t hopCount;
  return !destination || in.byte(hopCount);
}

// An application-tagged unsigned or enumerated of 1 to 4 bytes with the given tag number.
bool readApplicationUnsigned(Reader& in, std::uint8_t number, std::uint32_t& value) {
  Tag tag;
  std::uint64_t raw;
  if (!readTag(in, tag) || tag.context || tag.number != number || tag.length < 1 ||
      tag.length > 4 || !in.bigEndian(tag.length, raw)) {
    return false;
  }
  value = static_cast<std::uint32_t>(raw);
  return true;
}

// The present value inside the ACK's opening and closing tag 3, converted for the object type.
Answer readPresentValue(Reader& in, BACnetObjectType type) {
  const Answer malformed{AnswerKind::Ignored};
  const Answer unusable{AnswerKind::Unusable};
  Tag tag;
  if (!readTag(in, tag)) return malformed;
  if (tag.context) return unusable;  // a constructed or context-specific value
  // The refusal of this value, telling its tag and, where it decoded as one, its number.
  const auto refuse = [&tag](std::optional<double> number = std::nullopt) {
    return Answer{AnswerKind::Unusable, 0, 0, 0,
                  RefusedValue{static_cast<ApplicationTag>(tag.number), number}};
  };

  std::uint64_t raw = 0;
  if (tag.number == kTagBoolean) {
    if (tag.length > 1) return malformed;
    raw = tag.length;
  } else if (tag.length > 8 || !in.bigEndian(tag.length, raw)) {
    return tag.length > 8 && in.skip(tag.length) ? refuse() : malformed;
  }

  Tag closing;
  if (!readTag(in, closing)) return malformed;
  if (!closing.closing || closing.number != 3) return unusable;  // more than one value
  if (!in.atEnd()) return malformed;

  const bool integer = tag.number == kTagBoolean || tag.number == kTagUnsigned ||
                       tag.number == kTagEnumerated || tag.number == kTagSigned;
  if (integer && (tag.length > 4 || (tag.number != kTagBoolean && tag.length == 0))) {
    return refuse();  // wider than 32 bits, or no content
  }
  std::uint32_t value = static_cast<std::uint32_t>(raw);
  std::int32_t signedValue = 0;
  if (tag.number == kTagSigned) {
    const unsigned shift = 32 - 8 * tag.length;  // sign-extend from the encoded width
    signedValue = static_cast<std::int32_t>(value << shift) >> shift;
    value = static_cast<std::uint32_t>(signedValue);
  }
  double number = 0;  // a DOUBLE's
  if (tag.number == kTagDouble && tag.length == 8) std::memcpy(&number, &raw, sizeof number);

  if (isBinary(type)) {
    // Inactive or active; any other number is no value of a binary object.
    if (integer && value <= 1) return {AnswerKind::Value, value};
    if (integer) {
      return refuse(tag.number == kTagSigned ? static_cast<double>(signedValue)
                                             : static_cast<double>(value));
    }
    if (tag.number == kTagReal && tag.length == 4) {
      float real;
      std::memcpy(&real, &value, sizeof real);
      return refuse(real);
    }
    if (tag.number == kTagDouble && tag.length == 8) return refuse(number);
    return refuse();
  }
  switch (tag.number) {
    case kTagReal:
      if (tag.length != 4) return refuse();
      return {AnswerKind::Value, value};
    case kTagDouble:
      if (tag.length != 8) return refuse();
      // A finite number the float cannot hold would be stored as infinity.
      if (std::isfinite(number) && std::fabs(number) >= kFloatOverflow) return refuse(number);
      return {AnswerKind::Value, floatBits(static_cast<float>(number))};
    case kTagSigned:
      return {AnswerKind::Value, floatBits(static_cast<float>(signedValue))};
    case kTagBoolean:
    case kTagUnsigned:
    case kTagEnumerated:
      return {AnswerKind::Value, floatBits(static_cast<float>(value))};
    default:
      return refuse();
  }
}

Answer readComplexAck(Reader& in, std::uint8_t first, const ReadPropertyRequest& request) {
  const Answer malformed{AnswerKind::Ignored};
  const Answer unusable{AnswerKind::Unusable};
  std::uint8_t invokeId, service;
  if (!in.byte(invokeId) || invokeId != request.invokeId) return malformed;
  if ((first & 0x08) != 0) return unusable;  // segmented: never asked for
  if (!in.byte(service)) return malformed;
  if (service != kServiceReadProperty) return unusable;

  std::uint32_t objectId, property;
  if (!readContextUnsigned(in, 0, objectId) || !readContextUnsigned(in, 1, property)) {
    return malformed;
  }
  const bool sameObject =
      objectId >> 22 == request.type && (objectId & kMaxInstance) == request.instance;
  Tag tag;
  if (!readTag(in, tag)) return malformed;
  // An index must be there exactly when the request asked for one, whatever its value.
  bool indexed = false;
  std::uint32_t arrayIndex = 0;
  if (tag.context && tag.number == 2 && !tag.opening && !tag.closing) {
    std::uint64_t raw;
    if (tag.length < 1 || tag.length > 4 || !in.bigEndian(tag.length, raw)) return malformed;
    indexed = true;
    arrayIndex = static_cast<std::uint32_t>(raw);
    if (!readTag(in, tag)) return malformed;
  }
  if (!tag.opening || tag.number != 3) return malformed;
  const bool askedIndex = request.arrayIndex.has_value();
  if (!sameObject || property != request.property || indexed != askedIndex ||
      (indexed && arrayIndex != *request.arrayIndex)) {
    return unusable;
  }
  return readPresentValue(in, request.type);
}

// Error: invoke ID, service, then the error class and code as ENUMERATED (both 0 when they do not
// decode); Reject and Abort: invoke ID and reason.
Answer readRefusal(Reader& in, std::uint8_t pduType, const ReadPropertyRequest& request) {
  const Answer malformed{AnswerKind::Ignored};
  std::uint8_t invokeId, next;
  if (!in.byte(invokeId) || !in.byte(next) || invokeId != request.invokeId) return malformed;
  if (pduType == kPduError) {
    Answer error{AnswerKind::Error};
    if (readApplicationUnsigned(in, kTagEnumerated, error.errorClass) &&
        readApplicationUnsigned(in, kTagEnumerated, error.errorCode) && in.atEnd()) {
      return error;
    }
    return {AnswerKind::Error};
  }
  return {pduType == kPduReject ? AnswerKind::Reject : AnswerKind::Abort, 0, 0, next};
}

// The ReadProperty parameters after the service choice: empty when they decode, otherwise the
// reason to reject them.
std::optional<RejectReason> readReadPropertyParameters(Reader& in, ReadPropertyRequest& read) {
  std::uint32_t objectId;
  if (in.atEnd()) return RejectReason::MissingRequiredParameter;
  if (!readContextUnsigned(in, 0, objectId)) return RejectReason::InvalidTag;
  if (in.atEnd()) return RejectReason::MissingRequiredParameter;
  if (!readContextUnsigned(in, 1, read.property)) return RejectReason::InvalidTag;
  if (!in.atEnd()) {
    std::uint32_t arrayIndex;
    if (!readContextUnsigned(in, 2, arrayIndex)) return RejectReason::InvalidTag;
    read.arrayIndex = arrayIndex;
  }
  if (!in.atEnd()) return RejectReason::TooManyArguments;
  read.type = static_cast<BACnetObjectType>(objectId >> 22);
  read.instance = objectId & kMaxInstance;
  return std::nullopt;
}

}  // namespace

Frame encodeReadPropertyRequest(const ReadPropertyRequest& request) {
  if (!fitsObjectId(request.type, request.instance)) return {};
  Frame frame = startFrame(true);
  // Confirmed request, unsegmented, segmented answers not accepted; up to 1476-byte answers.
  frame.insert(frame.end(),
               {kPduConfirmedRequest << 4, 0x05, request.invokeId, kServiceReadProperty});
  putObjectId(frame, 0, true, request.type, request.instance);
  putUnsigned(frame, 1, true, request.property);
  if (request.arrayIndex) putUnsigned(frame, 2, true, *request.arrayIndex);
  return finish(std::move(frame));
}

Answer decodeReadPropertyAnswer(const std::uint8_t* data, std::size_t size,
                                const ReadPropertyRequest& request) {
  const Answer ignored{AnswerKind::Ignored};
  if (data == nullptr || size > kMaxDatagram) return ignored;
  Reader in(data, size);
  Headers headers;
  std::uint8_t first;
  if (!readHeaders(in, size, headers) || !in.byte(first)) return ignored;

  Answer answer = ignored;
  const std::uint8_t pduType = first >> 4;
  if (pduType == kPduComplexAck) {
    answer = readComplexAck(in, first, request);
  } else if (pduType == kPduError || pduType == kPduReject || pduType == kPduAbort) {
    answer = readRefusal(in, pduType, request);
  }
  // An answer naming a destination network is meant for a node behind a router, and one with
  // reserved control bits set follows rules this node does not know: neither answers the request.
  if (answer.kind != AnswerKind::Ignored &&
      (headers.control & (kNpduDestination | kNpduReserved)) != 0) {
    return {AnswerKind::Unusable};
  }
  return answer;
}

DeviceRequest decodeDeviceRequest(const std::uint8_t* data, std::size_t size) {
  DeviceRequest request;
  if (data == nullptr || size > kMaxDatagram) return request;
  Reader in(data, size);
  Headers headers;
  std::uint8_t first;
  if (!readHeaders(in, size, headers) || !in.byte(first)) return request;
  if ((headers.control & kNpduSource) != 0 && headers.sourceLength == 0) {
    return request;  // a source without an address cannot be answered
  }

  DeviceRequest::Kind kind = DeviceRequest::Kind::Ignored;
  if ((first >> 4) == kPduUnconfirmedRequest) {
    std::uint8_t service;
    if (!in.byte(service) || service != kServiceWhoIs) return request;
    if (!in.atEnd()) {
      std::uint32_t low, high;
      if (!readContextUnsigned(in, 0, low) || !readContextUnsigned(in, 1, high) || !in.atEnd()) {
        return request;
      }
      request.range = std::make_pair(low, high);
    }
    kind = DeviceRequest::Kind::WhoIs;
  } else if ((first >> 4) == kPduConfirmedRequest) {
    // Flags, maximum segments and APDU, invoke ID; a segment's sequence number and window size;
    // the service choice.
    std::uint8_t maxApdu, sequence, window;
    const bool segmented = (first & 0x08) != 0;
    if (!in.byte(maxApdu) || !in.byte(request.invokeId) ||
        (segmented && (!in.byte(sequence) || !in.byte(window))) || !in.byte(request.service)) {
      return request;
    }
    if (segmented) {
      kind = DeviceRequest::Kind::Segmented;
    } else if (request.service != kServiceReadProperty) {
      kind = DeviceRequest::Kind::OtherConfirmed;
    } else {
      request.readProperty.invokeId = request.invokeId;
      const std::optional<RejectReason> reject =
          readReadPropertyParameters(in, request.readProperty);
      request.rejectReason = reject.value_or(RejectReason::Other);
      kind =
          reject ? DeviceRequest::Kind::MalformedReadProperty : DeviceRequest::Kind::ReadProperty;
    }
  } else {
    return request;
  }

  request.kind = kind;
  request.broadcast = headers.function == kBvlcBroadcast || headers.function == kBvlcForwarded;
  if ((headers.control & kNpduDestination) != 0) {
    request.destinationNetwork = headers.destinationNetwork;
  }
  if ((headers.control & kNpduSource) != 0) {
    request.source =
        NetworkAddress{headers.sourceNetwork,
                       std::vector<std::uint8_t>(data + headers.sourceAt,
                                                 data + headers.sourceAt + headers.sourceLength)};
  }
  return request;
}

Frame encodeReadPropertyAck(const ReadPropertyRequest& request, PresentValue value) {
  if (!fitsObjectId(request.type, request.instance)) return {};
  Frame frame = startFrame(false);
  frame.insert(frame.end(), {kPduComplexAck << 4, request.invokeId, kServiceReadProperty});
  putObjectId(frame, 0, true, request.type, request.instance);
  putUnsigned(frame, 1, true, request.property);
  if (request.arrayIndex) putUnsigned(frame, 2, true, *request.arrayIndex);
  frame.push_back(0x3E);  // opening tag 3
  if (value.type == PresentValue::Type::Real) {
    putTag(frame, kTagReal, false, 4);
    putBigEndian(frame, value.bits, 4);
  } else {
    putUnsigned(frame, kTagEnumerated, false, value.bits);
  }
  frame.push_back(0x3F);  // closing tag 3
  return finish(std::move(frame));
}

Frame encodeError(std::uint8_t invokeId, std::uint8_t service, ErrorClass errorClass,
                  ErrorCode errorCode) {
  Frame frame = startFrame(false);
  frame.insert(frame.end(), {kPduError << 4, invokeId, service});
  putUnsigned(frame, kTagEnumerated, false, static_cast<std::uint32_t>(errorClass));
  putUnsigned(frame, kTagEnumerated, false, static_cast<std::uint32_t>(errorCode));
  return finish(std::move(frame));
}

Frame encodeReject(std::uint8_t invokeId, RejectReason reason) {
  Frame frame = startFrame(false);
  frame.insert(frame.end(), {kPduReject << 4, invokeId, static_cast<std::uint8_t>(reason)});
  return finish(std::move(frame));
}

Frame encodeAbort(std::uint8_t invokeId, AbortReason reason, bool fromServer) {
  Frame frame = startFrame(false);
  frame.insert(frame.end(), {static_cast<std::uint8_t>(kPduAbort << 4 | (fromServer ? 1 : 0)),
                             invokeId, static_cast<std::uint8_t>(reason)});
  return finish(std::move(frame));
}

Frame encodeIAm(std::uint32_t deviceInstance, std::uint16_t vendorId) {
  if (!fitsObjectId(kObjectDevice, deviceInstance)) return {};
  Frame frame = startFrame(false);
  frame.insert(frame.end(), {kPduUnconfirmedRequest << 4, kServiceIAm});
  putObjectId(frame, kTagObjectId, false, kObjectDevice, deviceInstance);
  putUnsigned(frame, kTagUnsigned, false, 1476);
  putUnsigned(frame, kTagEnumerated, false, static_cast<std::uint32_t>(Segmentation::None));
  putUnsigned(frame, kTagUnsigned, false, vendorId);
  return finish(std::move(frame));
}

Frame addressTo(Frame frame, const NetworkAddress& destination) {
  constexpr std::size_t kControlAt = 5;  // after the BVLC header and the NPDU version
  if (frame.size() <= kControlAt || destination.mac.size() > 255) return {};
  frame[kControlAt] |= kNpduDestination;
  Frame fields;
  putBigEndian(fields, destination.network, 2);
  fields.push_back(static_cast<std::uint8_t>(destination.mac.size()));
  fields.insert(fields.end(), destination.mac.begin(), destination.mac.end());
  fields.push_back(255);  // hop count
  frame.insert(frame.begin() + kControlAt + 1, fields.begin(), fields.end());
  return finish(std::move(frame));
}

Frame encodeWhoIs(bool broadcast) {
  Frame frame = startFrame(false, broadcast ? kBvlcBroadcast : kBvlcUnicast);
  frame.insert(frame.end(), {kPduUnconfirmedRequest << 4, kServiceWhoIs});
  return finish(std::move(frame));
}

std::optional<IAm> decodeIAm(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size > kMaxDatagram) return std::nullopt;
  Reader in(data, size);
  Headers headers;
  std::uint8_t first, service;
  if (!readHeaders(in, size, headers) || !in.byte(first) || !in.byte(service) ||
      first != kPduUnconfirmedRequest << 4 || service != kServiceIAm) {
    return std::nullopt;
  }
  IAm iAm;
  std::uint32_t objectId;
  Tag tag;
  std::uint64_t raw;
  if (!readTag(in, tag) || tag.context || tag.number != kTagObjectId || tag.length != 4 ||
      !in.bigEndian(4, raw)) {
    return std::nullopt;
  }
  objectId = static_cast<std::uint32_t>(raw);
  if (objectId >> 22 != kObjectDevice) return std::nullopt;
  iAm.deviceInstance = objectId & kMaxInstance;
  if (!readApplicationUnsigned(in, kTagUnsigned, iAm.maxApdu) ||
      !readApplicationUnsigned(in, kTagEnumerated, iAm.segmentation) ||
      !readApplicationUnsigned(in, kTagUnsigned, iAm.vendorId) || !in.atEnd()) {
    return std::nullopt;
  }
  return iAm;
}

}  // namespace vk::bacnet
