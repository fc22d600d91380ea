// The bytes become ini/vornk.ini in a private working folder, then InitSetting runs in mode 1 on
// a new device. Errors of the INI reader and a missing section are expected exceptions.
#include <boost/property_tree/ptree.hpp>
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_device.h"
#include "unidata/signal_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const PrivateWorkDir workDir;
  writeFile("ini/vornk.ini", data, size);
  FuzzVornk device;
  Json::Value settings;
  settings["appSetting"]["b_mode"] = 1;
  try {
    device.InitSetting(settings);
  } catch (const boost::property_tree::ptree_error&) {
    return 0;
  }
  // A round evaluates every imported signal, each with a value and an analog report rule.
  for (const auto& [key, signal] : device.aiSignalMap_) {
    device.values[key] = 1.5;
    device.aoReportSettings_[unidata::templateId(signal.first)] = {true, 0.5f, true, 10.0f,
                                                                   true, 1.0f, 0,    0.0f};
  }
  device.round();
  return 0;
}
