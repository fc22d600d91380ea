// The heap one device owns: the bytes allocated through operator new and not yet freed between
// before the device is created and after its InitSetting, its sampling thread running. The
// program replaces the global operator new to count them; thread stacks are mapped, not
// allocated, and are not counted.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "tests/support/exposed_vornk.h"

using namespace vk::test;

namespace {

std::atomic<std::int64_t> liveBytes{0};
std::atomic<std::int64_t> allocationCount{0};

// Each block carries its size in a header, so that freeing it can be counted.
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* allocate(std::size_t size) {
  auto* block = static_cast<unsigned char*>(std::malloc(kHeader + size));
  if (block == nullptr) throw std::bad_alloc();
  *reinterpret_cast<std::size_t*>(block) = size;
  liveBytes += static_cast<std::int64_t>(size);
  ++allocationCount;
  return block + kHeader;
}

void release(void* memory) noexcept {
  if (memory == nullptr) return;
  unsigned char* block = static_cast<unsigned char*>(memory) - kHeader;
  liveBytes -= static_cast<std::int64_t>(*reinterpret_cast<std::size_t*>(block));
  std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* memory) noexcept { release(memory); }
void operator delete[](void* memory) noexcept { release(memory); }
void operator delete(void* memory, std::size_t) noexcept { release(memory); }
void operator delete[](void* memory, std::size_t) noexcept { release(memory); }

namespace {

// ExposedVornk's own members, which a device the host creates does not have.
constexpr std::int64_t kExposedBytes = sizeof(ExposedVornk) - sizeof(vornk);

// Creates a device, delivers settings and reports the heap it then owns; the device is deleted
// (its thread joined) outside the timing.
void measureDevice(benchmark::State& state, const Json::Value& settings) {
  std::int64_t bytes = 0;
  std::int64_t allocations = 0;
  for (auto _ : state) {
    const std::int64_t bytesBefore = liveBytes;
    const std::int64_t countBefore = allocationCount;
    auto device = std::make_unique<ExposedVornk>();
    device->InitSetting(settings);
    bytes = liveBytes - bytesBefore - kExposedBytes;
    allocations = allocationCount - countBefore;
    state.PauseTiming();
    device.reset();
    state.ResumeTiming();
  }
  state.counters["heap_bytes"] = static_cast<double>(bytes);
  state.counters["allocations"] = static_cast<double>(allocations);
  state.counters["object_bytes"] = static_cast<double>(sizeof(vornk));
}

// No settings: mode 1 on a new device, without a configuration file, so every table is empty.
void BM_DeviceHeapEmptyTables(benchmark::State& state) {
  measureDevice(state, Json::Value(Json::objectValue));
}
BENCHMARK(BM_DeviceHeapEmptyTables)->Iterations(20)->Unit(benchmark::kMicrosecond);

// Mode 5 with n threshold records of four bands each: what the tables add.
void BM_DeviceHeapMode5(benchmark::State& state) {
  Json::Value settings(Json::objectValue);
  settings["appSetting"]["b_mode"] = 5;
  for (std::int64_t i = 0; i < state.range(0); ++i) {
    Json::Value& record = settings["thresholdSetting"]["record" + std::to_string(i)];
    record["ID"] = "S" + std::to_string(i);
    record["SignalName"] = "signal" + std::to_string(i);
    for (const char* band : {"Up", "Up2", "Low", "Low2"}) {
      const std::string prefix = band;
      record[prefix + "Value"] = 30;
      record[prefix + "ReconverValue"] = 28;
      record[prefix + "AlarmLevel"] = 2;
    }
  }
  measureDevice(state, settings);
  state.counters["bytes_per_record"] = state.counters["heap_bytes"] / state.range(0);
}
BENCHMARK(BM_DeviceHeapMode5)
    ->RangeMultiplier(10)
    ->Range(10, 10000)
    ->Iterations(5)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
