// Readable text of a failed read: the point it was for, and why it failed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "bacnet.h"
#include "bacnet/ip_client.h"

namespace vk::tools {

// "analog-input 10410".
std::string pointName(BACnetObjectType type, std::uint32_t instance);

// A short name of the kind for scripts: "no-answer", "error", "reject", "abort", "unusable",
// "not-sent" or "interrupted".
std::string_view failureKindName(bacnet::ReadFailure::Kind kind);

// Why the read failed, as "no answer after 4 tries (timeout 3000 ms)", "error class object (1),
// code unknown-object (31)", "reject: unrecognized-service (9)", "abort: segmentation-not-supported
// (4)", "an answer of a type or value the point cannot take" (followed by what came back when
// known, as in ": REAL 21.5"), "the request could not be sent: cannot resolve 'nohost': Name or
// service not known" or "interrupted". Numbers without a name are written alone.
std::string failureText(const bacnet::ReadFailure& failure,
                        const bacnet::BacnetIpSettings& settings);

// "cycle failed at analog-input 10410: no answer after 4 tries (timeout 3000 ms)\n".
std::string cycleFailureLine(BACnetObjectType type, std::uint32_t instance,
                             const bacnet::ReadFailure& failure,
                             const bacnet::BacnetIpSettings& settings);

}  // namespace vk::tools
