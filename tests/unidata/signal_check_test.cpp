// Configured analog signals: template IDs, analog report rules, and rounds in mode 1 that hand
// each signal's value to the host's threshold check and to the analog report check.
#include "unidata/signal_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <limits>

#include "tests/support/probe_vornk.h"
#include "tests/support/rounds.h"

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
    if (!unidata::aoReportDue(rule, value, fixedClock)) continue;
    rule.lastReportValue = value;
    reports.push_back(value);
  }
  return reports;
}

bool due(const Rule& rule, float value) { return unidata::aoReportDue(rule, value, fixedClock); }

}  // namespace

TEST(SignalTemplateId, ReplacesPositionsThreeAndEightThatExist) {
  EXPECT_EQ(unidata::templateId("abcdefghijk"), "abc6efgh1jk");
  EXPECT_EQ(unidata::templateId("abcdefghi"), "abc6efgh1");
  EXPECT_EQ(unidata::templateId("abcdefgh"), "abc6efgh");
  EXPECT_EQ(unidata::templateId("abcd"), "abc6");
  EXPECT_EQ(unidata::templateId("abc"), "abc");
  EXPECT_EQ(unidata::templateId(""), "");
}

TEST(SignalValue, NumbersAndBooleansOnly) {
  EXPECT_EQ(unidata::signalValue(Json::Value(2.5)), 2.5f);
  EXPECT_EQ(unidata::signalValue(Json::Value(-3)), -3.0f);
  EXPECT_EQ(unidata::signalValue(Json::Value(true)), 1.0f);
  EXPECT_EQ(unidata::signalValue(Json::Value(false)), 0.0f);
  for (const Json::Value& none : {Json::Value(), Json::Value("1"), Json::Value(Json::objectValue),
                                  Json::Value(Json::arrayValue)}) {
    EXPECT_FALSE(unidata::signalValue(none).has_value()) << none.toStyledString();
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

// The device's check: rule lookup with template inheritance, update, and the host call.
class AoReportCheck : public testing::Test {
 protected:
  bool check(const std::string& signalId, float value) {
    return rig.device->CheckAOReport(unidata::templateId(signalId), signalId, value);
  }
  Rule& rule(const std::string& id) { return rig.device->aoReportSettings_.at(id); }

  Rig rig;
};

TEST_F(AoReportCheck, AReportUpdatesTheRuleAndGoesOutUnderTheSignalsId) {
  rig.device->aoReportSettings_["S17000001"] = absolute(0.5f, 20);
  const std::uint32_t before = static_cast<std::uint32_t>(std::time(nullptr));
  EXPECT_FALSE(check("S17000001", 20.5f));
  EXPECT_TRUE(check("S17000001", 20.6f));
  EXPECT_FALSE(check("S17000001", 20.2f));
  EXPECT_EQ(rule("S17000001").lastReportValue, 20.6f);
  EXPECT_GE(rule("S17000001").lastReportTime, before);
  ASSERT_EQ(rig.host->calls().size(), 1u);
  EXPECT_EQ(rig.host->calls()[0].args, (std::vector<std::string>{"S17000001", "20.6000004"}));
}

TEST_F(AoReportCheck, SignalsCopyTheirTemplatesRuleOnFirstUse) {
  const Rule shared = {true, 1, false, 0, false, 5, 1000, 10};
  rig.device->aoReportSettings_["S176000011"] = shared;  // template of S17x00001y
  EXPECT_TRUE(check("S17A0000B1", 12));
  EXPECT_FALSE(check("S17C0000D1", 10.5f));
  // Each signal has its own copy, history included; the template's rule is unchanged.
  ASSERT_EQ(rig.device->aoReportSettings_.size(), 3u);
  EXPECT_EQ(rule("S17A0000B1").lastReportValue, 12);
  EXPECT_EQ(rule("S17C0000D1").lastReportValue, 10);
  EXPECT_EQ(rule("S17C0000D1").lastReportTime, 1000u);
  EXPECT_EQ(rule("S176000011").lastReportValue, 10);
  EXPECT_EQ(rule("S176000011").lastReportTime, 1000u);
  EXPECT_EQ(rig.host->calls()[0].args[0], "S17A0000B1");
}

TEST_F(AoReportCheck, WithoutARuleNothingIsReportedOrCreated) {
  EXPECT_FALSE(check("S17000001", 1e9f));  // no settings at all
  rig.device->aoReportSettings_["other"] = absolute(0, 0);
  EXPECT_FALSE(check("S17000001", 1e9f));
  EXPECT_EQ(rig.device->aoReportSettings_.size(), 1u);
  EXPECT_TRUE(rig.host->calls().empty());
}

// Rounds through the cache path in mode 1, with a recording host.
class SignalRounds : public testing::Test {
 protected:
  SignalRounds() {
    rig.device->b_mode_ = 1;
    rig.device->aiSignalMap_ = {{"temp", {"S17000001", "Temperature"}},
                                {"door", {"S18000002", "Door"}},
                                {"fan", {"S19000003", "Fan"}}};
  }

  Rig rig;
};

// Signals run in key order; each value goes to CheckThreshold under the template ID, then to the
// analog report check, which reports under the signal's own ID.
TEST_F(SignalRounds, EachSignalWithAValueIsCheckedThenReported) {
  rig.device->aoReportSettings_["S17600001"] = absolute(0, 0);  // template of S17000001
  const auto calls =
      evaluatedRound(rig, parseJson(R"({"temp": 21.5, "door": true, "fan": false})"));
  EXPECT_EQ(callLines(calls),
            (std::vector<std::string>{
                "CheckThreshold S18600001 Door 1 1", "CheckThreshold S19600001 Fan 0 1",
                "CheckThreshold S17600001 Temperature 21.5 1", "CheckAOReport S17000001 21.5"}));
}

// Looking the keys up adds the missing ones as null members; null and values without a number
// form make no host call.
TEST_F(SignalRounds, MissingKeysAreAddedAsNullAndOddValuesSkipped) {
  EXPECT_TRUE(evaluatedRound(rig, Json::Value()).empty());
  EXPECT_EQ(rig.device->valueMap_, parseJson(R"({"door": null, "fan": null, "temp": null})"));

  rig.device->aoReportSettings_["S18600001"] = absolute(0, 0);
  const auto calls =
      evaluatedRound(rig, parseJson(R"({"door": "1", "fan": {"a": 1}, "temp": [1], "x": 1})"));
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(rig.host->count("SaveDeviceHistory"), 1u);  // the round went on

  // Values that are not an object: nothing looked up, nothing added.
  EXPECT_TRUE(evaluatedRound(rig, parseJson("[1]")).empty());
  EXPECT_EQ(rig.device->valueMap_, parseJson("[1]"));
}

// Each signal finds its own value among values of other keys, and a missing key is added in its
// place among them; without signals, a null valueMap_ stays null.
TEST_F(SignalRounds, SignalsFindTheirOwnValuesAmongOthers) {
  rig.device->aiSignalMap_ = {{"a", {"S10000001", "A"}},
                              {"ab", {"S10000002", "AB"}},
                              {"b", {"S10000003", "B"}},
                              {"\xc3\xa9", {"S10000004", "E"}}};
  const auto calls =
      evaluatedRound(rig, parseJson(R"({"": 9, "a": 1, "aa": 9, "abc": 9, "b": 3, "\u00e9a": 9})"));
  EXPECT_EQ(callLines(calls), (std::vector<std::string>{"CheckThreshold S10600001 A 1 1",
                                                        "CheckThreshold S10600001 B 3 1"}));
  EXPECT_EQ(rig.device->valueMap_,
            parseJson(R"({"": 9, "a": 1, "aa": 9, "ab": null, "abc": 9, "b": 3, "\u00e9": null,
                          "\u00e9a": 9})"));

  rig.device->aiSignalMap_.clear();
  EXPECT_TRUE(evaluatedRound(rig, Json::Value()).empty());
  EXPECT_TRUE(rig.device->valueMap_.isNull());
}

TEST_F(SignalRounds, OtherModesEvaluateNothing) {
  rig.device->upThresholdMap_["temp"] = {"U1", 1, 0, false, 1};
  for (const int mode : {0, 3, 2, -1}) {
    rig.device->b_mode_ = mode;
    int generated = 0;
    rig.device->inGenJsonData = [&generated](Json::Value&) { ++generated; };
    rig.host->clear();
    cachedRound(rig);
    EXPECT_EQ(generated, 0) << mode;
    EXPECT_EQ(rig.host->names(), roundCallOrder()) << mode;
    EXPECT_TRUE(rig.device->valueMap_.isNull()) << mode;
  }
}
