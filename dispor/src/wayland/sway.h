#pragma once

#include <QByteArray>
#include <QString>

// sway's own view of its outputs, asked over its IPC socket (SWAYSOCK).

namespace Dispor::Wayland {

struct SwayFocus {
    QString name; // the focused output's name, when why is empty
    QString why;  // one line, when sway could not be asked or named none
};

// The output sway reports as focused (GET_OUTPUTS, "focused": true). Every
// wait on the socket ends within the given seconds.
SwayFocus swayFocusedOutput(const QByteArray &socketPath, int seconds);

// The name of the focused output in a GET_OUTPUTS reply, or why there is none.
SwayFocus focusedInReply(const QByteArray &payload);

} // namespace Dispor::Wayland
