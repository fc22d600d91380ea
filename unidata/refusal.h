// Why a device refuses a call, for the one line that says so: "vornk: LoadFromCache refused:
// called from inside one of the device's own rounds".
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace vk::unidata::refusal {

// A call back into the device from the thread that is inside its work.
inline constexpr std::string_view kInsideRound =
    "called from inside one of the device's own rounds";
inline constexpr std::string_view kInsideEvaluation =
    "called from inside the device's own threshold evaluation";
inline constexpr std::string_view kInsideExchange =
    "called from inside the device's own BACnet exchange";

// A round of another thread would publish the points of two cycles.
inline constexpr std::string_view kCycleUnderWay =
    "called while a sampling cycle of the device is under way";
// A cycle whose record a restore replaced after its first store: its later points would sit beside
// the cached ones.
inline constexpr std::string_view kSamplingCycle = "sampling cycle";
inline constexpr std::string_view kRestoredDuringCycle =
    "a restore from the cache replaced the record during the cycle";

// How long a call waits for the device's round lock or threshold lock, which host calls of a
// round may be holding up from another thread: longer than any sane round, short enough that a
// controller's watchdog sees a working process.
inline constexpr std::chrono::milliseconds kLockWait = std::chrono::seconds(10);
inline constexpr std::string_view kRoundLock = "the device's round lock";
inline constexpr std::string_view kThresholdLock = "the device's threshold lock";

// "<lock> stayed taken for 10 s" (or "for 50 ms", a wait of no whole seconds).
std::string lockTaken(std::string_view lock, std::chrono::milliseconds waited);

// "<device>: <operation> refused: <why>"
std::string line(std::string_view device, std::string_view operation, std::string_view why);

}  // namespace vk::unidata::refusal
