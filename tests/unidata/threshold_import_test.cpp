// The imports of the settings' "thresholdSetting": the mobile identifiers (mode 3) and the
// threshold bands (mode 5), from whole records and from odd JSON values in each of their places.
#include "unidata/threshold_import.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <optional>

#include "tests/support/exposed_vornk.h"
#include "tests/support/rounds.h"
#include "tests/support/temp_work_dir.h"

using namespace vk::test;

// Found by argument-dependent lookup, so it must live beside SignalThreshold.
static bool operator==(const SignalThreshold& a, const SignalThreshold& b) {
  return a.alarmId == b.alarmId && a.threshold == b.threshold && a.recoverValue == b.recoverValue &&
         a.alarmActive == b.alarmActive && a.alarmLevel == b.alarmLevel;
}

namespace {

class SettingsImport : public testing::Test {
 protected:
  SettingsImport() { rig.device->dataId_ = 12; }

  std::vector<std::string> deliver(const std::string& settings) {
    return capturedLines([&] { rig.device->genericInitSetting(parseJson(settings)); });
  }
  std::vector<std::string> deliverInMode(int mode, const std::string& thresholdSetting) {
    rig.device->b_mode_ = mode;
    return deliver("{\"thresholdSetting\": " + thresholdSetting + "}");
  }

  TempWorkDir folder;  // mode 1 looks for ./ini/ here
  Rig rig;
};

// A JSON value in a place where the settings give a text or a number: its text form (none for
// null, arrays and objects) and what that text reads as a threshold and as a level.
struct OddValue {
  const char* name;
  const char* json;
  std::optional<std::string> text;
  float number;
  int level;
};

class OddJsonType : public SettingsImport, public testing::WithParamInterface<OddValue> {
 protected:
  // Delivers one threshold record in mode 5 whose member `place` holds the odd value.
  void deliverBand(const char* place) {
    Json::Value record = parseJson(R"({"ID": "S17", "SignalName": "t1", "UpValue": 30,
                                       "UpReconverValue": 28, "UpAlarmLevel": 2})");
    record[place] = parseJson(GetParam().json);
    Json::Value settings = parseJson(R"({"appSetting": {"b_mode": 5}})");
    settings["thresholdSetting"]["supply"] = record;
    capturedLines([&] { rig.device->genericInitSetting(settings); });
  }

  // A text that gives a band: present and not empty.
  bool usable() const { return GetParam().text && !GetParam().text->empty(); }
};

}  // namespace

TEST_F(SettingsImport, MobileImportPrintsEveryMemberAndItsMissingIdentifiers) {
  rig.device->signalLevelMap["full"] = 4;
  rig.device->signalValueMap["full"] = 21.5f;
  const auto lines = deliverInMode(3, R"({
      "bare": {},
      "full": {"SignalName": "Supply", "NMAlarmID": 7, "ID": "S17", "SignalNumber": ""},
      "number": 5,
      "odd": {"SignalName": {"a": 1}, "NMAlarmID": [1], "ID": true, "SignalNumber": null}})");
  EXPECT_EQ(lines,
            (std::vector<std::string>{
                "here 1", "here 2", "here bare", "12 NMAlarmID is missing", "12 ID is missing",
                "12 SignalNumber is missing", "mobile:bare:;;; level:0 value:0", "here full",
                "mobile:full:7;S17;; level:4 value:21.5", "here number", "here odd",
                "12 NMAlarmID is missing", "12 SignalNumber is missing",
                "mobile:odd:;true;; level:0 value:0"}));
  EXPECT_EQ(rig.device->mobileIdMap_,
            (std::map<std::string, std::string>{
                {"bare", ";;;"}, {"full", "7;S17;;"}, {"odd", ";true;;"}}));
  EXPECT_EQ(rig.device->mobileNameMap_, (std::map<std::string, std::string>{{"full", "Supply"}}));
  EXPECT_EQ(rig.device->signalLevelMap.count("bare"), 1u);
  EXPECT_EQ(rig.device->signalValueMap.count("odd"), 1u);
  EXPECT_EQ(rig.host->names(), std::vector<std::string>{"InitSetting"});
}

