// Test support: a vornk device whose state tests can read, and helpers shared by the suites.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "device/point_table.h"
#include "device/vornk.h"
#include "doubles/recording_services.h"
#include "doubles/simulated_device.h"

using Bytes = std::vector<unsigned char>;

// A vornk device with a chosen pause, readable state and seams attached.
class ProbeVornk : public vornk {
 public:
  explicit ProbeVornk(std::chrono::milliseconds pause = std::chrono::hours(1)) : vornk(pause) {}
  ~ProbeVornk() override { stopSampling(); }

  using vornk::aiSignalMap_;
  using vornk::alarmSignalIdMap_;
  using vornk::b_mode_;
  using vornk::low2ThresholdMap_;
  using vornk::lowThresholdMap_;
  using vornk::mobileIdMap_;
  using vornk::mobileNameMap_;
  using vornk::pause;
  using vornk::recordLock_;
  using vornk::requestStop;
  using vornk::roundLock_;
  using vornk::stopSampling;
  using vornk::thresholdLock_;
  using vornk::up2ThresholdMap_;
  using vornk::upThresholdMap_;
  using vornk::valueMap_;

  // The generic settings operation alone, without starting the sampling thread.
  int genericInitSetting(const Json::Value& settings) { return Base::InitSetting(settings); }

  Bytes record() {
    std::lock_guard<std::mutex> lock(recordLock_);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record_);
    return Bytes(bytes, bytes + sizeof record_);
  }

  // Set by a test, before sampling starts, to act in the round's RunCheckThreshold step.
  std::function<void(ProbeVornk&)> inRunCheckThreshold;
  void RunCheckThreshold() override {
    if (inRunCheckThreshold) inRunCheckThreshold(*this);
  }

  // Set by a test, before sampling starts, to fill the round's values as a concrete driver's
  // GenJsonData does.
  std::function<void(Json::Value& values)> inGenJsonData;
  void GenJsonData() override {
    if (inGenJsonData) inGenJsonData(valueMap_);
  }
};

// A device wired to a recording host and a simulated BACnet device.
struct Rig {
  explicit Rig(std::chrono::milliseconds pause = std::chrono::hours(1),
               const std::string& endpoint = "sim")
      : device(std::make_unique<ProbeVornk>(pause)),
        host(std::make_shared<RecordingServices>()),
        bacnet(std::make_shared<SimulatedBacnetDevice>()) {
    device->AttachHostServices(host);
    device->AttachBacnetClient(bacnet);
    device->endpointText = endpoint;
  }

  std::unique_ptr<ProbeVornk> device;
  std::shared_ptr<RecordingServices> host;
  std::shared_ptr<SimulatedBacnetDevice> bacnet;
};

inline std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Runs f with standard output captured and returns what it printed, as lines.
template <typename F>
std::vector<std::string> capturedLines(F&& f) {
  testing::internal::CaptureStdout();
  f();
  return splitLines(testing::internal::GetCapturedStdout());
}

// Completes one round through the cache path with a zero record, its output captured.
inline void cachedRound(Rig& rig) {
  const Bytes record(859, 0);
  capturedLines([&] { EXPECT_TRUE(rig.device->LoadFromCache(record.data(), 859)); });
}

// Completes one round through the cache path, with values as what GenJsonData gives, and returns
// the host calls the round's evaluation made: those between Reset and DoBatchCheckThreshold.
inline std::vector<HostCall> evaluatedRound(Rig& rig, const Json::Value& values) {
  rig.device->inGenJsonData = [values](Json::Value& map) { map = values; };
  rig.host->clear();
  cachedRound(rig);
  std::vector<HostCall> calls = rig.host->calls();
  const auto isName = [](const char* name) {
    return [name](const HostCall& call) { return call.name == name; };
  };
  const auto from = std::find_if(calls.begin(), calls.end(), isName("Reset"));
  const auto to = std::find_if(calls.begin(), calls.end(), isName("DoBatchCheckThreshold"));
  EXPECT_TRUE(from != calls.end() && to != calls.end());
  return std::vector<HostCall>(from + 1, to);
}

