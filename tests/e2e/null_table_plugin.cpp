// A backend plugin of this build whose table holds null pointers: the
// library must refuse it, not call through it.

#include "backend.h"

#include "dispor/version.h"

extern "C" __attribute__((visibility("default")))
const Dispor::BackendPlugin dispor_backend_plugin{DISPOR_VERSION_STRING, nullptr, nullptr};
