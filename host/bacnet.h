// BACnet constants of the host's BACnet client.
#pragma once

#include <cstdint>

enum BACnetObjectType : std::uint32_t {
  OBJECT_ANALOG_INPUT = 0,
  OBJECT_ANALOG_OUTPUT = 1,
  OBJECT_ANALOG_VALUE = 2,
  OBJECT_BINARY_INPUT = 3,
  OBJECT_BINARY_OUTPUT = 4,
};

enum BACNET_PROPERTY_ID : std::uint32_t {
  PROP_PRESENT_VALUE = 85,
};

constexpr std::uint32_t BACNET_ARRAY_ALL = 0xFFFFFFFFu;
