// The fixed parts of the module's diagnostic lines and alarm messages, and the template-ID
// positions. The host's log readers and alarm handling rely on every one of them byte for byte,
// odd as some look ("here 1", "rvSize is ", " b ini not found"): none is a leftover, and none
// may change. The code composes its lines from these; one test pins each to its bytes, and the
// other tests spell out whole lines as the host reads them.
#pragma once

#include <cstddef>
#include <string_view>

namespace vk::unidata::text {

// Search for the model configuration file (data identifier or device type as its stem).
inline constexpr std::string_view kConfigFolders[] = {"./ini/", "./ini/dederi/"};
inline constexpr std::string_view kConfigEndings[] = {".yaml", ".ini"};
inline constexpr std::string_view kNoConfigDataId = "data_id:";  // + id
inline constexpr std::string_view kNoConfigModel = " model:";    // + device type
inline constexpr std::string_view kNoConfigEnd = " b ini not found";
inline constexpr std::string_view kParsingConfig = "parse ini/yaml filename:";  // + file or ""

// Import of the configuration file (mode 1).
inline constexpr std::string_view kAlarmEntry = "alarmSignalIdMap_ ";  // + key + sep + alarm ID
inline constexpr std::string_view kAlarmEntrySeparator = " : ";
inline constexpr std::string_view kAiTable = "AI ";    // + data identifier
inline constexpr std::string_view kAiKey = "first:";   // + key
inline constexpr std::string_view kAiId = " second:";  // + signal ID
inline constexpr std::string_view kAiName = " name:";  // + signal name

// Import of mobile identifiers (mode 3).
inline constexpr std::string_view kMobileStart = "here 1";
inline constexpr std::string_view kMobileMembers = "here 2";
inline constexpr std::string_view kMobileMember = "here ";             // + member name
inline constexpr std::string_view kMobilePartMissing = " is missing";  // id + " " + part + this
inline constexpr std::string_view kMobile = "mobile:";                 // + key + ":" + triple
inline constexpr std::string_view kMobileLevel = " level:";
inline constexpr std::string_view kMobileValue = " value:";

// Settings (every mode).
inline constexpr std::string_view kInitSetting = "InitSetting ";  // + data identifier
inline constexpr std::string_view kMode = " b_mode_:";            // + mode
inline constexpr std::string_view kModeIgnored = " b_mode ignored: ";

// The sampling cycle and the round.
inline constexpr std::string_view kRefreshStatus = "vornk::RefreshStatus";
inline constexpr std::string_view kSendFailed = "send failed";
inline constexpr std::string_view kReceiveFailed = "receive failed";
inline constexpr std::string_view kValue = " value:";  // endpoint + fragment + instance + this
inline constexpr std::string_view kRuleValues = "rvSize is ";  // + number of rule values

// Threshold alarm messages: current value, then the threshold it crossed.
inline constexpr std::string_view kCurrentValue = "当前值";
inline constexpr std::string_view kAboveThreshold = "高于阈值:";
inline constexpr std::string_view kBelowThreshold = "低于阈值:";

// A signal's template ID: its own ID with these characters put at these positions.
inline constexpr std::size_t kTemplateKindPosition = 3;
inline constexpr char kTemplateKind = '6';
inline constexpr std::size_t kTemplateIndexPosition = 8;
inline constexpr char kTemplateIndex = '1';

}  // namespace vk::unidata::text