// A thresholdSetting that is missing or null gives no members, and so does a string, a number or
// a boolean, after "here 2". An array, whose members the JSON library cannot look up by name,
// throws std::invalid_argument after "here 2", and the host does not get the settings. Nothing
// is imported.
TEST_F(SettingsImport, MobileImportWithoutMembers) {
  EXPECT_EQ(deliverInMode(3, "null"), std::vector<std::string>{"here 1"});
  for (const char* scalar : {"\"text\"", "5", "false"}) {
    EXPECT_EQ(deliverInMode(3, scalar), (std::vector<std::string>{"here 1", "here 2"}));
  }
  EXPECT_EQ(rig.host->count("InitSetting"), 4u);
  std::string refusal;
  EXPECT_EQ(capturedLines([&] {
              try {
                rig.device->genericInitSetting(
                    parseJson(R"({"appSetting": {"b_mode": 3}, "thresholdSetting": [{"ID": 1}]})"));
              } catch (const std::invalid_argument& error) {
                refusal = error.what();
              }
            }),
            (std::vector<std::string>{"InitSetting 12 b_mode_:3", "here 1", "here 2"}));
  EXPECT_EQ(refusal, "thresholdSetting: a JSON array is not an object");
  EXPECT_EQ(rig.host->count("InitSetting"), 4u);
  EXPECT_TRUE(rig.device->mobileIdMap_.empty());
  EXPECT_TRUE(rig.device->mobileNameMap_.empty());
}

// The same band given as numbers and as strings holding the same digits.
TEST_F(SettingsImport, ThresholdRecordsFillTheirBands) {
  for (const char* record :
       {R"({"ID": "S17", "SignalName": "t1", "UpValue": 30, "UpReconverValue": 28.5,
            "UpAlarmLevel": 2, "LowValue": 5, "LowReconverValue": 7, "LowAlarmLevel": 3})",
        R"({"ID": "S17", "SignalName": "t1", "UpValue": "30", "UpReconverValue": "28.5",
            "UpAlarmLevel": "2", "LowValue": "5", "LowReconverValue": "7",
            "LowAlarmLevel": "3"})"}) {
    EXPECT_TRUE(deliverInMode(5, std::string("{\"a\": ") + record + "}").empty());
    EXPECT_EQ(rig.device->upThresholdMap_,
              (SignalThresholdMap{{"t1", {"S17001", 30.0f, 28.5f, false, 2}}}));
    EXPECT_EQ(rig.device->lowThresholdMap_,
              (SignalThresholdMap{{"t1", {"S17003", 5.0f, 7.0f, false, 3}}}));
    EXPECT_TRUE(rig.device->up2ThresholdMap_.empty());
    EXPECT_TRUE(rig.device->low2ThresholdMap_.empty());
  }
  EXPECT_EQ(rig.host->count("InitSetting"), 2u);
}

TEST_F(SettingsImport, IncompleteBandsAndRecordsAreSkipped) {
  deliverInMode(5, R"({
      "partial": {"ID": "P", "SignalName": "p", "UpValue": 1, "UpReconverValue": 0,
                  "UpAlarmLevel": 1, "Up2Value": "", "Up2ReconverValue": 1, "Up2AlarmLevel": 1,
                  "LowValue": 1, "LowReconverValue": null, "LowAlarmLevel": 1,
                  "Low2Value": "0x10", "Low2ReconverValue": "inf", "Low2AlarmLevel": "x"},
      "noId": {"SignalName": "n", "UpValue": 1, "UpReconverValue": 0, "UpAlarmLevel": 1},
      "emptyName": {"ID": "E", "SignalName": "", "UpValue": 1, "UpReconverValue": 0,
                    "UpAlarmLevel": 1},
      "objectId": {"ID": {"a": 1}, "SignalName": "o", "UpValue": 1, "UpReconverValue": 0,
                   "UpAlarmLevel": 1},
      "arrayBand": {"ID": "A", "SignalName": "a", "UpValue": [1], "UpReconverValue": 0,
                    "UpAlarmLevel": 1},
      "notARecord": 5})");
  EXPECT_EQ(rig.device->upThresholdMap_,
            (SignalThresholdMap{{"p", {"P001", 1.0f, 0.0f, false, 1}}}));
  EXPECT_TRUE(rig.device->up2ThresholdMap_.empty());
  EXPECT_TRUE(rig.device->lowThresholdMap_.empty());
  EXPECT_EQ(rig.device->low2ThresholdMap_,
            (SignalThresholdMap{
                {"p", {"P004", 16.0f, std::numeric_limits<float>::infinity(), false, 0}}}));
}

