// Readable text of what the vornk device publishes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "bacnet.h"

namespace vornk_tools {

// The data identifier under which the device publishes its record.

// "binary-input", "binary-output", "analog-input", "analog-output", "analog-value";
// "unknown-type" for anything else.
std::string_view objectTypeName(BACnetObjectType type);

// One record: a header line with the round number, the record's data identifier and time stamp,
// then one line per point in reading order with its object type, instance and value (binary
// points the stored byte in decimal, analog points the float as printf's %g). Every line ends in
// a newline. Throws std::invalid_argument unless length is the record size (859).
std::string recordText(std::uint64_t round, const unsigned char* data, std::size_t length);

// One line (newline included) noting a publication that is not a vornk record.
std::string publicationNote(int dataId, std::size_t length);

}  // namespace vornk_tools
