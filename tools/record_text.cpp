#include "tools/record_text.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "bacnet/enumerations.h"
#include "device/point_table.h"
#include "device/vornk_data.h"
#include "ttime.h"

namespace vk::tools {

std::string recordText(std::uint64_t round, const unsigned char* data, std::size_t length,
                       const std::optional<CycleStats>& cycle) {
  if (data == nullptr || length != sizeof(vornk_Data_t)) {
    throw std::invalid_argument("a vornk record is " + std::to_string(sizeof(vornk_Data_t)) +
                                " bytes, not " + std::to_string(length));
  }

  std::string text;
  text.reserve(40 * (device::kPoints.size() + 1));
  text += "round " + std::to_string(round) + " data-id " +
          std::to_string(device::recordDataId(data)) + " time " +
          format_ttime(device::recordStamp(data));
  if (cycle) {
    char stats[64];
    std::snprintf(stats, sizeof stats, " cycle %.1f ms %llu requests",
                  static_cast<double>(cycle->duration.count()) / 1000.0,
                  static_cast<unsigned long long>(cycle->requests));
    text += stats;
  }
  text += '\n';

  char value[32];
  for (const device::Point& point : device::kPoints) {
    if (point.size == 1) {
      std::snprintf(value, sizeof value, "%u",
                    static_cast<unsigned>(device::binaryValue(point, data)));
    } else {
      std::snprintf(value, sizeof value, "%g",
                    static_cast<double>(device::analogValue(point, data)));
    }
    text += "  ";
    text += bacnet::objectTypeName(point.type);
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

}  // namespace vk::tools
