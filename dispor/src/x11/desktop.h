#pragma once

#include "server.h"

#include <QString>

// The desktop on an X server, for the backend's Desktop answers.
namespace Dispor::X11 {

// The name of the output whose CRTC holds the pointer; false with *why.
bool outputUnderPointer(Connection &connection, QString *name, QString *why);

// Shows on every enabled output, for the given seconds, a window that takes
// no focus with the output's name, mode and position; false with *why when
// they could not be shown. The windows are gone on return.
bool showLabels(Connection &connection, int seconds, QString *why);

} // namespace Dispor::X11
