#pragma once

#include "../backend.h"
#include "plan.h"
#include "server.h"

#include <QStringList>

namespace Dispor::X11 {

// After a plan was carried out from before, under the same grab: reads in
// one round what the plan changed (the CRTCs it changed, the primary, the
// properties and gamma ramps it wrote, the mode lists of the outputs whose
// custom modes it changed) and compares. Done when the server holds it all;
// NotHeld with one line per output, escaped and joined by line breaks;
// Refused when the server could not be read.
Applied readBack(Connection &connection, const ServerState &before, const Plan &plan, QString *reason);

// The comparison alone: what the plan asked of the server in the state
// before, against held, a state that holds at least what readBack reads.
// One line per output, "NAME: the X server accepted … but keeps …", in
// output id order.
QStringList notHeld(const ServerState &before, const Plan &plan, const ServerState &held);

} // namespace Dispor::X11
