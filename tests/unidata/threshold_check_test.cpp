// Threshold bands: number text, messages, hysteresis, and the four maps evaluated by rounds in
// mode 5.
#include "unidata/threshold_check.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

#include "tests/support/probe_vornk.h"
#include "tests/support/rounds.h"

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
    const std::string message = unidata::stepThreshold(band, value, upper);
    reported.push_back({band.alarmActive, message});
  }
  return reported;
}

SignalThreshold band(float threshold, float recoverValue) {
  return {"A1", threshold, recoverValue, false, 2};
}

const std::string kCurrent = "\xE5\xBD\x93\xE5\x89\x8D\xE5\x80\xBC";           // 当前值
const std::string kUp = "\xE9\xAB\x98\xE4\xBA\x8E\xE9\x98\x88\xE5\x80\xBC:";   // 高于阈值:
const std::string kLow = "\xE4\xBD\x8E\xE4\xBA\x8E\xE9\x98\x88\xE5\x80\xBC:";  // 低于阈值:

std::string up(const std::string& value, const std::string& threshold) {
  return kCurrent + value + kUp + threshold;
}

std::string low(const std::string& value, const std::string& threshold) {
  return kCurrent + value + kLow + threshold;
}

}  // namespace

TEST(ThresholdText, FloatsAreWrittenWithNineSignificantDigits) {
  const std::vector<std::pair<float, std::string>> cases = {
      {30.0f, "30"},         {35.5f, "35.5"},  {30.2f, "30.2000008"},
      {0.1f, "0.100000001"}, {1e10f, "1e+10"}, {-2.5f, "-2.5"},
      {kNan, "nan"},         {-kNan, "-nan"},  {kInf, "inf"},
      {-kInf, "-inf"},       {-0.0f, "-0"},    {1.17549435e-38f, "1.17549435e-38"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(unidata::floatText(value), text);

  EXPECT_EQ(unidata::thresholdMessage(35.5f, 30.0f, true), "当前值35.5高于阈值:30");
  EXPECT_EQ(unidata::thresholdMessage(12.0f, 15.0f, false), "当前值12低于阈值:15");
  EXPECT_EQ(unidata::thresholdMessage(31.0f, 30.2f, true), up("31", "30.2000008"));
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

// Rounds in mode 5 through the cache path, with a recording host.
class ThresholdRounds : public testing::Test {
 protected:
  ThresholdRounds() { rig.device->b_mode_ = 5; }

  std::vector<HostCall> round(const std::string& valuesJson) {
    return evaluatedRound(rig, parseJson(valuesJson));
  }

  Rig rig;
};

TEST_F(ThresholdRounds, ReportEveryEvaluatedBandWithItsOutcome) {
  rig.device->upThresholdMap_["t1"] = {"S17001", 30.0f, 28.0f, false, 2};
  std::vector<std::vector<std::string>> reported;
  for (const char* value : {"29", "30", "29", "28.5", "28", "31"}) {
    const auto calls = round(std::string("{\"t1\": ") + value + "}");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].name, "CheckThresholdBool");
    reported.push_back(calls[0].args);
  }
  const auto args = [](const char* value, const std::string& message, const char* active) {
    return std::vector<std::string>{"2", "t1", "S17001", value, message, active, "1"};
  };
  EXPECT_EQ(reported,
            (std::vector<std::vector<std::string>>{
                args("29", "", "false"), args("30", up("30", "30"), "true"),
                args("29", up("29", "30"), "true"), args("28.5", up("28.5", "30"), "true"),
                args("28", "", "false"), args("31", up("31", "30"), "true")}));
}

// Up and Up2 are upper bands, Low and Low2 lower ones: each raises its alarm with its own
// direction's message, and stays quiet for a value on the other side.
TEST_F(ThresholdRounds, EachMapEvaluatesInItsOwnDirection) {
  rig.device->upThresholdMap_ = {{"hot", {"U1", 10, 8, false, 1}},
                                 {"cold", {"U2", 10, 8, false, 1}}};
  rig.device->up2ThresholdMap_ = {{"hot", {"U3", 10, 8, false, 1}},
                                  {"cold", {"U4", 10, 8, false, 1}}};
  rig.device->lowThresholdMap_ = {{"hot", {"L1", 10, 12, false, 1}},
                                  {"cold", {"L2", 10, 12, false, 1}}};
  rig.device->low2ThresholdMap_ = {{"hot", {"L3", 10, 12, false, 1}},
                                   {"cold", {"L4", 10, 12, false, 1}}};
  std::vector<std::string> reported;
  for (const HostCall& call : round(R"({"hot": 12, "cold": 5})")) {
    reported.push_back(call.args[2] + " " + call.args[5] + " " + call.args[4]);
  }
  EXPECT_EQ(reported,
            (std::vector<std::string>{"U2 false ", "U1 true " + up("12", "10"), "U4 false ",
                                      "U3 true " + up("12", "10"), "L2 true " + low("5", "10"),
                                      "L1 false ", "L4 true " + low("5", "10"), "L3 false "}));
}

// Maps run up, up2, low, low2, each in key order; bands without a numeric value are skipped and
// keep their state.
TEST_F(ThresholdRounds, MapsRunInTheirOrderAndSkipBandsWithoutANumber) {
  rig.device->upThresholdMap_ = {{"b", {"U1", 1, 0, false, 1}}, {"a", {"U2", 1, 0, true, 1}}};
  rig.device->up2ThresholdMap_ = {{"a", {"U3", 1, 0, false, 1}}};
  rig.device->lowThresholdMap_ = {{"c", {"L1", 1, 2, false, 1}}, {"text", {"L2", 1, 2, true, 1}}};
  rig.device->low2ThresholdMap_ = {{"null", {"L3", 1, 2, true, 1}},
                                   {"object", {"L4", 1, 2, true, 1}},
                                   {"array", {"L5", 1, 2, true, 1}},
                                   {"missing", {"L6", 1, 2, true, 1}},
                                   {"a", {"L7", 1, 2, false, 1}}};
  const auto calls = round(
      R"({"a": 5, "b": -5, "c": 0.5, "text": "1", "null": null, "object": {}, "array": [1]})");
  std::vector<std::string> ids;
  for (const HostCall& call : calls) ids.push_back(call.args[2]);
  EXPECT_EQ(ids, (std::vector<std::string>{"U2", "U1", "U3", "L1", "L7"}));
  EXPECT_TRUE(rig.device->lowThresholdMap_["text"].alarmActive);
  for (const char* key : {"null", "object", "array", "missing"}) {
    EXPECT_TRUE(rig.device->low2ThresholdMap_[key].alarmActive) << key;
  }
  EXPECT_FALSE(rig.device->valueMap_.isMember("missing"));  // mode 5 adds nothing
}

// Each band finds its own value among values of other keys: common prefixes, bytes above 0x7F
// (which order after ASCII), the empty key, keys before and after every band.
TEST_F(ThresholdRounds, BandsFindTheirOwnValuesAmongOthers) {
  rig.device->upThresholdMap_ = {
      {"", {"E", 1, 0, false, 1}},         {"a", {"A", 1, 0, false, 1}},
      {"ab", {"AB", 1, 0, false, 1}},      {"abc", {"ABC", 1, 0, false, 1}},
      {"b", {"B", 1, 0, false, 1}},        {"\x7f", {"DEL", 1, 0, false, 1}},
      {"\xc3\xa9", {"E2", 1, 0, false, 1}}};
  const auto calls = round(
      R"({"": 1, "0": 9, "a": 2, "aa": 9, "abc": 3, "abd": 9, "b": "x", "c": 9, "\u007f": 4,
          "\u00e9": 5, "\u00e9a": 9, "\u00ff": 9})");
  std::vector<std::string> reported;
  for (const HostCall& call : calls) reported.push_back(call.args[2] + "=" + call.args[3]);
  EXPECT_EQ(reported, (std::vector<std::string>{"E=1", "A=2", "ABC=3", "DEL=4", "E2=5"}));
}

