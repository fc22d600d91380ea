#include "doubles/round_calls.h"

#include <algorithm>

namespace vk::doubles {

std::vector<std::string> roundCallOrder(int evaluatedMode) {
  std::vector<std::string> calls{"SendSP", "Reset"};
  if (evaluatedMode == 1) calls.insert(calls.end(), {"CheckThreshold", "CheckAOReport"});
  if (evaluatedMode == 5) calls.push_back("CheckThresholdBool");
  calls.insert(calls.end(), {"DoBatchCheckThreshold", "SaveDeviceHistory"});
  return calls;
}

std::vector<std::string> roundCallOrderUpTo(int evaluatedMode, const std::string& last) {
  std::vector<std::string> calls = roundCallOrder(evaluatedMode);
  const auto at = std::find(calls.begin(), calls.end(), last);
  calls.erase(at == calls.end() ? calls.begin() : at + 1, calls.end());
  return calls;
}

const std::set<std::string>& everyRoundCall() {
  static const std::set<std::string> calls = [] {
    std::set<std::string> every;
    for (const int mode : {1, 5}) {
      for (const std::string& call : roundCallOrder(mode)) every.insert(call);
    }
    return every;
  }();
  return calls;
}

}  // namespace vk::doubles
