#include "tools/read_failure_text.h"

#include <charconv>
#include <iterator>
#include <limits>
#include <type_traits>

#include "bacnet/enumerations.h"
#include "tools/history_decode.h"

namespace vk::tools {

namespace {

// "unknown-object (31)", or "31" without a name.
template <class Enum, std::size_t N>
std::string named(const bacnet::Named<Enum> (&names)[N], std::uint32_t value) {
  using Number = std::underlying_type_t<Enum>;
  const auto name = value <= std::numeric_limits<Number>::max()
                        ? bacnet::nameOf(names, static_cast<Enum>(value))
                        : std::nullopt;
  return name ? std::string(*name) + " (" + std::to_string(value) + ")" : std::to_string(value);
}

// "REAL 21.5", "ENUMERATED 257", "CHARACTER STRING"; "application tag 13" for a tag without a
// name.
std::string refusedValueText(const bacnet::RefusedValue& value) {
  const auto name = bacnet::nameOf(bacnet::kApplicationTagNames, value.tag);
  const std::string tag =
      name ? std::string(*name)
           : "application tag " + std::to_string(static_cast<unsigned>(value.tag));
  if (!value.number) return tag;
  if (value.tag == bacnet::ApplicationTag::Real) {
    return tag + " " + floatValueText(static_cast<float>(*value.number));
  }
  if (value.tag != bacnet::ApplicationTag::Double) {
    return tag + " " + std::to_string(static_cast<std::int64_t>(*value.number));
  }
  char digits[32];
  return tag + " " +
         std::string(digits, std::to_chars(digits, std::end(digits), *value.number).ptr);
}

}  // namespace

std::string pointName(BACnetObjectType type, std::uint32_t instance) {
  return std::string(bacnet::objectTypeName(type)) + " " + std::to_string(instance);
}

std::string_view failureKindName(bacnet::ReadFailure::Kind kind) {
  switch (kind) {
    case bacnet::ReadFailure::Kind::NotSent:
      return "not-sent";
    case bacnet::ReadFailure::Kind::NoAnswer:
      return "no-answer";
    case bacnet::ReadFailure::Kind::Error:
      return "error";
    case bacnet::ReadFailure::Kind::Reject:
      return "reject";
    case bacnet::ReadFailure::Kind::Abort:
      return "abort";
    case bacnet::ReadFailure::Kind::Unusable:
      return "unusable";
    case bacnet::ReadFailure::Kind::Interrupted:
      return "interrupted";
  }
  return "unknown";
}

std::string failureText(const bacnet::ReadFailure& failure,
                        const bacnet::BacnetIpSettings& settings) {
  switch (failure.kind) {
    case bacnet::ReadFailure::Kind::NotSent:
      return "the request could not be sent" +
             (failure.reason.empty() ? std::string() : ": " + failure.reason);
    case bacnet::ReadFailure::Kind::NoAnswer:
      return "no answer after " + std::to_string(failure.tries) +
             (failure.tries == 1 ? " try" : " tries") + " (timeout " +
             std::to_string(settings.apduTimeout.count()) + " ms)";
    case bacnet::ReadFailure::Kind::Error:
      return "error class " + named(bacnet::kErrorClassNames, failure.errorClass) + ", code " +
             named(bacnet::kErrorCodeNames, failure.errorCode);
    case bacnet::ReadFailure::Kind::Reject:
      return "reject: " + named(bacnet::kRejectReasonNames, failure.errorCode);
    case bacnet::ReadFailure::Kind::Abort:
      return "abort: " + named(bacnet::kAbortReasonNames, failure.errorCode);
    case bacnet::ReadFailure::Kind::Unusable:
      return "an answer of a type or value the point cannot take" +
             (failure.refused ? ": " + refusedValueText(*failure.refused) : "");
    case bacnet::ReadFailure::Kind::Interrupted:
      return "interrupted";
  }
  return "unknown failure";
}

std::string cycleFailureLine(BACnetObjectType type, std::uint32_t instance,
                             const bacnet::ReadFailure& failure,
                             const bacnet::BacnetIpSettings& settings) {
  return "cycle failed at " + pointName(type, instance) + ": " + failureText(failure, settings) +
         "\n";
}

}  // namespace vk::tools
