// Imports of the settings' "thresholdSetting": the four threshold bands of every signal (mode 5)
// and the mobile identifiers of every signal (mode 3). The caller holds the lock that keeps the
// round's evaluation out of the maps.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>

#include "unidata/host.h"
#include "unidata/signal_threshold.h"

namespace vk::unidata {

// Stores one band of a threshold record under the signal's name: alarm identifier id + suffix,
// threshold, recovery value and level parsed from the three members, alarm inactive. The band is
// left out when any of the three members is missing, null, without text form or empty.
void importThresholdBand(const Json::Value& record, const std::string& name, const std::string& id,
                         const char* valueMember, const char* recoverMember,
                         const char* levelMember, const char* suffix, SignalThresholdMap& map);

// Empties the four maps and fills them from every threshold record of "thresholdSetting" that
// has a non-empty "ID" and "SignalName". Prints nothing.
void importThresholdSettings(const Json::Value& settings, SignalThresholdMap& up,
                             SignalThresholdMap& up2, SignalThresholdMap& low,
                             SignalThresholdMap& low2);

// A signal's level and value as the host keeps them, looked up by the signal's key.
using SignalReading = std::function<std::pair<long long, float>(const std::string& key)>;

// Records, for every member of "thresholdSetting", its signal name and its identifier triple
// "NMAlarmID;ID;SignalNumber;", with a trace line per member that shows the member's reading. A
// "thresholdSetting" that is an array throws std::invalid_argument naming its type, after the
// trace lines.
void importMobileIds(const Json::Value& settings, std::uint32_t dataId,
                     std::map<std::string, std::string>& idMap,
                     std::map<std::string, std::string>& nameMap, const SignalReading& reading);

// The same, reading the host's level and value maps of the signals, whatever their types. They
// gain a zero entry for a member they lack, as their lookup inserts one.
template <typename LevelMap, typename ValueMap>
void importMobileIds(const Json::Value& settings, std::uint32_t dataId,
                     std::map<std::string, std::string>& idMap,
                     std::map<std::string, std::string>& nameMap, LevelMap& levelMap,
                     ValueMap& valueMap) {
  importMobileIds(settings, dataId, idMap, nameMap, [&](const std::string& key) {
    return std::pair<long long, float>(levelMap[key], valueMap[key]);
  });
}

}  // namespace vk::unidata
