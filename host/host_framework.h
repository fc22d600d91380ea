// The host framework as a module includes it: one header for the device and provider classes,
// the controller, rule_value, ttime and get_ttime, the BACnet names and jsoncpp. A controller's
// SDK has its own (or an integrator writes one that includes the SDK's headers); this one gathers
// the stand-in's.
#pragma once

#include <json/json.h>

#include "bacnet.h"
#include "provider.h"
#include "rule_value.h"
#include "ttime.h"
#include "vdevice_interface.h"
#include "zeq_bacnet_device.h"
#include "zeq_controller.h"
#include "zeq_socket_device.h"
#include "zeq_vdevice.h"
