#pragma once

// Dispor, the display-configuration library of dispctl: everything at once.
//
// A program fetches a snapshot of the outputs with GetConfigOperation,
// changes outputs in it through Output's setters, and applies the changes
// with SetConfigOperation. The backend that serves both is chosen by the
// environment: DISPOR_BACKEND (wayland, gnome, x11, virtual), else the
// session's display service, tried in this order: a Wayland compositor
// with wlroots output management (WAYLAND_DISPLAY), mutter on the session
// bus (org.gnome.Mutter.DisplayConfig), an X server that is not Xwayland
// (DISPLAY); the simulated set (virtual) is only ever chosen by name.
// Nothing in the library is thread-safe: use each object from one thread.
// Every call that talks to a display server blocks, with a bounded wait,
// and says in its error text what it waited for. Errors are one line of
// text, never exceptions.
//
// See examples/list-outputs for a whole program.

#include "dispor/config.h"
#include "dispor/desktop.h"
#include "dispor/dpms.h"
#include "dispor/layout.h"
#include "dispor/mode.h"
#include "dispor/operations.h"
#include "dispor/output.h"
#include "dispor/watcher.h"
