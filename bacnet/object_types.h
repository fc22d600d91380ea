// The object types of the points vornk reads, written once for the codec, the simulators and the
// tools: which are binary, their names, and their parsing from text.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "bacnet.h"

namespace bacnet {

inline constexpr std::array<BACnetObjectType, 5> kObjectTypes = {
    OBJECT_ANALOG_INPUT, OBJECT_ANALOG_OUTPUT, OBJECT_ANALOG_VALUE, OBJECT_BINARY_INPUT,
    OBJECT_BINARY_OUTPUT};

// Binary objects have an enumerated present value, inactive or active; the others a REAL.
constexpr bool isBinary(BACnetObjectType type) {
  return type == OBJECT_BINARY_INPUT || type == OBJECT_BINARY_OUTPUT;
}

// "binary-input", "binary-output", "analog-input", "analog-output", "analog-value";
// "unknown-type" for anything else.
constexpr std::string_view objectTypeName(BACnetObjectType type) {
  switch (type) {
    case OBJECT_BINARY_INPUT:
      return "binary-input";
    case OBJECT_BINARY_OUTPUT:
      return "binary-output";
    case OBJECT_ANALOG_INPUT:
      return "analog-input";
    case OBJECT_ANALOG_OUTPUT:
      return "analog-output";
    case OBJECT_ANALOG_VALUE:
      return "analog-value";
  }
  return "unknown-type";
}

// The object type a name of objectTypeName or a decimal type number (0 to 4) stands for.
inline std::optional<BACnetObjectType> objectTypeFromName(std::string_view name) {
  for (const BACnetObjectType type : kObjectTypes) {
    if (name == objectTypeName(type) || name == std::to_string(type)) return type;
  }
  return std::nullopt;
}

}  // namespace bacnet
