#include "tools/metered_client.h"

#include <utility>

namespace vk::tools {

MeteredClient::MeteredClient(std::shared_ptr<BacnetClient> client, FailedRead failedRead)
    : client_(std::move(client)), failedRead_(std::move(failedRead)) {}

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
  type_ = type;
  instance_ = instance;
  const bool sent = client_->SendReadProperty(endpoint, type, instance, property, arrayIndex);
  if (!sent) fail();
  return sent;
}

bool MeteredClient::Receive(std::uint32_t& value) {
  const bool received = client_->Receive(value);
  if (!received) fail();
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

void MeteredClient::fail() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    start_.reset();
  }
  if (failedRead_) failedRead_(type_, instance_);
}

}  // namespace vk::tools
