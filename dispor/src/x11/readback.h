#pragma once

#include "../backend.h"
#include "plan.h"
#include "server.h"

#include <QStringList>

#include <optional>

namespace Dispor::X11 {

// How long a read-back may wait for the server's answer.
constexpr int readBackSeconds = 3;

// After a plan was carried out from before, under the same grab: reads in
// one round what the plan changed (the CRTCs it changed, the primary, the
// properties and gamma ramps it wrote, the mode lists of the outputs whose
// custom modes it changed) and compares. Done when the server holds it all;
// NotHeld with one line per output, escaped and joined by line breaks;
// Refused when the server could not be read, or did not answer within
// readBackSeconds (the change may then be in effect).
Applied readBack(Connection &connection, const ServerState &before, const Plan &plan, QString *reason);

// After what a plan changed was sent back: what the server holds, within
// readBackSeconds, of what the plan touched where that is not as before
// (changedSince); empty when all is as before, null when it did not answer.
std::optional<QString> heldInstead(Connection &connection, const ServerState &before, const Plan &plan);

// In one line, per output: "DP-1: 1920x1080@60.00 at 0,1080, the brightness
// 0.5; DP-2: off", what held has of what the plan touched (the CRTCs, the
// screen, the primary, the properties and ramps it wrote, the custom modes
// it listed or took off) where it differs from before. Empty when nothing does.
QString changedSince(const ServerState &before, const Plan &plan, const ServerState &held);

// Whether the server answered every request sent so far within the seconds.
bool answeredWithin(xcb_connection_t *c, int seconds);

// The comparison alone: what the plan asked of the server in the state
// before, against held, a state that holds at least what readBack reads.
// One line per output, "NAME: the X server accepted … but keeps …", in
// output id order.
QStringList notHeld(const ServerState &before, const Plan &plan, const ServerState &held);

} // namespace Dispor::X11
