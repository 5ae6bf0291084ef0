#pragma once

#include <QString>

#include <xcb/xcb.h>

namespace Dispor::X11 {

// The one connection to the X server the display names, made within a few
// seconds, or null with a one-line reason; screen is the display's screen
// number. Probing with a connection of its own and then connecting again
// would let a server that resets when its last client leaves (Xvfb without
// -noreset) reset in between.
xcb_connection_t *connectWithin(const QString &display, int *screen, QString *reason);

} // namespace Dispor::X11
