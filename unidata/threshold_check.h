// Hysteresis evaluation of one threshold band against a value, and the texts reported with it.
#pragma once

#include <string>

#include "unidata/host.h"
#include "unidata/signal_threshold.h"

namespace vk::unidata {

// A float as text the way boost::lexical_cast writes it: "%.*g" with nine significant digits;
// "nan" and "inf", with a leading "-" when the sign bit is set.
std::string floatText(float value);

// "当前值" + value + "高于阈值:" + threshold (upper), or with "低于阈值:" (lower).
std::string thresholdMessage(float value, float threshold, bool upper);

// Moves band's alarm state on with value and returns the message to report: the direction's
// message while the alarm is active, empty otherwise. An active alarm continues while the value
// is beyond recoverValue (exclusive) or unordered with it; an inactive one is raised when the
// value reaches threshold (inclusive). All comparisons are in single precision.
std::string stepThreshold(SignalThreshold& band, float value, bool upper);

}  // namespace vk::unidata
