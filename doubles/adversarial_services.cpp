#include "doubles/adversarial_services.h"

#include <atomic>
#include <mutex>
#include <random>
#include <thread>
#include <utility>

#include "doubles/round_calls.h"
#include "zeq_bacnet_device.h"

namespace vk::doubles {

namespace {

std::atomic<std::uint32_t> nextSerial{1};
std::atomic<std::uint32_t> nextThreadIndex{1};

// The calling thread's generator for the host with that serial; reseeded when the thread moves
// to another host. Per thread, so that drawing takes no lock: a lock shared by all calls would
// order the threads and could hide their races from ThreadSanitizer.
std::minstd_rand& threadGenerator(std::uint32_t serial, std::uint32_t seed) {
  thread_local const std::uint32_t threadIndex =
      nextThreadIndex.fetch_add(1, std::memory_order_relaxed);
  thread_local std::uint32_t owner = 0;
  thread_local std::minstd_rand generator;
  if (owner != serial) {
    std::seed_seq seeds{seed, serial, threadIndex};
    generator.seed(seeds);
    owner = serial;
  }
  return generator;
}

}  // namespace

const std::set<std::string>& AdversarialServices::allCalls() {
  static const std::set<std::string> calls = [] {
    std::set<std::string> all = everyRoundCall();
    all.insert("InitSetting");
    return all;
  }();
  return calls;
}

AdversarialServices::AdversarialServices(AdversarialBehaviour behaviour)
    : behaviour_(std::move(behaviour)),
      serial_(nextSerial.fetch_add(1, std::memory_order_relaxed)) {}

void AdversarialServices::afterCall(ZeqVDevice& device, const HostCall& recorded) {
  const std::string& call = recorded.name;
  std::minstd_rand& random = threadGenerator(serial_, behaviour_.seed);
  {
    auto* bacnet =
        behaviour_.lockBacnet.count(call) != 0 ? dynamic_cast<ZeqBacNetDevice*>(&device) : nullptr;
    std::unique_lock<std::mutex> lock;
    if (bacnet != nullptr) lock = std::unique_lock<std::mutex>(bacnet->bacnetMutex);
    if (behaviour_.maxSleep.count() > 0) {
      std::uniform_int_distribution<long long> sleep(0, behaviour_.maxSleep.count());
      std::this_thread::sleep_for(std::chrono::microseconds(sleep(random)));
    }
  }
  // InitSetting is no part of a round; only a round owns the device's rule_values.
  if (call != "InitSetting") {
    for (unsigned i = 0; i < behaviour_.rulesPerCall; ++i) {
      device.ruleValues_.push_back({"adversarial", call, std::to_string(i), "queued by the host"});
    }
  }
  if (behaviour_.throwIn.count(call) != 0 &&
      std::bernoulli_distribution(behaviour_.throwProbability)(random)) {
    throw AdversarialHostError("adversarial host: " + call + " failed");
  }
}

}  // namespace vk::doubles
