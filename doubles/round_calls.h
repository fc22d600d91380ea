// The host calls of a round, in the order the device makes them: the one list that the
// adversarial host and the tests take a round's calls from.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace vk::doubles {

// The calls of a whole round: SendSP, Reset, the evaluation's calls, DoBatchCheckThreshold and
// SaveDeviceHistory. evaluatedMode 1: the evaluation checks one signal (CheckThreshold, then
// CheckAOReport for its due analog report); 5: one band (CheckThresholdBool); any other mode:
// the round evaluates nothing.
std::vector<std::string> roundCallOrder(int evaluatedMode = 0);

// The calls of such a round up to and including last: where a round that fails in last stops.
// None when the round makes no such call.
std::vector<std::string> roundCallOrderUpTo(int evaluatedMode, const std::string& last);

// Every call a round can make, once each.
const std::set<std::string>& everyRoundCall();

}  // namespace vk::doubles
