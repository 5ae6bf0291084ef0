#pragma once

// The profile of what is connected now: what `save` writes.

#include "schema.h"

#include <dispor/config.h>

namespace profile {

// Each connected output by its identity among them, enabled or not, with
// its settings; VRR and HDR only where the output has the capability.
Profile capture(const Dispor::Config &config);

} // namespace profile
