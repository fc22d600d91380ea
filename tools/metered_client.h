// A BacnetClient that passes every request on to another one and measures the device's cycles:
// a cycle starts with the first request after a round or a failure and ends with the next round.
// A failed request also ends the cycle, and is reported with the object it was for.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "bacnet_client.h"
#include "tools/record_text.h"

namespace vk::tools {

class MeteredClient : public BacnetClient {
 public:
  // Called on the device's thread when a request for the object could not be sent or got no
  // usable answer.
  using FailedRead = std::function<void(BACnetObjectType type, std::uint32_t instance)>;

  explicit MeteredClient(std::shared_ptr<BacnetClient> client, FailedRead failedRead = nullptr);

  bool SendReadProperty(const std::string& endpoint, BACnetObjectType type, std::uint32_t instance,
                        BACNET_PROPERTY_ID property, std::uint32_t arrayIndex) override;
  bool Receive(std::uint32_t& value) override;

  // The cycle that has just ended in a round, and a fresh start for the next one; empty when no
  // request was made since the last round or failure.
  std::optional<CycleStats> takeCycle();

 private:
  using Clock = std::chrono::steady_clock;

  void fail();

  const std::shared_ptr<BacnetClient> client_;
  const FailedRead failedRead_;
  // The object of the request in flight; used on the device's thread only.
  BACnetObjectType type_ = OBJECT_ANALOG_INPUT;
  std::uint32_t instance_ = 0;
  std::mutex mutex_;
  std::optional<Clock::time_point> start_;
  std::uint64_t requests_ = 0;
};

}  // namespace vk::tools
