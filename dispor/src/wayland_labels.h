#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace Dispor {
class Config;
}

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

// A label for each enabled output of config, in name order: its name, its
// mode (the rate only where the mode has one) and its position.
QList<Label> labelsOf(const Config &config);

// The labels of config's enabled outputs, shown as above on the compositor
// at WAYLAND_DISPLAY: what a backend needs no more than a snapshot for.
// "cannot show labels: no output is enabled" where there is none.
bool show(const Config &config, int seconds, QString *why);

// What the module exports as dispor_labels_module. It and the plugin that
// opens it share Label, so they must come from one build.
struct Module {
    const char *version; // DISPOR_VERSION_STRING of the module's build
    bool (*show)(const QString &display, const QList<Label> &labels, int seconds, QString *why);
};

// The module in file, opened once and kept for the life of the process;
// null with a one-line reason ("cannot show labels: …"). show() opens the
// one beside the plugin or program it is linked into.
const Module *openModule(const QByteArray &file, QString *why);

} // namespace Dispor::WaylandLabels
