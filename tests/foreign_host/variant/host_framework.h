// The foreign rendering's variant: the same classes, taking a third side on the choices where
// the rendering itself cannot take the stand-in's other side at once (another integer type of
// the same width, other result types, the device pointer of the socket-device provider, another
// mutex, enumerators without a fixed type, no visibility attributes).
#pragma once

#define FOREIGN_HOST_VARIANT
#include "../host_framework.h"
