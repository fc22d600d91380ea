// The fixed texts are the host's, byte for byte. The other tests spell out whole lines; this
// table keeps each constant the code composes its lines from at its bytes.
#include "unidata/fixed_texts.h"

#include <gtest/gtest.h>

#include <string_view>
#include <utility>

namespace {

TEST(FixedTexts, AreTheHostsBytes) {
  namespace text = vk::unidata::text;
  const std::pair<std::string_view, std::string_view> texts[] = {
      {text::kConfigFolders[0], "./ini/"},
      {text::kConfigFolders[1], "./ini/dederi/"},
      {text::kConfigEndings[0], ".yaml"},
      {text::kConfigEndings[1], ".ini"},
      {text::kNoConfigDataId, "data_id:"},
      {text::kNoConfigModel, " model:"},
      {text::kNoConfigEnd, " b ini not found"},
      {text::kParsingConfig, "parse ini/yaml filename:"},
      {text::kAlarmEntry, "alarmSignalIdMap_ "},
      {text::kAlarmEntrySeparator, " : "},
      {text::kAiTable, "AI "},
      {text::kAiKey, "first:"},
      {text::kAiId, " second:"},
      {text::kAiName, " name:"},
      {text::kMobileStart, "here 1"},
      {text::kMobileMembers, "here 2"},
      {text::kMobileMember, "here "},
      {text::kMobilePartMissing, " is missing"},
      {text::kMobile, "mobile:"},
      {text::kMobileLevel, " level:"},
      {text::kMobileValue, " value:"},
      {text::kInitSetting, "InitSetting "},
      {text::kMode, " b_mode_:"},
      {text::kModeIgnored, " b_mode ignored: "},
      {text::kRefreshStatus, "vornk::RefreshStatus"},
      {text::kSendFailed, "send failed"},
      {text::kReceiveFailed, "receive failed"},
      {text::kValue, " value:"},
      {text::kRuleValues, "rvSize is "},
      // UTF-8 of the alarm texts, spelled out as bytes.
      {text::kCurrentValue, "\xE5\xBD\x93\xE5\x89\x8D\xE5\x80\xBC"},
      {text::kAboveThreshold, "\xE9\xAB\x98\xE4\xBA\x8E\xE9\x98\x88\xE5\x80\xBC:"},
      {text::kBelowThreshold, "\xE4\xBD\x8E\xE4\xBA\x8E\xE9\x98\x88\xE5\x80\xBC:"},
  };
  for (const auto& [constant, bytes] : texts) EXPECT_EQ(constant, bytes);
}

}  // namespace
