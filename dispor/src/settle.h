#pragma once

#include "output_data.h"

#include <QHash>
#include <QList>
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

// The outputs with the ids in `left` left the layout (made mirrors) from
// the places given: where that cuts the layout apart, the outputs beyond the
// gap close up. A mirror then sits where its source does.
void closeUpLeaving(const QList<Output::Data *> &outputs, const QHash<int, QPoint> &left,
                    const std::function<QSize(const Output::Data &)> &extent);

} // namespace Dispor::LayoutRules
