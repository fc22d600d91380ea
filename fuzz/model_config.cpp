// The bytes become ini/vornk.ini in a private working folder, then InitSetting runs in mode 1 on
// a new device. Errors of the INI reader and a missing section are expected exceptions.
#include <boost/property_tree/ptree.hpp>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tests/support/exposed_vornk.h"
#include "tests/support/temp_work_dir.h"
#include "unidata/signal_check.h"

using namespace vk::test;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const TempWorkDir& folder = TempWorkDir::ofProcess();
  const TempWorkDir::Entered inFolder = folder.enter();
  folder.write("ini/vornk.ini", std::string_view(reinterpret_cast<const char*>(data), size));
  Rig rig = Rig::withoutSampling();
  ExposedVornk& device = *rig.device;
  Json::Value settings;
  settings["appSetting"]["b_mode"] = 1;
  try {
    device.InitSetting(settings);
  } catch (const boost::property_tree::ptree_error&) {
    return 0;
  }
  // A round evaluates every imported signal, each with a value and an analog report rule.
  Json::Value values;
  for (const auto& [key, signal] : device.aiSignalMap_) {
    values[key] = 1.5;
    device.aoReportSettings_[vk::unidata::templateId(signal.first)] = {true, 0.5f, true, 10.0f,
                                                                       true, 1.0f, 0,    0.0f};
  }
  device.giveRoundValues(values);
  device.zeroRecordRound();
  return 0;
}
