#include "doubles/in_process_device.h"

#include "bacnet/codec.h"
#include "bacnet/enumerations.h"

namespace vk::doubles {

std::uint32_t InProcessDevice::defaultValue(BACnetObjectType type, std::uint32_t instance) {
  if (bacnet::isBinary(type)) return instance % 2;
  // A plausible reading between 15.0 and 39.75 in steps of 0.25.
  return bacnet::floatBits(15.0f + static_cast<float>(instance % 100) * 0.25f);
}

void InProcessDevice::setValue(BACnetObjectType type, std::uint32_t instance, std::uint32_t value) {
  std::lock_guard<std::mutex> lock(mutex_);
  values_[{type, instance}] = value;
}

void InProcessDevice::setFloat(BACnetObjectType type, std::uint32_t instance, float value) {
  setValue(type, instance, bacnet::floatBits(value));
}

void InProcessDevice::failSend(BACnetObjectType type, std::uint32_t instance) {
  std::lock_guard<std::mutex> lock(mutex_);
  failSend_.insert({type, instance});
}

void InProcessDevice::failReceive(BACnetObjectType type, std::uint32_t instance) {
  std::lock_guard<std::mutex> lock(mutex_);
  failReceive_.insert({type, instance});
}

void InProcessDevice::clearFailures() {
  std::lock_guard<std::mutex> lock(mutex_);
  failSend_.clear();
  failReceive_.clear();
}

void InProcessDevice::setRequestHook(RequestHook hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  hook_ = std::move(hook);
}

void InProcessDevice::setAnswerHook(RequestHook hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  answerHook_ = std::move(hook);
}

std::size_t InProcessDevice::requestCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

bool InProcessDevice::SendReadProperty(const std::string&, BACnetObjectType type,
                                       std::uint32_t instance, BACNET_PROPERTY_ID property,
                                       std::uint32_t) {
  RequestHook hook;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++requests_;
    hook = hook_;
  }
  if (hook) hook(type, instance);
  std::lock_guard<std::mutex> lock(mutex_);
  const Object object{type, instance};
  const bool sent = failSend_.count(object) == 0;
  pending_ = sent && property == PROP_PRESENT_VALUE;
  pendingObject_ = object;
  return sent;
}

bool InProcessDevice::Receive(std::uint32_t& value) {
  RequestHook hook;
  Object object;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    hook = answerHook_;
    object = pendingObject_;
  }
  if (hook) hook(object.first, object.second);
  std::lock_guard<std::mutex> lock(mutex_);
  if (!pending_ || failReceive_.count(pendingObject_) != 0) {
    pending_ = false;
    return false;
  }
  pending_ = false;
  const auto found = values_.find(pendingObject_);
  value = found != values_.end() ? found->second
                                 : defaultValue(pendingObject_.first, pendingObject_.second);
  return true;
}

}  // namespace vk::doubles
