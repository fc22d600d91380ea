// Checks of one configured analog signal: its template ID, the value it is evaluated with, and
// the analog report rules (absolute, percentage and period) it has or inherits from its template.
#pragma once

#include <ctime>
#include <optional>
#include <string>

#include "unidata/host.h"

namespace vk::unidata {

// The host's analog report settings, signal ID to rule, as it declares them.
using AoReportSettings = decltype(ZeqVDevice::aoReportSettings_);

// The signal ID with the characters at positions 3 and 8 replaced by '6' and '1'; a shorter ID
// has only the positions it has replaced.
std::string templateId(const std::string& signalId);

// The value a signal is evaluated with: a number, or a boolean as 0 or 1. Null (no value this
// round) and values without a number form give nothing.
std::optional<float> signalValue(const Json::Value& value);

// The signal's own report rule; on first use a copy of its template's rule, with the template's
// report history. Null, and nothing inserted, when neither ID has a rule.
ZeqVDevice::BAOSetting* aoReportRule(AoReportSettings& settings, const std::string& templateId,
                                     const std::string& signalId);

// Whether value is to be reported under rule: it moved strictly beyond the absolute or the
// percentage band around the last reported value (single precision), or the period has run out
// (now > lastReportTime + periodMinutes * 60, in double). clock is read only for the period test.
bool aoReportDue(const ZeqVDevice::BAOSetting& rule, float value, std::time_t (*clock)());

// The wall clock in seconds since the epoch.
std::time_t wallClock();

}  // namespace vk::unidata
