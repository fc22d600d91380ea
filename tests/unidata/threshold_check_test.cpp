// Threshold bands: number text, messages and hysteresis.
#include "unidata/threshold_check.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "tests/support/rounds.h"

using namespace vk::test;

namespace {

constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// What one evaluation reported: the alarm state and the message.
struct Step {
  bool active;
  std::string message;
  bool operator==(const Step& other) const {
    return active == other.active && message == other.message;
  }
};

std::ostream& operator<<(std::ostream& out, const Step& step) {
  return out << (step.active ? "active " : "inactive ") << '"' << step.message << '"';
}

// Feeds values to one band in successive rounds and returns what each round reported.
std::vector<Step> steps(SignalThreshold band, bool upper, const std::vector<float>& values) {
  std::vector<Step> reported;
  for (const float value : values) {
    const std::string message = vk::unidata::stepThreshold(band, value, upper);
    reported.push_back({band.alarmActive, message});
  }
  return reported;
}

SignalThreshold band(float threshold, float recoverValue) {
  return {"A1", threshold, recoverValue, false, 2};
}

}  // namespace

TEST(ThresholdText, FloatsAreWrittenWithNineSignificantDigits) {
  const std::vector<std::pair<float, std::string>> cases = {
      {30.0f, "30"},         {35.5f, "35.5"},  {30.2f, "30.2000008"},
      {0.1f, "0.100000001"}, {1e10f, "1e+10"}, {-2.5f, "-2.5"},
      {kNan, "nan"},         {-kNan, "-nan"},  {kInf, "inf"},
      {-kInf, "-inf"},       {-0.0f, "-0"},    {1.17549435e-38f, "1.17549435e-38"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(vk::unidata::floatText(value), text);

  EXPECT_EQ(vk::unidata::thresholdMessage(35.5f, 30.0f, true), "当前值35.5高于阈值:30");
  EXPECT_EQ(vk::unidata::thresholdMessage(12.0f, 15.0f, false), "当前值12低于阈值:15");
  EXPECT_EQ(vk::unidata::thresholdMessage(31.0f, 30.2f, true), up("31", "30.2000008"));
}

TEST(ThresholdHysteresis, RaisesInclusivelyAndContinuesExclusively) {
  EXPECT_EQ(steps(band(30, 28), true, {29, 30, 29, 28.5f, 28, 31}),
            (std::vector<Step>{{false, ""},
                               {true, up("30", "30")},
                               {true, up("29", "30")},
                               {true, up("28.5", "30")},
                               {false, ""},
                               {true, up("31", "30")}}));
  EXPECT_EQ(
      steps(band(15, 17), false, {15, 16.9f, 17}),
      (std::vector<Step>{{true, low("15", "15")}, {true, low("16.8999996", "15")}, {false, ""}}));
}

// A recovery value beyond the threshold is not corrected: an unchanged value alternates.
TEST(ThresholdHysteresis, RecoveryBeyondTheThresholdAlternates) {
  EXPECT_EQ(steps(band(30, 35), true, {32, 32, 32, 32}),
            (std::vector<Step>{
                {true, up("32", "30")}, {false, ""}, {true, up("32", "30")}, {false, ""}}));
  EXPECT_EQ(steps(band(15, 10), false, {12, 12, 12}),
            (std::vector<Step>{{true, low("12", "15")}, {false, ""}, {true, low("12", "15")}}));
}

TEST(ThresholdHysteresis, UnorderedValuesKeepAnAlarmButNeverRaiseOne) {
  EXPECT_EQ(steps(band(30, 28), true, {31, kNan, 27, kNan}),
            (std::vector<Step>{
                {true, up("31", "30")}, {true, up("nan", "30")}, {false, ""}, {false, ""}}));
  EXPECT_EQ(steps(band(15, 17), false, {14, kNan, 18}),
            (std::vector<Step>{{true, low("14", "15")}, {true, low("nan", "15")}, {false, ""}}));
  // A threshold or recovery value that is not a number: never raised; once active, never ends.
  EXPECT_EQ(steps(band(kNan, 28), true, {100}), (std::vector<Step>{{false, ""}}));
  SignalThreshold stuck = band(30, kNan);
  stuck.alarmActive = true;
  EXPECT_EQ(steps(stuck, true, {0}), (std::vector<Step>{{true, up("0", "30")}}));
}

TEST(ThresholdHysteresis, InfinitiesAreNumbers) {
  EXPECT_EQ(steps(band(30, 28), true, {kInf, -kInf}),
            (std::vector<Step>{{true, up("inf", "30")}, {false, ""}}));
  EXPECT_EQ(steps(band(15, 17), false, {-kInf, kInf}),
            (std::vector<Step>{{true, low("-inf", "15")}, {false, ""}}));
}
