// The module's cost: a sampling cycle against the in-process device beside the floor of writing the
// cycle's lines alone, rounds in each mode, the threshold evaluations and the settings imports at
// growing sizes. The module's lines go to the null device.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "device/point_table.h"
#include "doubles/in_process_device.h"
#include "tests/support/exposed_vornk.h"
#include "tests/support/temp_work_dir.h"

using namespace vk::test;
using namespace vk::doubles;

namespace {

// A device reading the in-process device, with no host attached: publications and checks go
// nowhere, so only the module's own work is timed.
struct CycleRig {
  CycleRig() : bacnet(std::make_shared<InProcessDevice>()) {
    device.AttachBacnetClient(bacnet);
    device.endpointText = "simulated";
  }
  ExposedVornk device;
  std::shared_ptr<InProcessDevice> bacnet;
};

// The lines one cycle writes, captured by running a cycle with standard output in a file.
std::vector<std::string> cycleLines() {
  CycleRig rig;
  std::fflush(stdout);
  const int saved = ::dup(STDOUT_FILENO);
  std::FILE* capture = std::tmpfile();
  if (saved < 0 || capture == nullptr || ::dup2(::fileno(capture), STDOUT_FILENO) < 0) {
    throw std::runtime_error("cannot capture standard output");
  }
  rig.device.do_sample();
  std::cout.flush();
  std::fflush(stdout);
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);

  std::rewind(capture);
  std::vector<std::string> lines;
  std::string line;
  for (int c; (c = std::fgetc(capture)) != EOF;) {
    line += static_cast<char>(c);
    if (c == '\n') lines.push_back(std::move(line)), line.clear();
  }
  std::fclose(capture);
  return lines;
}

// The floor: the cycle's lines written to standard output and flushed one by one.
void writeLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    std::cout.write(line.data(), static_cast<std::streamsize>(line.size()));
    std::cout.flush();
  }
}

void BM_Cycle(benchmark::State& state) {
  CycleRig rig;
  for (auto _ : state) rig.device.do_sample();
}
BENCHMARK(BM_Cycle)->Unit(benchmark::kMicrosecond);

void BM_CycleLinesFloor(benchmark::State& state) {
  const std::vector<std::string> lines = cycleLines();
  for (auto _ : state) writeLines(lines);
  state.counters["lines"] = static_cast<double>(lines.size());
}
BENCHMARK(BM_CycleLinesFloor)->Unit(benchmark::kMicrosecond);

// The in-process device's part of a cycle: its request and answer for every point, alone.
void exchangeAll(InProcessDevice& bacnet) {
  for (const vk::device::Point& point : vk::device::kPoints) {
    std::uint32_t value = 0;
    bacnet.SendReadProperty("simulated", point.type, point.instance, PROP_PRESENT_VALUE,
                            BACNET_ARRAY_ALL);
    bacnet.Receive(value);
    benchmark::DoNotOptimize(value);
  }
}

void BM_InProcessDeviceExchanges(benchmark::State& state) {
  InProcessDevice bacnet;
  for (auto _ : state) exchangeAll(bacnet);
}
BENCHMARK(BM_InProcessDeviceExchanges)->Unit(benchmark::kMicrosecond);

// The calling thread's CPU time (user and system), which other processes' load on the shared
// machine does not inflate as it does the wall clock.
double threadCpuMicros() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

// A cycle, the floor and the in-process device's exchanges in turn, each timed in the thread's CPU
// time, so that all see the same state of the machine. ratio: cycle over floor; module_ratio: the
// cycle without the in-process device's share over the floor.
void BM_CycleOverFloor(benchmark::State& state) {
  CycleRig rig;
  InProcessDevice alone;
  const std::vector<std::string> lines = cycleLines();
  double cycle = 0, floor = 0, device = 0;
  for (auto _ : state) {
    const double start = threadCpuMicros();
    rig.device.do_sample();
    const double afterCycle = threadCpuMicros();
    writeLines(lines);
    const double afterFloor = threadCpuMicros();
    exchangeAll(alone);
    device += threadCpuMicros() - afterFloor;
    floor += afterFloor - afterCycle;
    cycle += afterCycle - start;
  }
  const double iterations = static_cast<double>(state.iterations());
  state.counters["cycle_us"] = cycle / iterations;
  state.counters["floor_us"] = floor / iterations;
  state.counters["device_us"] = device / iterations;
  state.counters["ratio"] = cycle / floor;
  state.counters["module_ratio"] = (cycle - device) / floor;
}
BENCHMARK(BM_CycleOverFloor)->Unit(benchmark::kMicrosecond);

void BM_RoundDone(benchmark::State& state) {
  ExposedVornk device;
  device.b_mode_ = static_cast<int>(state.range(0));
  for (auto _ : state) device.RoundDone();
}
BENCHMARK(BM_RoundDone)->ArgName("mode")->Arg(0)->Arg(1)->Arg(5)->Unit(benchmark::kMicrosecond);

std::string signalName(std::int64_t i) { return "signal" + std::to_string(i); }

