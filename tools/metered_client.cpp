#include "tools/metered_client.h"

#include <utility>

namespace vornk_tools {

MeteredClient::MeteredClient(std::shared_ptr<BacnetClient> client) : client_(std::move(client)) {}

bool MeteredClient::SendReadProperty(const std::string& endpoint, BACnetObjectType type,
                                     std::uint32_t instance, BACNET_PROPERTY_ID property,
                                     std::uint32_t arrayIndex) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!start_) {
      start_ = Clock::now();
      requests_ = 0;
    }
    ++requests_;
  }
  const bool sent = client_->SendReadProperty(endpoint, type, instance, property, arrayIndex);
  if (!sent) endCycle();
  return sent;
}

bool MeteredClient::Receive(std::uint32_t& value) {
  const bool received = client_->Receive(value);
  if (!received) endCycle();
  return received;
}

std::optional<CycleStats> MeteredClient::takeCycle() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!start_) return std::nullopt;
  const CycleStats stats{
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - *start_), requests_};
  start_.reset();
  return stats;
}

void MeteredClient::endCycle() {
  std::lock_guard<std::mutex> lock(mutex_);
  start_.reset();
}

}  // namespace vornk_tools