// A later record of the same signal overwrites only the bands it has complete.
TEST_F(SettingsImport, ALaterRecordOfTheSameSignalOverwritesItsCompleteBands) {
  deliverInMode(5, R"({
      "a": {"ID": "X", "SignalName": "s", "UpValue": 1, "UpReconverValue": 0, "UpAlarmLevel": 1,
            "LowValue": 1, "LowReconverValue": 2, "LowAlarmLevel": 1},
      "b": {"ID": "Y", "SignalName": "s", "UpValue": 9, "UpReconverValue": 8, "UpAlarmLevel": 2}})");
  EXPECT_EQ(rig.device->upThresholdMap_,
            (SignalThresholdMap{{"s", {"Y001", 9.0f, 8.0f, false, 2}}}));
  EXPECT_EQ(rig.device->lowThresholdMap_,
            (SignalThresholdMap{{"s", {"X003", 1.0f, 2.0f, false, 1}}}));
}

TEST_F(SettingsImport, EveryThresholdImportStartsFromEmptyMaps) {
  deliverInMode(5, R"({"a": {"ID": "S", "SignalName": "old", "UpValue": 1, "UpReconverValue": 0,
                             "UpAlarmLevel": 1}})");
  rig.device->upThresholdMap_["old"].alarmActive = true;
  deliverInMode(5, R"({"a": {"ID": "S", "SignalName": "new", "UpValue": 1, "UpReconverValue": 0,
                             "UpAlarmLevel": 1}})");
  EXPECT_EQ(rig.device->upThresholdMap_,
            (SignalThresholdMap{{"new", {"S001", 1.0f, 0.0f, false, 1}}}));

  SignalThresholdMap* const maps[] = {&rig.device->upThresholdMap_, &rig.device->up2ThresholdMap_,
                                      &rig.device->lowThresholdMap_,
                                      &rig.device->low2ThresholdMap_};
  // An array of whole records imports nothing either.
  const char* array =
      R"([{"ID": "S", "SignalName": "s", "UpValue": 1, "UpReconverValue": 0, "UpAlarmLevel": 1}])";
  for (const char* nothing : {"null", "\"text\"", array}) {
    for (SignalThresholdMap* map : maps) (*map)["x"] = {};
    EXPECT_TRUE(deliverInMode(5, nothing).empty());
    for (SignalThresholdMap* map : maps) EXPECT_TRUE(map->empty()) << nothing;
  }
  rig.device->lowThresholdMap_["x"] = {};
  rig.device->b_mode_ = 5;
  capturedLines([&] { rig.device->genericInitSetting(Json::Value(Json::objectValue)); });
  EXPECT_TRUE(rig.device->lowThresholdMap_.empty());
}

// The band import on its own: a fresh band replaces the whole entry, alarm state included.
TEST(ThresholdBand, ReplacesTheWholeEntry) {
  SignalThresholdMap map{{"t", {"OLD", 9.0f, 9.0f, true, 9}}};
  const Json::Value record = parseJson(R"({"V": " 1.5e1", "R": "-0x8", "L": " +4 levels"})");
  vk::unidata::importThresholdBand(record, "t", "N", "V", "R", "L", "002", map);
  EXPECT_EQ(map, (SignalThresholdMap{{"t", {"N002", 15.0f, -8.0f, false, 4}}}));
  vk::unidata::importThresholdBand(record, "u", "N", "V", "R", "missing", "002", map);
  EXPECT_EQ(map.size(), 1u);

  // Levels are decimal whatever their leading characters.
  for (const auto& [level, expected] :
       std::vector<std::pair<const char*, int>>{{"010", 10}, {"0x10", 0}, {"08", 8}}) {
    const Json::Value leveled =
        parseJson(std::string(R"({"V": 1, "R": 0, "L": ")") + level + "\"}");
    vk::unidata::importThresholdBand(leveled, "t", "N", "V", "R", "L", "001", map);
    EXPECT_EQ(map["t"].alarmLevel, expected) << level;
  }
}

