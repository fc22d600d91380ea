// Visibility of the host framework's interface.
//
// The host library and its dependencies are resolved from the host process when a module is
// loaded, so their declarations keep default visibility even inside a module compiled with
// -fvisibility=hidden.
#pragma once

#define HOST_API __attribute__((visibility("default")))
