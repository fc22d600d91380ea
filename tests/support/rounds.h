// What the GoogleTest suites do with exposed devices: capture what they print, complete rounds and
// deliver settings. Needs GoogleTest (it reports through EXPECT_*), unlike exposed_vornk.h.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "doubles/round_calls.h"
#include "tests/support/exposed_vornk.h"

namespace vk::test {

std::vector<std::string> splitLines(const std::string& text);

// Runs f with standard output captured and returns what it printed, as lines.
template <typename F>
std::vector<std::string> capturedLines(F&& f) {
  testing::internal::CaptureStdout();
  f();
  return splitLines(testing::internal::GetCapturedStdout());
}

// Completes one round through the cache path with a zero record, its output captured.
void cachedRound(Rig& rig);

// Completes one round through the cache path, with values as what GenJsonData gives, and returns
// the host calls the round's evaluation made: those between Reset and DoBatchCheckThreshold.
std::vector<doubles::HostCall> evaluatedRound(Rig& rig, const Json::Value& values);

// Each host call as one line: its name, then its arguments, each after a space.
std::vector<std::string> callLines(const std::vector<doubles::HostCall>& calls);

// The alarm messages as the host gets them, spelled out byte for byte: "当前值" + value, then
// "高于阈值:" (up) or "低于阈值:" (low) + threshold.
std::string up(const std::string& value, const std::string& threshold);
std::string low(const std::string& value, const std::string& threshold);

// A JSON text as a value; the test fails on a syntax error.
Json::Value parseJson(const std::string& text);

// A model configuration file with two signals, for tests that import in mode 1.
inline constexpr char kTwoSignalIni[] = "[AI]\nt1=A0100001,one\nt2=A0200002,two\n[ALARM]\na1=B01\n";

// Settings in modes 1, 3 and 5, in that order; the mode-5 record gives t1 an upper and a lowest
// band. Mode 1 reads ini/vornk.ini (kTwoSignalIni) from the working folder.
std::array<Json::Value, 3> settingsInModes135();

// A model configuration file with one signal, t1, whose template ID is A0160001.
inline constexpr char kOneSignalIni[] = "[AI]\nt1=A0100001,one\n[ALARM]\na1=B01\n";

// Makes every round of device evaluate with one host call per check, once it has the settings of
// evaluatingSettings: in mode 1 the signal t1 (from kOneSignalIni in the working folder) with a
// due analog report rule, in mode 5 t1's upper band. t1 moves across the band every round.
void evaluateEveryRound(ExposedVornk& device);

// Settings in mode 1 or 5 for a device set up by evaluateEveryRound; its rounds then make the
// host calls of doubles::roundCallOrder(mode).
Json::Value evaluatingSettings(int mode);

}  // namespace vk::test
