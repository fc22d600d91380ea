#include "provider.h"

Provider::~Provider() = default;

ZeqSocketDeviceProvider::~ZeqSocketDeviceProvider() = default;
