// A host that misbehaves as the closed host may: any of its calls can take and release the calling
// device's bacnetMutex, sleep, queue rule_values into the device, or throw. Calls are still
// recorded first (RecordingServices), so tests can wait for them and check what they carried.
#pragma once

#include <chrono>
#include <cstdint>
#include <set>
#include <stdexcept>
#include <string>

#include "doubles/recording_services.h"

namespace vk::doubles {

// What the host does in each call, after recording it. Fixed for the host's lifetime.
struct AdversarialBehaviour {
  // Calls, by HostCall name, that take the calling device's bacnetMutex, sleep while holding it
  // and release it. Devices that are not BACnet devices are left alone. A call made by a thread
  // that already holds bacnetMutex (a host calling InitSetting under it) must not be listed.
  std::set<std::string> lockBacnet;
  // Each call sleeps a random time up to this; zero: no sleep.
  std::chrono::microseconds maxSleep{0};
  // rule_values each call of a round (every call but InitSetting) queues into device.ruleValues_.
  unsigned rulesPerCall = 0;
  // Calls, by name, that throw AdversarialHostError with this probability (1: always).
  std::set<std::string> throwIn;
  double throwProbability = 0;
  // Seeds the random choices; each thread draws from a generator of its own.
  std::uint32_t seed = 1;
};

// What a misbehaving host call throws: "adversarial host: <call> failed".
class AdversarialHostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class AdversarialServices : public RecordingServices {
 public:
  // Every call of the seam: a round's (everyRoundCall()) and InitSetting.
  static const std::set<std::string>& allCalls();

  explicit AdversarialServices(AdversarialBehaviour behaviour);

  const AdversarialBehaviour& behaviour() const { return behaviour_; }

 protected:
  // Misbehaves as the behaviour says, after the call has been recorded.
  void afterCall(ZeqVDevice& device, const HostCall& call) override;

 private:
  const AdversarialBehaviour behaviour_;
  // Tells this host's per-thread generators from those of other hosts.
  const std::uint32_t serial_;
};

}  // namespace vk::doubles
