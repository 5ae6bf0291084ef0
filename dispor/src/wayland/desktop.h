#pragma once

#include "../wayland_labels.h"
#include "client.h"

#include "dispor/config.h"

// The desktop on a wlroots compositor, from what it tells: the active output
// as the focused window's, and the labels for identify.
namespace Dispor::Wayland {

// The focused window's output; else, with no focused window or none on an
// output, the only enabled output of config; else empty, and why.
QString activeOutput(const Focus &focus, const Config &config, QString *why);

// A label for each enabled output, in name order: its name, mode and
// position, as the X11 backend shows them (the rate only where the mode
// has one).
QList<WaylandLabels::Label> labels(const Config &config);

} // namespace Dispor::Wayland
