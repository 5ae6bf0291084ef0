#include "settle.h"

#include "layout.h"

#include <algorithm>

namespace Dispor::LayoutRules {

QString noneLeftLit(const QList<const Output::Data *> &outputs, const QString &disabled)
{
    if (disabled.isEmpty())
        return {};
    bool anyConnected = false;
    for (const Output::Data *d : outputs) {
        if (isLit(*d))
            return {};
        anyConnected = anyConnected || d->connected;
    }
    return anyConnected ? disabled + u": disabling it leaves no connected output enabled"_qs : QString();
}

void placeJoining(const QList<Output::Data *> &outputs, const QSet<int> &ids,
                  const std::function<QSize(const Output::Data &)> &extent)
{
    if (ids.isEmpty())
        return;
    QList<Output::Data *> ordered = outputs;
    std::sort(ordered.begin(), ordered.end(),
              [](const Output::Data *a, const Output::Data *b) { return a->id < b->id; });
    const auto tileOf = [&](const Output::Data &d) {
        const QSize size = extent(d);
        return Tile{d.pos.x(), d.pos.y(), size.width(), size.height()};
    };
    Tiles lit;
    for (const Output::Data *d : std::as_const(ordered)) {
        if (isLit(*d) && !d->replicationSource && !ids.contains(d->id))
            lit.push_back(tileOf(*d));
    }
    for (Output::Data *d : std::as_const(ordered)) {
        if (!ids.contains(d->id))
            continue;
        const Tile to = joining(lit, tileOf(*d));
        d->pos = QPoint(static_cast<int>(to.x), static_cast<int>(to.y));
        lit.push_back(to);
    }
}

} // namespace Dispor::LayoutRules
