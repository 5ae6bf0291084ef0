#pragma once

#include <dispor/config.h>

#include <QString>

// What the tool does itself when the compositor's bus service is absent
// (its name has no owner, or there is no session bus) and a real display
// server is configured: on X11 the output under the pointer and labels
// drawn over xcb, on sway the output it reports as focused, elsewhere the
// only enabled output.

enum class Desktop { Simulated, X11, Sway, Other };

// The desktop as DISPOR_BACKEND and the session's variables tell it, in the
// order the library looks for a display service: simulated only when asked
// for, and never X11 on a Wayland session.
Desktop currentDesktop();

// The active output's name; empty with *why (one line, after the bus's
// own error) when this desktop cannot tell it.
QString activeOutputWithoutBus(const Dispor::ConfigPtr &config, QString *why);

// identify's own labels on X11 (about 5 s); exit status. Elsewhere, or when
// they cannot be shown, *why says so and the status is 1.
int identifyWithoutBus(QString *why);
