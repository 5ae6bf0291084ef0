#pragma once

#include "client.h"

#include <QHash>
#include <QList>
#include <QSize>
#include <QStringList>

#include <optional>

namespace Dispor::Wayland {

// One head as a configuration asked for it or as the compositor reports it
// afterwards, in values only: the mode objects it names may be gone by the
// time the answer is read.
struct HeadValues {
    QString name;
    bool enabled = false;
    int width = 0; // of the mode; 0 when none was asked for or is current
    int height = 0;
    int refresh = 0;     // mHz
    bool custom = false; // asked for as a custom mode: its rate is the compositor's to round
    QPoint position;
    int transform = 0;
    double scale = 1.0;
    std::optional<bool> adaptiveSync;
    // Of an enabled head sent: left to the compositor (see HeadSetting).
    bool ownMode = false;
    bool ownTransform = false;
    bool ownScale = false;
};

// What a configuration sends, taken before it is sent.
QList<HeadValues> sentValues(const QList<HeadSetting> &settings);
// What the compositor reports for each head now; a dark head is off.
QList<HeadValues> heldValues(const std::vector<const HeadState *> &heads);
// What was sent, with what it left to the compositor as the compositor
// holds it: the compositor's own is not a change to judge.
QList<HeadValues> withOwn(const QList<HeadValues> &sent, const QList<HeadValues> &held);

// Whether a scale reported in 24.8 fixed point can be the one sent.
bool scaleHeld(double sent, double reported);

// Where the compositor took a configuration but holds something else: one
// line per output, "NAME: the compositor accepted … but keeps …", in the
// order sent. A head it no longer reports is not counted (it went away);
// values it quantises by design count as held: the scale as the protocol
// carries it (see scaleHeld), a custom mode's refresh rate within 1 Hz.
QStringList notHeld(const QList<HeadValues> &sent, const QList<HeadValues> &held);

// Whether the compositor holds everything sent but where some outputs are.
bool onlyPlacesNotHeld(const QList<HeadValues> &sent, const QList<HeadValues> &held);

// The heads as they are, each enabled one at the position sent: the
// configuration that puts back what the compositor moved on its own.
QList<HeadSetting> placedAsSent(const QList<HeadValues> &sent, const std::vector<const HeadState *> &heads);

// The configuration that gives the heads what they held before (by name),
// each value sent; a head not known before is left as it is.
QList<HeadSetting> restoring(const QList<HeadValues> &before, const std::vector<const HeadState *> &heads);

// What the heads that differ from before hold now, in one line:
// "HDMI-A-1 1280x1024@75 at 1024,0, normal, scale 1; DP-1 off".
QString holding(const QList<HeadValues> &before, const QList<HeadValues> &now);

// The size an output sent takes in the layout as this backend computes it:
// its mode, turned, over its scale in 1/256 steps, truncated.
QSize logicalSize(const HeadValues &head);

// What was sent, with the outputs that were sent to join another output's
// right or bottom edge moved to where that edge is with the logical sizes
// the compositor holds (by output name), and with them whatever lies beyond
// that edge; unchanged where the sizes agree or nothing joins.
QList<HeadValues> joinedAsHeld(const QList<HeadValues> &sent, const QHash<QString, QSize> &held);

} // namespace Dispor::Wayland
