// jsoncpp as the host process provides it. Include this instead of <json/json.h>: jsoncpp's own
// headers leave their classes without a visibility attribute, which would make a module compiled
// with -fvisibility=hidden reference them as hidden symbols that no library can satisfy.
#pragma once

#pragma GCC visibility push(default)
#include <json/json.h>
#pragma GCC visibility pop
