// vornk-host probe: reads every point of the table once from a BACnet/IP device, going on past
// failures, and tells whether the module would complete rounds with that device.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bacnet/ip_client.h"
#include "device/point_table.h"

namespace vk::tools {

struct PointProbe {
  device::Point point;
  std::optional<std::uint32_t> value;  // binary points the integer, analog ones the float's bits
  std::optional<bacnet::ReadFailure> failure;  // set when value is not
  std::chrono::microseconds elapsed{0};        // from sending the request to its outcome
};

// When none of this many first points gets any answer, probe stops: nothing answers there.
inline constexpr std::size_t kFirstPointsToAnswer = 3;

struct ProbeReport {
  // Why the probe ended.
  enum class End {
    AllPoints,  // every point was read
    NoAnswer,   // none of the first kFirstPointsToAnswer points got an answer
  };
  std::string endpoint;
  bacnet::BacnetIpSettings settings;
  std::vector<PointProbe> points;  // in table order
  End end = End::AllPoints;
};

// Reads each point's present value once through client, in table order, until the report's end.
ProbeReport probeDevice(bacnet::BacnetIpClient& client, const std::string& endpoint);

// For people: the failures first, then the summary with the verdict.
std::string probeText(const ProbeReport& report);
// For scripts: one JSON object with every point and the summary, ending in a newline.
std::string probeJson(const ProbeReport& report);

// The exit status of probe: 0 when every point answered with a value, 1 otherwise.
int probeStatus(const ProbeReport& report);

}  // namespace vk::tools
