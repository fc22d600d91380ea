#include "unidata/threshold_import.h"

#include <optional>
#include <stdexcept>

#include "unidata/fixed_texts.h"
#include "unidata/log_line.h"
#include "unidata/settings_text.h"

namespace vk::unidata {

namespace {

bool hasText(const std::optional<std::string>& text) { return text && !text->empty(); }

}  // namespace

void importThresholdBand(const Json::Value& record, const std::string& name, const std::string& id,
                         const char* valueMember, const char* recoverMember,
                         const char* levelMember, const char* suffix, SignalThresholdMap& map) {
  const std::optional<std::string> value = memberText(record, valueMember);
  const std::optional<std::string> recover = memberText(record, recoverMember);
  const std::optional<std::string> level = memberText(record, levelMember);
  if (!hasText(value) || !hasText(recover) || !hasText(level)) return;

  SignalThreshold& band = map[name];
  band.alarmId = id + suffix;
  band.threshold = parseFloatText(*value);
  band.recoverValue = parseFloatText(*recover);
  band.alarmActive = false;
  band.alarmLevel = parseIntText(*level);
}

void importThresholdSettings(const Json::Value& settings, SignalThresholdMap& up,
                             SignalThresholdMap& up2, SignalThresholdMap& low,
                             SignalThresholdMap& low2) {
  up.clear();
  up2.clear();
  low.clear();
  low2.clear();
  const Json::Value* records = findMember(settings, "thresholdSetting");
  if (records == nullptr || !records->isObject()) return;

  for (const Json::Value& record : *records) {
    const std::optional<std::string> id = memberText(record, "ID");
    const std::optional<std::string> name = memberText(record, "SignalName");
    if (!hasText(id) || !hasText(name)) continue;
    importThresholdBand(record, *name, *id, "UpValue", "UpReconverValue", "UpAlarmLevel", "001",
                        up);
    importThresholdBand(record, *name, *id, "Up2Value", "Up2ReconverValue", "Up2AlarmLevel", "002",
                        up2);
    importThresholdBand(record, *name, *id, "LowValue", "LowReconverValue", "LowAlarmLevel", "003",
                        low);
    importThresholdBand(record, *name, *id, "Low2Value", "Low2ReconverValue", "Low2AlarmLevel",
                        "004", low2);
  }
}

void importMobileIds(const Json::Value& settings, std::uint32_t dataId,
                     std::map<std::string, std::string>& idMap,
                     std::map<std::string, std::string>& nameMap, const SignalReading& reading) {
  writeLine({text::kMobileStart});
  const Json::Value* signals = findMember(settings, "thresholdSetting");
  if (signals == nullptr || signals->isNull()) return;
  writeLine({text::kMobileMembers});
  // An array has no member names to key the maps with: the JSON library would refuse to look
  // them up. A string, number or boolean simply has no members.
  if (signals->isArray()) {
    throw std::invalid_argument(std::string("thresholdSetting: ") + notAnObject(*signals));
  }
  if (!signals->isObject()) return;
  const DecimalText id(static_cast<unsigned long long>(dataId));

  for (auto member = signals->begin(); member != signals->end(); ++member) {
    const std::string key = member.name();
    writeLine({text::kMobileMember, key});
    const Json::Value& record = *member;
    if (!record.isObject()) continue;

    if (std::optional<std::string> name = memberText(record, "SignalName")) nameMap[key] = *name;
    std::string triple;
    for (const char* part : {"NMAlarmID", "ID", "SignalNumber"}) {
      if (std::optional<std::string> text = memberText(record, part)) {
        triple += *text;
      } else {
        writeLine({id, " ", part, text::kMobilePartMissing});
      }
      triple += ';';
    }
    const auto [level, value] = reading(key);
    writeLine({text::kMobile, key, ":", triple, text::kMobileLevel, DecimalText(level),
               text::kMobileValue, StreamFloatText(value)});
    idMap[key] = triple;
  }
}

}  // namespace vk::unidata