// The identifier and the signal name: the text form is taken as it is; without one, or empty,
// the record is skipped.
TEST_P(OddJsonType, AsIdentifierOrSignalName) {
  deliverBand("ID");
  if (usable()) {
    ASSERT_EQ(rig.device->upThresholdMap_.size(), 1u);
    EXPECT_EQ(rig.device->upThresholdMap_.at("t1").alarmId, *GetParam().text + "001");
  } else {
    EXPECT_TRUE(rig.device->upThresholdMap_.empty());
  }
  deliverBand("SignalName");
  if (usable()) {
    ASSERT_EQ(rig.device->upThresholdMap_.size(), 1u);
    EXPECT_EQ(rig.device->upThresholdMap_.count(*GetParam().text), 1u);
  } else {
    EXPECT_TRUE(rig.device->upThresholdMap_.empty());
  }
}

// A band's threshold, recovery value and level: the text read as a number; without a text, or
// empty, the band is left out.
TEST_P(OddJsonType, AsThresholdRecoveryValueOrLevel) {
  const auto expectBand = [&](float threshold, float recover, int level) {
    if (!usable()) {
      EXPECT_TRUE(rig.device->upThresholdMap_.empty());
      return;
    }
    ASSERT_EQ(rig.device->upThresholdMap_.size(), 1u);
    const SignalThreshold& band = rig.device->upThresholdMap_.at("t1");
    if (std::isnan(threshold)) {
      EXPECT_TRUE(std::isnan(band.threshold));
    } else {
      EXPECT_EQ(band.threshold, threshold);
    }
    EXPECT_EQ(band.recoverValue, recover);
    EXPECT_EQ(band.alarmLevel, level);
  };
  deliverBand("UpValue");
  expectBand(GetParam().number, 28.0f, 2);
  deliverBand("UpReconverValue");
  if (!std::isnan(GetParam().number)) expectBand(30.0f, GetParam().number, 2);
  deliverBand("UpAlarmLevel");
  expectBand(30.0f, 28.0f, GetParam().level);
}

// Mode 3: a member without text form counts as missing, with a line saying so; any other value
// goes into the identifier triple as its text.
TEST_P(OddJsonType, AsMobileIdentifierOrName) {
  Json::Value record = parseJson(R"({"SignalName": "n", "NMAlarmID": "N", "ID": "I",
                                     "SignalNumber": "7"})");
  record["ID"] = parseJson(GetParam().json);
  record["SignalName"] = parseJson(GetParam().json);
  Json::Value settings = parseJson(R"({"appSetting": {"b_mode": 3}})");
  settings["thresholdSetting"]["m"] = record;
  const auto lines = capturedLines([&] { rig.device->genericInitSetting(settings); });

  const std::string text = GetParam().text.value_or("");
  EXPECT_EQ(rig.device->mobileIdMap_.at("m"), "N;" + text + ";7;");
  const bool missing = !GetParam().text;
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "12 ID is missing"), missing ? 1 : 0);
  EXPECT_EQ(rig.device->mobileNameMap_.count("m"), missing ? 0u : 1u);
  EXPECT_EQ(rig.host->names(), std::vector<std::string>{"InitSetting"});
}

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNan = std::numeric_limits<float>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Values, OddJsonType,
    testing::Values(OddValue{"Null", "null", std::nullopt, 0, 0},
                    OddValue{"EmptyArray", "[]", std::nullopt, 0, 0},
                    OddValue{"Array", "[1, 2]", std::nullopt, 0, 0},
                    OddValue{"EmptyObject", "{}", std::nullopt, 0, 0},
                    OddValue{"Object", R"({"a": 1})", std::nullopt, 0, 0},
                    OddValue{"EmptyText", R"("")", std::string(), 0, 0},
                    OddValue{"True", "true", std::string("true"), 0, 0},
                    OddValue{"False", "false", std::string("false"), 0, 0},
                    OddValue{"NegativeInteger", "-3", std::string("-3"), -3, -3},
                    OddValue{"Fraction", "1.5", std::string("1.5"), 1.5f, 1},
                    OddValue{"HugeUnsigned", "18446744073709551615",
                             std::string("18446744073709551615"), 1.8446744e19f, INT_MAX},
                    OddValue{"BeyondFloat", "1e39", std::string("9.9999999999999994e+38"), kInf, 9},
                    OddValue{"TextWithUnit", R"(" 7.5 kW")", std::string(" 7.5 kW"), 7.5f, 7},
                    OddValue{"TextNotANumber", R"("warm")", std::string("warm"), 0, 0},
                    OddValue{"TextNan", R"("nan")", std::string("nan"), kNan, 0}),
    [](const testing::TestParamInfo<OddValue>& info) { return info.param.name; });
