// Readable text of what the vornk device publishes.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vk::tools {

// What a cycle that ended in a round cost: its duration and its ReadProperty requests.
struct CycleStats {
  std::chrono::microseconds duration{0};
  std::uint64_t requests = 0;
};

// One record: a header line with the round number, the record's data identifier and time stamp
// (and the cycle's duration and request count, when given), then one line per point in reading
// order with its object type, instance and value (binary points the stored byte in decimal, analog
// points the float as printf's %g). Every line ends in a newline. Throws std::invalid_argument
// unless length is the size of the record.
std::string recordText(std::uint64_t round, const unsigned char* data, std::size_t length,
                       const std::optional<CycleStats>& cycle = std::nullopt);

// One line (newline included) noting a publication that is not a vornk record.
std::string publicationNote(int dataId, std::size_t length);

}  // namespace vk::tools
