// The settings of examples/settings/ delivered as they are, then rounds evaluating values as a
// driver's GenJsonData gives them: what the examples configure must reach the host's threshold
// checks and raise the alarms their thresholds describe. vornk-host cannot show this, as the vornk
// device gives no values (tests/examples/check_examples.sh checks what it shows).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/exposed_vornk.h"
#include "tests/support/rounds.h"
#include "tests/support/temp_work_dir.h"

using namespace vk::test;

namespace {

const std::filesystem::path kExamples = VORNK_EXAMPLES_FOLDER;

Json::Value exampleSettings(const std::string& name) {
  std::ifstream file(kExamples / "settings" / name);
  EXPECT_TRUE(file) << name;
  std::ostringstream text;
  text << file.rdbuf();
  return parseJson(text.str());
}

const std::string kCurrent = "\xE5\xBD\x93\xE5\x89\x8D\xE5\x80\xBC";           // 当前值
const std::string kUp = "\xE9\xAB\x98\xE4\xBA\x8E\xE9\x98\x88\xE5\x80\xBC:";   // 高于阈值:
const std::string kLow = "\xE4\xBD\x8E\xE4\xBA\x8E\xE9\x98\x88\xE5\x80\xBC:";  // 低于阈值:

// A band's report as callLines() writes it: level, signal name, alarm ID, value, message, active
// and the flag. An active alarm's message states the value and the threshold it passed.
std::string report(const std::string& level, const std::string& name, const std::string& alarmId,
                   const std::string& value, const std::string& passed = "",
                   const std::string& threshold = "") {
  const bool active = !passed.empty();
  return "CheckThresholdBool " + level + " " + name + " " + alarmId + " " + value + " " +
         (active ? kCurrent + value + passed + threshold : "") + " " + (active ? "true" : "false") +
         " 1";
}

// A device that never samples, its settings delivered in the examples folder, where the module
// finds ini/vornk.ini.
class ExampleRounds : public testing::Test {
 protected:
  void deliver(const std::string& settings) {
    const TempWorkDir::Entered inExamples(kExamples);
    capturedLines([&] { rig.device->InitSetting(exampleSettings(settings)); });
  }

  std::vector<std::string> round(const std::string& values) {
    return callLines(evaluatedRound(rig, parseJson(values)));
  }

  Rig rig = Rig::withoutSampling();
};

}  // namespace

// Mode 1: every [AI] signal of ini/vornk.ini, in key order, checked under its template ID.
TEST_F(ExampleRounds, ModeOneChecksTheIniSignalsUnderTheirTemplateIds) {
  deliver("mode1.json");
  EXPECT_EQ(round(R"({"supply_temp": 18.5, "return_temp": 23, "humidity": 41.25})"),
            (std::vector<std::string>{"CheckThreshold 0416003010 Return air humidity 41.25 1",
                                      "CheckThreshold 0416002010 Return air temperature 23 1",
                                      "CheckThreshold 0416001010 Supply air temperature 18.5 1"}));
}

// Mode 5: the bands raise their alarms at their thresholds and keep them until the values are
// back past the recovery values; each round reports every band (Up, Up2, Low, each in signal-name
// order), with a message while its alarm is on. Thresholds given as text count as numbers.
TEST_F(ExampleRounds, ModeFiveRaisesAndClearsTheBandsAlarms) {
  deliver("mode5.json");
  EXPECT_EQ(round(R"({"supply_temp": 31, "humidity": 72.5})"),
            (std::vector<std::string>{report("3", "humidity", "S18001", "72.5", kUp, "70"),
                                      report("2", "supply_temp", "S17001", "31", kUp, "30"),
                                      report("1", "supply_temp", "S17002", "31"),
                                      report("2", "supply_temp", "S17003", "31")}));
  EXPECT_EQ(round(R"({"supply_temp": 36, "humidity": 66})"),
            (std::vector<std::string>{report("3", "humidity", "S18001", "66", kUp, "70"),
                                      report("2", "supply_temp", "S17001", "36", kUp, "30"),
                                      report("1", "supply_temp", "S17002", "36", kUp, "35"),
                                      report("2", "supply_temp", "S17003", "36")}));
  EXPECT_EQ(round(R"({"supply_temp": 11, "humidity": 64})"),
            (std::vector<std::string>{report("3", "humidity", "S18001", "64"),
                                      report("2", "supply_temp", "S17001", "11"),
                                      report("1", "supply_temp", "S17002", "11"),
                                      report("2", "supply_temp", "S17003", "11", kLow, "12")}));
}
