#include "threshold_check.h"

#include <boost/lexical_cast.hpp>
#include <string_view>

namespace unidata {

std::string floatText(float value) { return boost::lexical_cast<std::string>(value); }

std::string thresholdMessage(float value, float threshold, bool upper) {
  return "当前值" + floatText(value) + (upper ? "高于阈值:" : "低于阈值:") + floatText(threshold);
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

NumericMembers::NumericMembers(const Json::Value& values)
    : next_(values.isObject() ? values.begin() : values.end()), end_(values.end()) {}

const Json::Value* NumericMembers::find(const std::string& key) {
  const auto name = [](const Json::Value::const_iterator& member) {
    const char* end = nullptr;
    const char* begin = member.memberName(&end);
    return std::string_view(begin, static_cast<std::size_t>(end - begin));
  };
  while (next_ != end_ && name(next_) < key) ++next_;
  if (next_ == end_ || name(next_) != key || !next_->isNumeric()) return nullptr;
  return &*next_;
}

}  // namespace unidata
