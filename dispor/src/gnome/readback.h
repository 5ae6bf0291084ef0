#pragma once

#include "model.h"

#include <QStringList>

namespace Dispor::Gnome {

// Where mutter took what was sent but holds something else, as
// GetCurrentState and its properties report it afterwards: one line per
// output, "NAME: mutter accepted … but keeps …", in connector order. A
// monitor mutter no longer reports is not counted (it went away). The scales
// sent are the ones mutter lists, so they must come back as sent, give or
// take the rounding of a double on the bus.
QStringList notHeld(const Plan &sent, const State &held);

// What mutter holds, one line for a message: "Meta-0 in 1920x1080@60.000
// at 0,0, scale 1, rotation normal, primary; Meta-1 mirroring Meta-0;
// Meta-2 off", in mutter's order.
QString holding(const State &held);

} // namespace Dispor::Gnome
