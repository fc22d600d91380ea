// Malformed inputs of every kind the module reads from outside, grouped in tables: configuration
// files the reader refuses, odd JSON types wherever the settings give a text or a number,
// settings that are not an object, and cached records of a wrong length. Each gets a clear error
// or a defined skip; nothing stored before is lost. tests/MALFORMED_INPUTS.md lists them all.
#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <climits>
#include <cmath>
#include <limits>
#include <optional>

#include "tests/support/probe_vornk.h"
#include "tests/support/rounds.h"
#include "tests/support/temp_work_dir.h"
#include "tools/settings_file.h"
#include "tools/setup_error.h"

namespace {

// A file the INI reader or the section lookup refuses, and the error text it gives.
struct BadConfigFile {
  const char* name;
  const char* text;
  const char* error;
};

class MalformedConfigFile : public testing::TestWithParam<BadConfigFile> {
 protected:
  MalformedConfigFile() {
    rig.device->dataId_ = 12;
    rig.device->aiSignalMap_["kept"] = {"K01", "kept signal"};
    rig.device->alarmSignalIdMap_["kept"] = "B01";
  }

  TempWorkDir folder;
  Rig rig;
};

// The error leaves InitSetting as the reader's exception, before the host's InitSetting and
// before any entry is stored; what an earlier import stored stays.
TEST_P(MalformedConfigFile, LeavesAsTheReadersErrorKeepingEarlierEntries) {
  folder.write("ini/vornk.ini", GetParam().text);
  std::string error = "no error";
  capturedLines([&] {
    try {
      rig.device->genericInitSetting(Json::Value(Json::objectValue));
    } catch (const boost::property_tree::ptree_error& thrown) {
      error = thrown.what();
    }
  });
  EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
  EXPECT_EQ(rig.device->aiSignalMap_, (unidata::AiSignalMap{{"kept", {"K01", "kept signal"}}}));
  EXPECT_EQ(rig.device->alarmSignalIdMap_, (unidata::AlarmIdMap{{"kept", "B01"}}));
  EXPECT_TRUE(rig.host->names().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, MalformedConfigFile,
    testing::Values(BadConfigFile{"Empty", "", "No such node (AI)"},
                    BadConfigFile{"OnlyComments", "; nothing\n# here\n", "No such node (AI)"},
                    BadConfigFile{"NoAiSection", "[ALARM]\na1=B02\n", "No such node (AI)"},
                    BadConfigFile{"SectionNamesAreCaseSensitive", "[ai]\nt1=A01\n[alarm]\na=b\n",
                                  "No such node (AI)"},
                    BadConfigFile{"BinaryBytes", "\x01\x02\xff\n",
                                  "'=' character not found in line"},
                    BadConfigFile{"EmptySectionNameIsNoAi", "[]\nt1=A01\n", "No such node (AI)"},
                    BadConfigFile{"BlankKey", "[AI]\n   = A01\n", "key expected"}),
    [](const testing::TestParamInfo<BadConfigFile>& info) { return info.param.name; });

// A JSON value in a place where the settings give a text or a number: its text form (none for
// null, arrays and objects) and what that text reads as a threshold and as a level.
struct OddValue {
  const char* name;
  const char* json;
  std::optional<std::string> text;
  float number;
  int level;
};

class OddJsonType : public testing::TestWithParam<OddValue> {
 protected:
  OddJsonType() { rig.device->dataId_ = 12; }

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

  TempWorkDir folder;
  Rig rig;
};

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

// vornk-host's --settings file: text that is no single JSON object is refused with a message
// naming the problem.
TEST(MalformedSettingsFile, IsRefusedWithAMessage) {
  const std::pair<const char*, const char*> bad[] = {
      {"", "invalid JSON: "},         {"{\"appSetting\": ", "invalid JSON: "},
      {"{} {}", "invalid JSON: "},    {"{\"a\": 1, \"a\": 2}", "invalid JSON: "},
      {"{'a': 1}", "invalid JSON: "}, {"[{\"appSetting\": {}}]", "settings must be a JSON object"},
      {"5", "invalid JSON: "},  // strict: an object or an array only
  };
  // The message reading fails with; empty when it does not fail.
  const auto failure = [](const auto& read) -> std::string {
    try {
      read();
    } catch (const vornk_tools::SetupError& error) {
      return error.what();
    }
    return {};
  };
  for (const auto& [text, message] : bad) {
    const std::string error = failure([text = text] { vornk_tools::parseSettings(text); });
    EXPECT_EQ(error.rfind(message, 0), 0u) << text << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
  TempWorkDir folder;
  EXPECT_EQ(failure([] { vornk_tools::loadSettingsFile("absent.json"); }),
            "cannot read settings file 'absent.json': No such file or directory");
}

}  // namespace
