// Seam of the stand-in host: the BACnet client behind ZeqBacNetDevice's ReadProperty request
// and its answer. One request is outstanding at a time per device (the device's bacnetMutex).
#pragma once

#include <cstdint>
#include <string>

#include "bacnet.h"

class BacnetClient {
 public:
  BacnetClient() = default;
  BacnetClient(const BacnetClient&) = delete;
  BacnetClient& operator=(const BacnetClient&) = delete;
  virtual ~BacnetClient();

  // Sends a ReadProperty request to the device named by endpoint; false when it was not sent.
  virtual bool SendReadProperty(const std::string& endpoint, BACnetObjectType type,
                                std::uint32_t instance, BACNET_PROPERTY_ID property,
                                std::uint32_t arrayIndex) = 0;
  // Waits for the answer to the last request. On success stores the present value (enumerated
  // or unsigned values as integers, REAL values as their single-precision bits) in value.
  virtual bool Receive(std::uint32_t& value) = 0;
};
