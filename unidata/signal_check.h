// Checks of one configured analog signal: its template ID, the value it is evaluated with, and
// the analog report rules (absolute, percentage and period) it has or inherits from its template.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "unidata/host.h"

namespace vk::unidata {

// The signal ID with the characters at positions 3 and 8 replaced by '6' and '1'; a shorter ID
// has only the positions it has replaced.
std::string templateId(const std::string& signalId);

// The value a signal is evaluated with: a number, or a boolean as 0 or 1. Null (no value this
// round) and values without a number form give nothing.
std::optional<float> signalValue(const Json::Value& value);

// The signal's own report rule in the host's analog report settings (signal ID to rule); on first
// use a copy of its template's rule, with the template's report history. Null, and nothing
// inserted, when neither ID has a rule.
template <typename Settings>
typename Settings::mapped_type* aoReportRule(Settings& settings, const std::string& templateId,
                                             const std::string& signalId) {
  const auto own = settings.find(signalId);
  if (own != settings.end()) return &own->second;
  const auto inherited = settings.find(templateId);
  if (inherited == settings.end()) return nullptr;
  return &settings.emplace(signalId, inherited->second).first->second;
}

// The fields of an analog report rule that decide whether a value is reported.
struct AoReportRule {
  bool absEnabled;
  float absDelta;
  bool pctEnabled;
  float pctDelta;
  bool periodEnabled;
  float periodMinutes;
  std::uint32_t lastReportTime;
  float lastReportValue;
};

// Whether value is to be reported under rule: it moved strictly beyond the absolute or the
// percentage band around the last reported value (single precision), or the period has run out
// (now > lastReportTime + periodMinutes * 60, in double). clock is read only for the period test.
bool aoReportDue(const AoReportRule& rule, float value, std::time_t (*clock)());

// The same for the host's own rule type, read field by field.
template <typename HostRule>
bool aoReportDue(const HostRule& rule, float value, std::time_t (*clock)()) {
  return aoReportDue(AoReportRule{rule.absEnabled, rule.absDelta, rule.pctEnabled, rule.pctDelta,
                                  rule.periodEnabled, rule.periodMinutes, rule.lastReportTime,
                                  rule.lastReportValue},
                     value, clock);
}

// The wall clock in seconds since the epoch.
std::time_t wallClock();

}  // namespace vk::unidata
