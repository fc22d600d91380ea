#include "tools/read_failure_text.h"

#include <utility>

#include "bacnet/object_types.h"

namespace vornk_tools {

namespace {

using Names = std::pair<std::uint32_t, std::string_view>;

// The names of the enumerations a device answers a failed read with; devices use the others
// rarely, and those are written as numbers.
constexpr Names kErrorClasses[] = {
    {0, "device"},   {1, "object"},   {2, "property"}, {3, "resources"},
    {4, "security"}, {5, "services"}, {6, "vt"},       {7, "communication"},
};
constexpr Names kErrorCodes[] = {
    {0, "other"},
    {2, "configuration-in-progress"},
    {3, "device-busy"},
    {9, "invalid-data-type"},
    {25, "operational-problem"},
    {27, "read-access-denied"},
    {29, "service-request-denied"},
    {30, "timeout"},
    {31, "unknown-object"},
    {32, "unknown-property"},
    {36, "unsupported-object-type"},
    {42, "invalid-array-index"},
    {50, "property-is-not-an-array"},
};
constexpr Names kRejectReasons[] = {
    {0, "other"},
    {1, "buffer-overflow"},
    {2, "inconsistent-parameters"},
    {3, "invalid-parameter-data-type"},
    {4, "invalid-tag"},
    {5, "missing-required-parameter"},
    {6, "parameter-out-of-range"},
    {7, "too-many-arguments"},
    {8, "undefined-enumeration"},
    {9, "unrecognized-service"},
};
constexpr Names kAbortReasons[] = {
    {0, "other"},
    {1, "buffer-overflow"},
    {2, "invalid-apdu-in-this-state"},
    {3, "preempted-by-higher-priority-task"},
    {4, "segmentation-not-supported"},
    {5, "security-error"},
    {6, "insufficient-security"},
    {7, "window-size-out-of-range"},
    {8, "application-exceeded-reply-time"},
    {9, "out-of-resources"},
    {10, "tsm-timeout"},
    {11, "apdu-too-long"},
};

// "unknown-object (31)", or "31" without a name.
template <std::size_t N>
std::string named(const Names (&names)[N], std::uint32_t value) {
  for (const auto& [number, name] : names) {
    if (number == value) return std::string(name) + " (" + std::to_string(value) + ")";
  }
  return std::to_string(value);
}

}  // namespace

std::string pointName(BACnetObjectType type, std::uint32_t instance) {
  return std::string(bacnet::objectTypeName(type)) + " " + std::to_string(instance);
}

std::string_view failureKindName(ReadFailure::Kind kind) {
  switch (kind) {
    case ReadFailure::Kind::NotSent:
      return "not-sent";
    case ReadFailure::Kind::NoAnswer:
      return "no-answer";
    case ReadFailure::Kind::Error:
      return "error";
    case ReadFailure::Kind::Reject:
      return "reject";
    case ReadFailure::Kind::Abort:
      return "abort";
    case ReadFailure::Kind::Unusable:
      return "unusable";
    case ReadFailure::Kind::Interrupted:
      return "interrupted";
  }
  return "unknown";
}

std::string failureText(const ReadFailure& failure, const BacnetIpSettings& settings) {
  switch (failure.kind) {
    case ReadFailure::Kind::NotSent:
      return "the request could not be sent";
    case ReadFailure::Kind::NoAnswer:
      return "no answer after " + std::to_string(failure.tries) +
             (failure.tries == 1 ? " try" : " tries") + " (timeout " +
             std::to_string(settings.apduTimeout.count()) + " ms)";
    case ReadFailure::Kind::Error:
      return "error class " + named(kErrorClasses, failure.errorClass) + ", code " +
             named(kErrorCodes, failure.errorCode);
    case ReadFailure::Kind::Reject:
      return "reject: " + named(kRejectReasons, failure.errorCode);
    case ReadFailure::Kind::Abort:
      return "abort: " + named(kAbortReasons, failure.errorCode);
    case ReadFailure::Kind::Unusable:
      return "an answer of a type or value the point cannot take";
    case ReadFailure::Kind::Interrupted:
      return "interrupted";
  }
  return "unknown failure";
}

std::string cycleFailureLine(BACnetObjectType type, std::uint32_t instance,
                             const ReadFailure& failure, const BacnetIpSettings& settings) {
  return "cycle failed at " + pointName(type, instance) + ": " + failureText(failure, settings) +
         "\n";
}

}  // namespace vornk_tools
