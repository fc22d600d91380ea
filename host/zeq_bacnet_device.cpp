#include "zeq_bacnet_device.h"

#include <utility>

#include "bacnet_client.h"

ZeqBacNetDevice::ZeqBacNetDevice() = default;

ZeqBacNetDevice::~ZeqBacNetDevice() = default;

int ZeqBacNetDevice::Init(std::weak_ptr<ZeqController> controller, unsigned int dataId,
                          const Json::Value&) {
  controller_ = std::move(controller);
  dataId_ = dataId;
  return 1;
}

void ZeqBacNetDevice::AttachBacnetClient(std::shared_ptr<BacnetClient> client) {
  client_ = std::move(client);
}

int ZeqBacNetDevice::Send_Read_Property_Request_Address(BACnetObjectType type,
                                                        unsigned int instance,
                                                        BACNET_PROPERTY_ID property,
                                                        unsigned int arrayIndex) {
  return client_ && client_->SendReadProperty(endpointText, type, instance, property, arrayIndex);
}

int ZeqBacNetDevice::Receive() { return client_ && client_->Receive(receivedValue); }
