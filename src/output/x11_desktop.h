#pragma once

#include <QString>

// What dispctl does itself on an X server when the compositor's bus service
// is absent: a module of its own (x11.so beside compositor.so), so that no
// other run loads xcb, and nothing here needs Qt Gui.

struct X11DesktopCalls {
    // The name of the output whose CRTC holds the pointer; false with *why.
    bool (*outputUnderPointer)(QString *name, QString *why);
    // Shows on every enabled output, for the given seconds, a window that
    // takes no focus with the output's name, mode and position; false with
    // *why when they could not be shown. The windows are gone on return.
    bool (*showLabels)(int seconds, QString *why);
};
