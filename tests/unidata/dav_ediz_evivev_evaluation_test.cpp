// The generic data device's threshold evaluation, through rounds: in mode 1 every configured
// signal with a value goes to the host's threshold check, then to the analog report check and its
// rules; in mode 5 the four threshold maps report their bands; other modes evaluate nothing.
#include <gtest/gtest.h>

#include <ctime>
#include <stdexcept>

#include "tests/support/exposed_vornk.h"
#include "tests/support/rounds.h"

using namespace vk::test;
using namespace vk::doubles;

namespace {

using Rule = ZeqVDevice::BAOSetting;

Rule absolute(float delta, float last) { return {true, delta, false, 0, false, 0, 0, last}; }

}  // namespace

// The device's check: rule lookup with template inheritance, update, and the host call.
class AoReportCheck : public testing::Test {
 protected:
  bool check(const std::string& signalId, float value) {
    return rig.device->CheckAOReport(vk::unidata::templateId(signalId), signalId, value);
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
