// The BACnet enumerations the stack, the simulators and the tools use, each with the table of its
// names beside it. Values outside a table are legal on the wire; they have no name here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "bacnet.h"

namespace vk::bacnet {

template <class Enum>
struct Named {
  Enum value;
  std::string_view name;
};

// The name of value in table; empty when the table has none.
template <class Enum, std::size_t N>
constexpr std::optional<std::string_view> nameOf(const Named<Enum> (&table)[N], Enum value) {
  for (const Named<Enum>& entry : table) {
    if (entry.value == value) return entry.name;
  }
  return std::nullopt;
}

// The object types of the points vornk reads.
inline constexpr Named<BACnetObjectType> kObjectTypeNames[] = {
    {OBJECT_ANALOG_INPUT, "analog-input"},   {OBJECT_ANALOG_OUTPUT, "analog-output"},
    {OBJECT_ANALOG_VALUE, "analog-value"},   {OBJECT_BINARY_INPUT, "binary-input"},
    {OBJECT_BINARY_OUTPUT, "binary-output"},
};

// Binary objects have an enumerated present value, inactive or active; the others a REAL.
constexpr bool isBinary(BACnetObjectType type) {
  return type == OBJECT_BINARY_INPUT || type == OBJECT_BINARY_OUTPUT;
}

// "analog-input" and the like; "unknown-type" for a type without a name.
constexpr std::string_view objectTypeName(BACnetObjectType type) {
  return nameOf(kObjectTypeNames, type).value_or("unknown-type");
}

// The object type a name of kObjectTypeNames or its decimal number stands for.
inline std::optional<BACnetObjectType> objectTypeFromName(std::string_view name) {
  for (const auto& [type, typeName] : kObjectTypeNames) {
    if (name == typeName || name == std::to_string(type)) return type;
  }
  return std::nullopt;
}

// The error classes and codes of an Error PDU; the codes are those a device answers a failed read
// with.
enum class ErrorClass : std::uint32_t {
  Device = 0,
  Object = 1,
  Property = 2,
  Resources = 3,
  Security = 4,
  Services = 5,
  Vt = 6,
  Communication = 7,
};
inline constexpr Named<ErrorClass> kErrorClassNames[] = {
    {ErrorClass::Device, "device"},
    {ErrorClass::Object, "object"},
    {ErrorClass::Property, "property"},
    {ErrorClass::Resources, "resources"},
    {ErrorClass::Security, "security"},
    {ErrorClass::Services, "services"},
    {ErrorClass::Vt, "vt"},
    {ErrorClass::Communication, "communication"},
};

enum class ErrorCode : std::uint32_t {
  Other = 0,
  ConfigurationInProgress = 2,
  DeviceBusy = 3,
  InvalidDataType = 9,
  OperationalProblem = 25,
  ReadAccessDenied = 27,
  ServiceRequestDenied = 29,
  Timeout = 30,
  UnknownObject = 31,
  UnknownProperty = 32,
  UnsupportedObjectType = 36,
  InvalidArrayIndex = 42,
  PropertyIsNotAnArray = 50,
};
inline constexpr Named<ErrorCode> kErrorCodeNames[] = {
    {ErrorCode::Other, "other"},
    {ErrorCode::ConfigurationInProgress, "configuration-in-progress"},
    {ErrorCode::DeviceBusy, "device-busy"},
    {ErrorCode::InvalidDataType, "invalid-data-type"},
    {ErrorCode::OperationalProblem, "operational-problem"},
    {ErrorCode::ReadAccessDenied, "read-access-denied"},
    {ErrorCode::ServiceRequestDenied, "service-request-denied"},
    {ErrorCode::Timeout, "timeout"},
    {ErrorCode::UnknownObject, "unknown-object"},
    {ErrorCode::UnknownProperty, "unknown-property"},
    {ErrorCode::UnsupportedObjectType, "unsupported-object-type"},
    {ErrorCode::InvalidArrayIndex, "invalid-array-index"},
    {ErrorCode::PropertyIsNotAnArray, "property-is-not-an-array"},
};

enum class RejectReason : std::uint8_t {
  Other = 0,
  BufferOverflow = 1,
  InconsistentParameters = 2,
  InvalidParameterDataType = 3,
  InvalidTag = 4,
  MissingRequiredParameter = 5,
  ParameterOutOfRange = 6,
  TooManyArguments = 7,
  UndefinedEnumeration = 8,
  UnrecognizedService = 9,
};
inline constexpr Named<RejectReason> kRejectReasonNames[] = {
    {RejectReason::Other, "other"},
    {RejectReason::BufferOverflow, "buffer-overflow"},
    {RejectReason::InconsistentParameters, "inconsistent-parameters"},
    {RejectReason::InvalidParameterDataType, "invalid-parameter-data-type"},
    {RejectReason::InvalidTag, "invalid-tag"},
    {RejectReason::MissingRequiredParameter, "missing-required-parameter"},
    {RejectReason::ParameterOutOfRange, "parameter-out-of-range"},
    {RejectReason::TooManyArguments, "too-many-arguments"},
    {RejectReason::UndefinedEnumeration, "undefined-enumeration"},
    {RejectReason::UnrecognizedService, "unrecognized-service"},
};

enum class AbortReason : std::uint8_t {
  Other = 0,
  BufferOverflow = 1,
  InvalidApduInThisState = 2,
  PreemptedByHigherPriorityTask = 3,
  SegmentationNotSupported = 4,
  SecurityError = 5,
  InsufficientSecurity = 6,
  WindowSizeOutOfRange = 7,
  ApplicationExceededReplyTime = 8,
  OutOfResources = 9,
  TsmTimeout = 10,
  ApduTooLong = 11,
};
inline constexpr Named<AbortReason> kAbortReasonNames[] = {
    {AbortReason::Other, "other"},
    {AbortReason::BufferOverflow, "buffer-overflow"},
    {AbortReason::InvalidApduInThisState, "invalid-apdu-in-this-state"},
    {AbortReason::PreemptedByHigherPriorityTask, "preempted-by-higher-priority-task"},
    {AbortReason::SegmentationNotSupported, "segmentation-not-supported"},
    {AbortReason::SecurityError, "security-error"},
    {AbortReason::InsufficientSecurity, "insufficient-security"},
    {AbortReason::WindowSizeOutOfRange, "window-size-out-of-range"},
    {AbortReason::ApplicationExceededReplyTime, "application-exceeded-reply-time"},
    {AbortReason::OutOfResources, "out-of-resources"},
    {AbortReason::TsmTimeout, "tsm-timeout"},
    {AbortReason::ApduTooLong, "apdu-too-long"},
};

// The application tags a value can carry; numbers 13 to 15 are reserved, larger ones extended.
enum class ApplicationTag : std::uint8_t {
  Null = 0,
  Boolean = 1,
  Unsigned = 2,
  Signed = 3,
  Real = 4,
  Double = 5,
  OctetString = 6,
  CharacterString = 7,
  BitString = 8,
  Enumerated = 9,
  Date = 10,
  Time = 11,
  ObjectIdentifier = 12,
};
inline constexpr Named<ApplicationTag> kApplicationTagNames[] = {
    {ApplicationTag::Null, "NULL"},
    {ApplicationTag::Boolean, "BOOLEAN"},
    {ApplicationTag::Unsigned, "UNSIGNED"},
    {ApplicationTag::Signed, "SIGNED"},
    {ApplicationTag::Real, "REAL"},
    {ApplicationTag::Double, "DOUBLE"},
    {ApplicationTag::OctetString, "OCTET STRING"},
    {ApplicationTag::CharacterString, "CHARACTER STRING"},
    {ApplicationTag::BitString, "BIT STRING"},
    {ApplicationTag::Enumerated, "ENUMERATED"},
    {ApplicationTag::Date, "DATE"},
    {ApplicationTag::Time, "TIME"},
    {ApplicationTag::ObjectIdentifier, "OBJECT IDENTIFIER"},
};

// What segmentation a device supports, as its I-Am announces.
enum class Segmentation : std::uint32_t { Both = 0, Transmit = 1, Receive = 2, None = 3 };
inline constexpr Named<Segmentation> kSegmentationNames[] = {
    {Segmentation::Both, "both"},
    {Segmentation::Transmit, "transmit"},
    {Segmentation::Receive, "receive"},
    {Segmentation::None, "none"},
};

}  // namespace vk::bacnet
