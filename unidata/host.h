// The host framework, as the module includes it: through its one header, host_framework.h, from
// whichever host the module is built against (the stand-in in host/, or a controller's SDK). The
// module relies only on the names, signatures, slot order and fields of the host contract; where
// the contract leaves a type to the host (a result type, the mutex), it takes the host's own
// declaration, and it names BACnet enumerations by their values, not by their spelling.
//
// The module is compiled with hidden visibility, and a vendor's headers carry no visibility
// attributes: what they declare, jsoncpp included, is made default-visible here, so that the
// module refers to the host's classes and functions as symbols the host process provides.
#pragma once

#pragma GCC visibility push(default)
#include "host_framework.h"
#pragma GCC visibility pop
