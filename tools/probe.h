// vornk-host probe: reads every point of the table once from a BACnet/IP device, going on past
// failures, and tells whether the module would complete rounds with that device.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
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
    AllPoints,    // every point was read
    NoAnswer,     // none of the first kFirstPointsToAnswer points got an answer
    Interrupted,  // the client was interrupted; the point in flight is not in points
  };
  std::string endpoint;
  bacnet::BacnetIpSettings settings;
  std::vector<PointProbe> points;  // in table order
  End end = End::AllPoints;
};

// Told the number of points done and of those that failed: 0 and 0 before the first point, then
// after each one.
using ProbeProgress = std::function<void(std::size_t done, std::size_t failed)>;

// Reads each point's present value once through client, in table order, until the report's end.
ProbeReport probeDevice(bacnet::BacnetIpClient& client, const std::string& endpoint,
                        const ProbeProgress& progress = {});

// "probe: 12 of 284 points, 3 failed", the progress shown on a terminal.
std::string probeProgressText(std::size_t done, std::size_t failed);

// For people: the failures first, then the summary with the verdict.
std::string probeText(const ProbeReport& report);
// For scripts: one JSON object with every point and the summary, ending in a newline.
std::string probeJson(const ProbeReport& report);

// The exit status of probe: 0 when every point answered with a value, 1 otherwise (an interrupted
// probe included).
int probeStatus(const ProbeReport& report);

}  // namespace vk::tools
