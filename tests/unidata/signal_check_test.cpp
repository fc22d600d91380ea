// Configured analog signals: template IDs, the values they are evaluated with, and when an analog
// report rule asks for a report.
#include "unidata/signal_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <limits>
#include <vector>

namespace {

using Rule = ZeqVDevice::BAOSetting;

Rule absolute(float delta, float last) { return {true, delta, false, 0, false, 0, 0, last}; }
Rule percentage(float delta, float last) { return {false, 0, true, delta, false, 0, 0, last}; }
Rule period(float minutes, std::uint32_t last) {
  return {false, 0, false, 0, true, minutes, last, 0};
}

// A fixed clock for the period test.
std::time_t fixedNow = 0;
std::time_t fixedClock() { return fixedNow; }

// The values reported of a sequence checked against one rule, the rule updated on each report as
// the device does.
std::vector<float> reported(Rule rule, const std::vector<float>& values) {
  std::vector<float> reports;
  for (const float value : values) {
    if (!vk::unidata::aoReportDue(rule, value, fixedClock)) continue;
    rule.lastReportValue = value;
    reports.push_back(value);
  }
  return reports;
}

bool due(const Rule& rule, float value) {
  return vk::unidata::aoReportDue(rule, value, fixedClock);
}

}  // namespace

TEST(SignalTemplateId, ReplacesPositionsThreeAndEightThatExist) {
  EXPECT_EQ(vk::unidata::templateId("abcdefghijk"), "abc6efgh1jk");
  EXPECT_EQ(vk::unidata::templateId("abcdefghi"), "abc6efgh1");
  EXPECT_EQ(vk::unidata::templateId("abcdefgh"), "abc6efgh");
  EXPECT_EQ(vk::unidata::templateId("abcd"), "abc6");
  EXPECT_EQ(vk::unidata::templateId("abc"), "abc");
  EXPECT_EQ(vk::unidata::templateId(""), "");
}

TEST(SignalValue, NumbersAndBooleansOnly) {
  EXPECT_EQ(vk::unidata::signalValue(Json::Value(2.5)), 2.5f);
  EXPECT_EQ(vk::unidata::signalValue(Json::Value(-3)), -3.0f);
  EXPECT_EQ(vk::unidata::signalValue(Json::Value(true)), 1.0f);
  EXPECT_EQ(vk::unidata::signalValue(Json::Value(false)), 0.0f);
  for (const Json::Value& none : {Json::Value(), Json::Value("1"), Json::Value(Json::objectValue),
                                  Json::Value(Json::arrayValue)}) {
    EXPECT_FALSE(vk::unidata::signalValue(none).has_value()) << none.toStyledString();
  }
}

TEST(AoReportDue, AbsoluteAndPercentageBandsAreStrict) {
  EXPECT_EQ(reported(absolute(0.5f, 20), {20.5f, 20.6f, 20.2f, 20.0f}),
            (std::vector<float>{20.6f, 20.0f}));
  EXPECT_EQ(reported(absolute(0, 20), {20, 20.000002f, 20.000002f, 19}),
            (std::vector<float>{20.000002f, 19}));
  EXPECT_EQ(reported(percentage(10, 50), {55, 45, 55.1f}), (std::vector<float>{55.1f}));
  EXPECT_TRUE(due(percentage(10, 50), 44.9f));
  // The bounds are computed in single precision: with last value 1.21 and 10 percent they are
  // 1.08899999 and 1.33100009 (1.21f * 90 / 100 and 1.21f * 110 / 100, each step rounded to
  // float). A value on a bound is not reported, though in double it would lie beyond.
  const float upper = std::nextafter(1.331f, 2.0f);  // 1.33100009
  EXPECT_FALSE(due(percentage(10, 1.21f), upper));
  EXPECT_FALSE(due(percentage(10, 1.21f), 1.089f));
  EXPECT_TRUE(due(percentage(10, 1.21f), std::nextafter(upper, 2.0f)));
  EXPECT_TRUE(due(percentage(10, 1.21f), std::nextafter(1.089f, 0.0f)));
  // Last value 0: both bounds are 0.
  EXPECT_FALSE(due(percentage(10, 0), 0));
  EXPECT_TRUE(due(percentage(10, 0), 0.001f));
  EXPECT_TRUE(due(percentage(10, 0), -0.001f));
  // A negative last value puts the upper bound below the lower one: everything is reported.
  for (const float value : {-50.0f, -100.0f, 0.0f, 1e6f}) {
    EXPECT_TRUE(due(percentage(10, -50), value)) << value;
  }
  // Not a number passes neither band.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_FALSE(due(absolute(0, 20), nan));
  EXPECT_FALSE(due(percentage(10, 50), nan));
  EXPECT_FALSE(due({false, 0, false, 0, false, 0, 0, 20}, 1e9f));  // no rule enabled
}

// The period is measured in whole seconds: a one-minute period is met 61 seconds after the last
// report, also at present-day epoch times where single precision steps in 128 seconds.
TEST(AoReportDue, PeriodIsMetToTheSecond) {
  fixedNow = 1798761600;              // 2027-01-01
  EXPECT_TRUE(due(period(1, 0), 0));  // never reported
  EXPECT_FALSE(due(period(1, static_cast<std::uint32_t>(fixedNow)), 0));
  EXPECT_FALSE(due(period(1, static_cast<std::uint32_t>(fixedNow - 60)), 0));
  EXPECT_TRUE(due(period(1, static_cast<std::uint32_t>(fixedNow - 61)), 0));
  EXPECT_FALSE(due(period(0.5f, static_cast<std::uint32_t>(fixedNow - 30)), 0));
  EXPECT_TRUE(due(period(0.5f, static_cast<std::uint32_t>(fixedNow - 31)), 0));
  // A value that is not a number is still reported when the period has run out.
  EXPECT_TRUE(due(period(1, 0), std::numeric_limits<float>::quiet_NaN()));
}
