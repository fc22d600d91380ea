// The host's controller: owner of the device tree. Devices keep a weak reference to it.
#pragma once

class ZeqController {
 public:
  ZeqController() = default;
  ZeqController(const ZeqController&) = delete;
  ZeqController& operator=(const ZeqController&) = delete;
  virtual ~ZeqController();
};
