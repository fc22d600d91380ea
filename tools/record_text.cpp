#include "tools/record_text.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "device/point_table.h"
#include "device/vornk_data.h"
#include "ttime.h"

namespace vornk_tools {

std::string_view objectTypeName(BACnetObjectType type) {
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

std::optional<BACnetObjectType> objectTypeFromName(std::string_view name) {
  for (const BACnetObjectType type :
       {OBJECT_ANALOG_INPUT, OBJECT_ANALOG_OUTPUT, OBJECT_ANALOG_VALUE, OBJECT_BINARY_INPUT,
        OBJECT_BINARY_OUTPUT}) {
    if (name == objectTypeName(type) || name == std::to_string(type)) return type;
  }
  return std::nullopt;
}

std::string recordText(std::uint64_t round, const unsigned char* data, std::size_t length,
                       const std::optional<CycleStats>& cycle) {
  if (data == nullptr || length != sizeof(vornk_Data_t)) {
    throw std::invalid_argument("a vornk record is " + std::to_string(sizeof(vornk_Data_t)) +
                                " bytes, not " + std::to_string(length));
  }

  std::uint32_t dataId;
  std::memcpy(&dataId, data + offsetof(vornk_Data_t, data_id), sizeof dataId);
  ttime stamp;
  std::memcpy(&stamp, data + offsetof(vornk_Data_t, stamp), sizeof stamp);

  std::string text;
  text.reserve(40 * (vornk_points::kPoints.size() + 1));
  text += "round " + std::to_string(round) + " data-id " + std::to_string(dataId) + " time " +
          format_ttime(stamp);
  if (cycle) {
    char stats[64];
    std::snprintf(stats, sizeof stats, " cycle %.1f ms %llu requests",
                  static_cast<double>(cycle->duration.count()) / 1000.0,
                  static_cast<unsigned long long>(cycle->requests));
    text += stats;
  }
  text += '\n';

  char value[32];
  for (const vornk_points::Point& point : vornk_points::kPoints) {
    const unsigned char* slot = data + point.recordOffset;
    if (point.size == 1) {
      std::snprintf(value, sizeof value, "%u", static_cast<unsigned>(*slot));
    } else {
      float reading;  // the slot is unaligned: copy, never dereference as float
      std::memcpy(&reading, slot, sizeof reading);
      std::snprintf(value, sizeof value, "%g", static_cast<double>(reading));
    }
    text += "  ";
    text += objectTypeName(point.type);
    text += ' ';
    text += std::to_string(point.instance);
    text += " = ";
    text += value;
    text += '\n';
  }
  return text;
}

std::string publicationNote(int dataId, std::size_t length) {
  return "published " + std::to_string(length) + " bytes under data-id " + std::to_string(dataId) +
         " (not a vornk record)\n";
}

}  // namespace vornk_tools
