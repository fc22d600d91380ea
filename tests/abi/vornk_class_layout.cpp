// Compiled only for g++'s class-layout dump of vornk, which check_vtable_order.sh reads.
#include "device/vornk.h"
