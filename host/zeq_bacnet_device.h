// The host's BACnet device: one ReadProperty request and its answer at a time, through the
// BacnetClient attached to the device (none attached: every read fails).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "bacnet.h"
#include "zeq_socket_device.h"

class BacnetClient;

class ZeqBacNetDevice : public ZeqSocketDevice {
 public:
  ZeqBacNetDevice();
  ~ZeqBacNetDevice() override;

  // Keeps the controller and takes dataId as the device's data identifier.
  int Init(std::weak_ptr<ZeqController> controller, unsigned int dataId,
           const Json::Value& settings) override;

  // Non-zero when the request was sent to the device named by endpointText.
  int Send_Read_Property_Request_Address(BACnetObjectType type, unsigned int instance,
                                         BACNET_PROPERTY_ID property, unsigned int arrayIndex);
  // Non-zero when the answer arrived; its present value is then in receivedValue.
  int Receive();

  // Stand-in seam: where this device's BACnet requests go. Attach before InitSetting.
  void AttachBacnetClient(std::shared_ptr<BacnetClient> client);

  std::mutex bacnetMutex;
  std::uint32_t receivedValue = 0;

 private:
  std::weak_ptr<ZeqController> controller_;
  std::shared_ptr<BacnetClient> client_;
};
