#include "provider.h"

#include "zeq_controller.h"

Provider::~Provider() = default;

ZeqSocketDeviceProvider::~ZeqSocketDeviceProvider() = default;

ZeqController::~ZeqController() = default;
