#pragma once

#include "client.h"

#include "dispor/config.h"

// The desktop on a wlroots compositor, from what it tells: the active output
// as the focused window's.
namespace Dispor::Wayland {

// The focused window's output; else, with no focused window or none on an
// output, the only enabled output of config; else empty, and why.
QString activeOutput(const Focus &focus, const Config &config, QString *why);

} // namespace Dispor::Wayland
