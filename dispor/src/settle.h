#pragma once

#include "output_data.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>

#include <functional>

// The rules every backend keeps when it applies a configuration, written
// once: at least one connected output stays lit, and an output that joins
// the layout without a place of its own goes where the layout rules put it.
namespace Dispor::LayoutRules {

// Switched on and connected: shows a picture.
inline bool isLit(const Output::Data &d)
{
    return d.enabled && d.connected;
}

// Lit and mirroring nothing: it has a place of its own in the layout.
inline bool isPlaced(const Output::Data &d)
{
    return isLit(d) && !d.replicationSource;
}

// Whether the change from `was` to `now` switched a lit output off: the
// output the lit-output rule names. One switched off while disconnected
// darkens nothing.
inline bool switchedOff(const Output::Data &was, const Output::Data &now)
{
    return isLit(was) && !now.enabled;
}

// Whether the output joins the layout with this change: placed now but not
// before (switched on, or no longer mirroring), and asked for no place of
// its own.
inline bool joins(const Output::Data &was, const Output::Data &now, bool placeAsked)
{
    return isPlaced(now) && !isPlaced(was) && !placeAsked;
}

// The refusal of a change to the place or shape of an output that stays
// disabled ("DP-1 is disabled: enable it first (set-enabled true)"): a
// server keeps nothing of it, so it would be lost. Empty when the output
// ends enabled or nothing of its place or shape was set. rankAsked: a
// priority was asked for it.
QString changedWhileDisabled(const Output::Data &wanted, bool rankAsked);

// How a failed apply ends, said after what failed (on its last line): the
// state read before was sent back and holds ("…; the outputs were set back
// as they were"), or sending it back failed too, and what they hold now.
QString undone(const QString &failure);
QString notUndone(const QString &failure, const QString &why, const QString &holds);

// A change the server confirmed whose read-back it did not answer in time:
// unknown, not failed. `server` names it as the messages do ("mutter").
QString unconfirmed(const QString &server, int seconds);

// The refusal of a change that switched the output named `disabled` off and
// left no connected output lit; empty when it leaves one lit, when it
// switched nothing off, or when nothing is connected at all.
QString noneLeftLit(const QList<const Output::Data *> &outputs, const QString &disabled);

// Places the outputs with the ids in `ids` (switched on, or no longer
// mirroring, with no place of their own) one after another in id order, as
// an output that joins the layout goes. The layout is the other lit
// outputs that mirror nothing; `extent` gives an output's size in it.
void placeJoining(const QList<Output::Data *> &outputs, const QSet<int> &ids,
                  const std::function<QSize(const Output::Data &)> &extent);

// Moves the enabled outputs so that the layout's top-left is 0,0, as a
// server whose layout begins there holds it; false, and nothing moved,
// where a place would then not fit int.
bool toOrigin(QMap<int, Output::Data> &outputs);

// The outputs with the ids in `left` left the layout (made mirrors) from
// the places given: where that cuts the layout apart, the outputs beyond the
// gap close up. A mirror then sits where its source does.
void closeUpLeaving(const QList<Output::Data *> &outputs, const QHash<int, QPoint> &left,
                    const std::function<QSize(const Output::Data &)> &extent);

} // namespace Dispor::LayoutRules