// A signal ID whose positions 3 and 8 the template ID replaces, unique by its tail.
std::string signalId(std::int64_t i) { return "0010000100" + std::to_string(100000 + i); }

// Mode 5: every signal has all four bands; half of the values are in alarm.
void BM_Mode5Evaluation(benchmark::State& state) {
  ExposedVornk device;
  device.b_mode_ = 5;
  for (std::int64_t i = 0; i < state.range(0); ++i) {
    const std::string name = signalName(i);
    device.upThresholdMap_[name] = {"up", 30.0f, 28.0f, false, 2};
    device.up2ThresholdMap_[name] = {"up2", 40.0f, 38.0f, false, 1};
    device.lowThresholdMap_[name] = {"low", 10.0f, 12.0f, false, 2};
    device.low2ThresholdMap_[name] = {"low2", 5.0f, 7.0f, false, 1};
    device.valueMap_[name] = i % 2 == 0 ? 20.5 : 31.25;
  }
  for (auto _ : state) device.evaluateThresholds();
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_Mode5Evaluation)
    ->RangeMultiplier(10)
    ->Range(10, 10000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity();

// Mode 1: every signal has a value and, through its template ID, an analog report rule with an
// absolute band that the values stay inside after their first report.
void BM_Mode1EvaluationWithAnalogReports(benchmark::State& state) {
  ExposedVornk device;
  device.b_mode_ = 1;
  for (std::int64_t i = 0; i < state.range(0); ++i) {
    const std::string id = signalId(i);
    device.aiSignalMap_[signalName(i)] = {id, "name"};
    device.aoReportSettings_[vk::unidata::templateId(id)] = {true,  1.0f, false, 0.0f,
                                                             false, 0.0f, 0,     0.0f};
    device.valueMap_[signalName(i)] = 20.5 + static_cast<double>(i % 7);
  }
  device.evaluateThresholds();  // the first round copies the template rules
  for (auto _ : state) device.evaluateThresholds();
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_Mode1EvaluationWithAnalogReports)
    ->RangeMultiplier(10)
    ->Range(10, 10000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity();

// One analog report check of a signal with its own rule, among n rules: the value alternates
// across the rule's absolute band, so every check reports.
void BM_AnalogReportCheck(benchmark::State& state) {
  ExposedVornk device;
  for (std::int64_t i = 0; i < state.range(0); ++i) {
    device.aoReportSettings_[signalId(i)] = {true, 1.0f, false, 0.0f, false, 0.0f, 0, 0.0f};
  }
  const std::string id = signalId(state.range(0) / 2);
  const std::string templateId = vk::unidata::templateId(id);
  float value = 20.0f;
  for (auto _ : state) {
    value = value == 20.0f ? 22.0f : 20.0f;
    benchmark::DoNotOptimize(device.CheckAOReport(templateId, id, value));
  }
}
BENCHMARK(BM_AnalogReportCheck)->RangeMultiplier(100)->Range(1, 10000);

// A configuration file with aiEntries [AI] entries, as ini/vornk.ini in a folder of its own that
// is the working directory while the object lives.
class IniFolder {
 public:
  explicit IniFolder(std::int64_t aiEntries) {
    std::ostringstream ini;
    ini << "[AI]\n";
    for (std::int64_t i = 0; i < aiEntries; ++i) {
      ini << "ai" << i << " = " << signalId(i) << ",supply temperature " << i << "\n";
    }
    ini << "[ALARM]\nfire = 0010000100900001,fire alarm\n";
    folder_.write("ini/vornk.ini", ini.str());
  }

 private:
  TempWorkDir folder_;
};

Json::Value modeSettings(int mode) {
  Json::Value settings(Json::objectValue);
  settings["appSetting"]["b_mode"] = mode;
  return settings;
}

void BM_Mode1Import(benchmark::State& state) {
  const IniFolder folder(state.range(0));
  const Json::Value settings = modeSettings(1);
  ExposedVornk device;
  for (auto _ : state) device.genericInitSetting(settings);
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_Mode1Import)
    ->RangeMultiplier(10)
    ->Range(10, 10000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity();

void BM_Mode5Import(benchmark::State& state) {
  Json::Value settings = modeSettings(5);
  Json::Value& records = settings["thresholdSetting"];
  for (std::int64_t i = 0; i < state.range(0); ++i) {
    Json::Value& record = records["record" + std::to_string(i)];
    record["ID"] = "S" + std::to_string(i);
    record["SignalName"] = signalName(i);
    for (const char* band : {"Up", "Up2", "Low", "Low2"}) {
      const std::string prefix = band;
      record[prefix + "Value"] = 30;
      record[prefix + "ReconverValue"] = "28.5";
      record[prefix + "AlarmLevel"] = 2;
    }
  }
  ExposedVornk device;
  for (auto _ : state) device.genericInitSetting(settings);
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_Mode5Import)
    ->RangeMultiplier(10)
    ->Range(10, 10000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity();

}  // namespace
