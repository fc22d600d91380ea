// The bytes are parsed as JSON (input that does not parse is skipped) and delivered through
// InitSetting as they are, then with "appSetting"/"b_mode" forced to 1, 3 and 5 in turn; a round
// follows each delivery. A member "values" becomes the round's values, so the evaluation runs on
// whatever the import built. Mode 1 reads a fixed configuration file. The only exception expected
// is the refusal of settings, or of a mode-3 "thresholdSetting", that are no JSON object.
#include <json/json.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "tests/support/exposed_vornk.h"
#include "tests/support/temp_work_dir.h"

using namespace vk::test;

namespace {

const char kModelConfig[] =
    "[AI]\n"
    "t1 = S17000001,supply\n"
    "t2 = S1700,return\n"
    "t3 = S\n"
    "[ALARM]\n"
    "t1 = A17001,high\n";

// Imports settings, then completes a round with their "values".
void deliver(ExposedVornk& device, const Json::Value& settings) {
  device.giveRoundValues(settings.isObject() ? settings.get("values", Json::Value())
                                             : Json::Value());
  try {
    device.InitSetting(settings);
  } catch (const std::invalid_argument& error) {
    const std::string what = error.what();
    if (what.rfind("settings: ", 0) != 0 && what.rfind("thresholdSetting: ", 0) != 0) throw;
  }
  device.zeroRecordRound();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  TempWorkDir::ofProcess().write("ini/vornk.ini", kModelConfig);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Json::Value settings;
  {
    const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    const char* text = reinterpret_cast<const char*>(data);
    try {
      if (!reader->parse(text, text + size, &settings, nullptr)) return 0;
    } catch (const Json::Exception&) {
      return 0;  // the reader's nesting limit
    }
  }

  const TempWorkDir::Entered inFolder = TempWorkDir::ofProcess().enter();
  Rig rig = Rig::withoutSampling();
  ExposedVornk& device = *rig.device;
  // A rule that signal S17000001's template (S17600001) hands on, for the analog report check.
  device.aoReportSettings_["S17600001"] = {true, 0.5f, true, 10.0f, true, 1.0f, 0, 0.0f};
  deliver(device, settings);
  if (!settings.isObject()) return 0;
  for (const int mode : {1, 3, 5}) {
    Json::Value forced = settings;
    if (!forced["appSetting"].isObject()) forced["appSetting"] = Json::objectValue;
    forced["appSetting"]["b_mode"] = mode;
    deliver(device, forced);
  }
  return 0;
}
