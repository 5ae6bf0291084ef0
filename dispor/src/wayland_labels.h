#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Labels on the outputs of a Wayland compositor, as any client can show
// them: a layer-shell surface on the overlay layer where the compositor
// offers layer-shell (wlroots compositors), else a fullscreen xdg-shell
// window on each output (mutter, others). The drawing lives in a module
// beside the backend plugins (labels.so, with its text rendering), opened
// only when labels are shown, so that no other run loads it.
namespace Dispor::WaylandLabels {

struct Label {
    QString output;    // the output's connector name, as xdg-output names it
    QStringList lines; // its name, mode and position, one a line
};

// Shows each label on its output of the compositor at display (a
// WAYLAND_DISPLAY value; empty: WAYLAND_DISPLAY's) for the given seconds,
// and returns once they are gone. False with a one-line reason in the
// user's words ("cannot show labels: the compositor offers neither
// layer-shell nor xdg-shell"); every wait is bounded.
bool show(const QString &display, const QList<Label> &labels, int seconds, QString *why);

} // namespace Dispor::WaylandLabels
