// An in-process BACnet device: answers every ReadProperty request from a table of present
// values, deterministic by default. Tests choose values, make the send or the answer of a chosen
// object fail, count requests and run a hook on each request and on each answer. Serving a
// request allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "bacnet_client.h"

namespace vk::doubles {

class InProcessDevice : public BacnetClient {
 public:
  // Runs on the requesting thread before the request is answered, outside the device's lock.
  using RequestHook = std::function<void(BACnetObjectType type, std::uint32_t instance)>;

  // The value an object has unless set: binary objects 0 or 1 by the parity of the instance,
  // analog objects the bits of a float derived from the instance.
  static std::uint32_t defaultValue(BACnetObjectType type, std::uint32_t instance);

  void setValue(BACnetObjectType type, std::uint32_t instance, std::uint32_t value);
  void setFloat(BACnetObjectType type, std::uint32_t instance, float value);
  void failSend(BACnetObjectType type, std::uint32_t instance);
  void failReceive(BACnetObjectType type, std::uint32_t instance);
  void clearFailures();
  void setRequestHook(RequestHook hook);
  // The same, run on the receiving thread before the answer is handed over.
  void setAnswerHook(RequestHook hook);
  std::size_t requestCount() const;

  bool SendReadProperty(const std::string& endpoint, BACnetObjectType type, std::uint32_t instance,
                        BACNET_PROPERTY_ID property, std::uint32_t arrayIndex) override;
  bool Receive(std::uint32_t& value) override;

 private:
  using Object = std::pair<BACnetObjectType, std::uint32_t>;

  mutable std::mutex mutex_;
  std::map<Object, std::uint32_t> values_;
  std::set<Object> failSend_;
  std::set<Object> failReceive_;
  RequestHook hook_;
  RequestHook answerHook_;
  std::size_t requests_ = 0;
  bool pending_ = false;
  Object pendingObject_{};
};

}  // namespace vk::doubles