TEST_F(ThresholdRounds, NoValuesOrNoBandsMeanNoCalls) {
  EXPECT_TRUE(round(R"({"a": 1})").empty());  // empty maps
  rig.device->upThresholdMap_["a"] = {"U1", 1, 0, false, 1};
  EXPECT_TRUE(round("null").empty());
  // Values that are not an object have no members, and do not end the round.
  EXPECT_TRUE(round("[1, 2]").empty());
  EXPECT_TRUE(round("7").empty());
  EXPECT_EQ(rig.host->count("SaveDeviceHistory"), 1u);
}

// A failing host call ends the round's evaluation and the round, releases the lock, and keeps
// the states already changed; the next round evaluates again.
TEST_F(ThresholdRounds, AHostFailureReleasesTheLockAndTheNextRoundEvaluates) {
  rig.device->upThresholdMap_ = {{"a", {"U1", 1, 0, false, 1}}, {"b", {"U2", 1, 0, false, 1}}};
  bool fail = true;
  rig.host->setHook([&fail](ZeqVDevice&, const HostCall& call) {
    if (call.name == "CheckThresholdBool" && fail) throw std::runtime_error("host refused");
  });
  rig.device->inGenJsonData = [](Json::Value& values) {
    values = parseJson(R"({"a": 2, "b": 2})");
  };
  const Bytes record(kRecordSize, 0);
  capturedLines([&] {
    EXPECT_THROW(rig.device->LoadFromCache(record.data(), kRecordSize), std::runtime_error);
  });
  EXPECT_EQ(rig.host->names(), roundCallOrderUpTo(5, "CheckThresholdBool"));
  EXPECT_TRUE(rig.device->upThresholdMap_["a"].alarmActive);
  EXPECT_FALSE(rig.device->upThresholdMap_["b"].alarmActive);
  ASSERT_TRUE(rig.device->thresholdLock_.try_lock());
  rig.device->thresholdLock_.unlock();

  fail = false;
  const auto calls = round(R"({"a": 2, "b": 2})");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].args[5], "true");
  EXPECT_EQ(calls[1].args[5], "true");
}

// The whole path on the sampling thread: settings in mode 5, a driver's values, a real cycle.
TEST(ThresholdSampling, ACycleEvaluatesTheImportedBands) {
  Rig rig(std::chrono::milliseconds(1));
  rig.device->inGenJsonData = [](Json::Value& values) { values["t1"] = 30.2; };
  capturedLines([&] {
    rig.device->InitSetting(parseJson(R"({"appSetting": {"b_mode": 5}, "thresholdSetting": {
        "a": {"ID": "S17", "SignalName": "t1", "UpValue": 30.2, "UpReconverValue": 28,
              "UpAlarmLevel": 2}}})"));
    // Rounds before the import evaluate in the default mode 1, with no signals.
    ASSERT_TRUE(rig.host->waitFor("CheckThresholdBool", 1, std::chrono::seconds(30)));
    rig.device.reset();
  });
  std::vector<std::string> args;
  for (const HostCall& call : rig.host->calls()) {
    if (call.name == "CheckThresholdBool") args = call.args;
  }
  EXPECT_EQ(args, (std::vector<std::string>{"2", "t1", "S17001", "30.2000008",
                                            up("30.2000008", "30.2000008"), "true", "1"}));
}