// A JSON text as a value; the test fails on a syntax error.
inline Json::Value parseJson(const std::string& text) {
  Json::Value value;
  std::string errors;
  std::istringstream in(text);
  EXPECT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), in, &value, &errors)) << errors;
  return value;
}

// A model configuration file with two signals, for tests that import in mode 1.
inline constexpr char kTwoSignalIni[] = "[AI]\nt1=A0100001,one\nt2=A0200002,two\n[ALARM]\na1=B01\n";

// Settings in modes 1, 3 and 5, in that order; the mode-5 record gives t1 an upper and a lowest
// band. Mode 1 reads ini/vornk.ini (kTwoSignalIni) from the working folder.
inline std::array<Json::Value, 3> settingsInModes135() {
  return {
      parseJson(R"({"appSetting": {"b_mode": 1}})"),
      parseJson(R"({"appSetting": {"b_mode": "3"}, "thresholdSetting": {"t1": {"ID": "S1"}}})"),
      parseJson(R"({"appSetting": {"b_mode": 5}, "thresholdSetting": {
          "a": {"ID": "S1", "SignalName": "t1", "UpValue": 30, "UpReconverValue": 28,
                "UpAlarmLevel": 2, "Low2Value": 1, "Low2ReconverValue": 2, "Low2AlarmLevel": 1}}})"),
  };
}

// A model configuration file with one signal, t1, whose template ID is A0160001.
inline constexpr char kOneSignalIni[] = "[AI]\nt1=A0100001,one\n[ALARM]\na1=B01\n";

// Makes every round of device evaluate with one host call per check, once it has the settings of
// evaluatingSettings: in mode 1 the signal t1 (from kOneSignalIni in the working folder) with a
// due analog report rule, in mode 5 t1's upper band. t1 moves across the band every round.
inline void evaluateEveryRound(ProbeVornk& device) {
  device.inGenJsonData = [](Json::Value& values) {
    values["t1"] = values.get("t1", 0).asInt() == 31 ? 27 : 31;
  };
  device.aoReportSettings_ = {{"A0160001", {true, 0, false, 0, false, 0, 0, 0}}};
}

// Settings in mode 1 or 5 for a device set up by evaluateEveryRound.
inline Json::Value evaluatingSettings(int mode) {
  if (mode == 1) return parseJson(R"({"appSetting": {"b_mode": 1}})");
  return parseJson(R"({"appSetting": {"b_mode": 5}, "thresholdSetting": {"a": {"ID": "S1",
      "SignalName": "t1", "UpValue": 30, "UpReconverValue": 28, "UpAlarmLevel": 2}}})");
}

// The host calls of a whole round of a device set up by evaluateEveryRound, in order.
inline const std::vector<std::string>& evaluatingRoundCalls(int mode) {
  using Names = std::vector<std::string>;
  static const Names mode1 = {
      "SendSP",           "Reset", "CheckThreshold", "CheckAOReport", "DoBatchCheckThreshold",
      "SaveDeviceHistory"};
  static const Names mode5 = {"SendSP", "Reset", "CheckThresholdBool", "DoBatchCheckThreshold",
                              "SaveDeviceHistory"};
  return mode == 1 ? mode1 : mode5;
}

inline Bytes floatBytes(float value) {
  Bytes bytes(4);
  std::memcpy(bytes.data(), &value, 4);
  return bytes;
}

// The bytes a point's slot holds after the simulated device answered it with its default.
inline Bytes defaultSlot(const vornk_points::Point& point) {
  const std::uint32_t value = SimulatedBacnetDevice::defaultValue(point.type, point.instance);
  Bytes bytes(point.size);
  std::memcpy(bytes.data(), &value, point.size);
  return bytes;
}

inline Bytes slice(const Bytes& bytes, std::size_t from, std::size_t length) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
               bytes.begin() + static_cast<std::ptrdiff_t>(from + length));
}
