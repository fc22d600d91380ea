#include "unidata/threshold_check.h"

#include <boost/lexical_cast.hpp>

#include "unidata/fixed_texts.h"

namespace vk::unidata {

std::string floatText(float value) { return boost::lexical_cast<std::string>(value); }

std::string thresholdMessage(float value, float threshold, bool upper) {
  return std::string(text::kCurrentValue) + floatText(value) +
         std::string(upper ? text::kAboveThreshold : text::kBelowThreshold) + floatText(threshold);
}

std::string stepThreshold(SignalThreshold& band, float value, bool upper) {
  if (band.alarmActive) {
    // Negated comparisons, so that an unordered pair keeps the alarm active.
    band.alarmActive = upper ? !(value <= band.recoverValue) : !(value >= band.recoverValue);
  } else {
    band.alarmActive = upper ? value >= band.threshold : value <= band.threshold;
  }
  return band.alarmActive ? thresholdMessage(value, band.threshold, upper) : std::string();
}

}  // namespace vk::unidata
