#include "unidata/signal_check.h"

#include <utility>

#include "unidata/fixed_texts.h"

namespace vk::unidata {

std::string templateId(const std::string& signalId) {
  std::string id = signalId;
  for (const auto& [position, character] :
       {std::pair{text::kTemplateKindPosition, text::kTemplateKind},
        std::pair{text::kTemplateIndexPosition, text::kTemplateIndex}}) {
    if (id.size() > position) id[position] = character;
  }
  return id;
}

std::optional<float> signalValue(const Json::Value& value) {
  if (value.isNumeric() || value.isBool()) return value.asFloat();
  return std::nullopt;
}

bool aoReportDue(const AoReportRule& rule, float value, std::time_t (*clock)()) {
  const float last = rule.lastReportValue;
  if (rule.absEnabled && (value > last + rule.absDelta || value < last - rule.absDelta)) {
    return true;
  }
  if (rule.pctEnabled && (value > (rule.pctDelta + 100.0f) * last / 100.0f ||
                          value < (100.0f - rule.pctDelta) * last / 100.0f)) {
    return true;
  }
  return rule.periodEnabled &&
         static_cast<double>(clock()) > static_cast<double>(rule.lastReportTime) +
                                            static_cast<double>(rule.periodMinutes) * 60.0;
}

std::time_t wallClock() { return std::time(nullptr); }

}  // namespace vk::unidata
