#include "settle.h"

#include "layout.h"

#include <algorithm>

namespace Dispor::LayoutRules {

namespace {

QList<Output::Data *> byId(QList<Output::Data *> outputs)
{
    std::sort(outputs.begin(), outputs.end(),
              [](const Output::Data *a, const Output::Data *b) { return a->id < b->id; });
    return outputs;
}

} // namespace

QString changedWhileDisabled(const Output::Data &wanted, bool rankAsked)
{
    if (wanted.enabled || !(wanted.placementAsked || rankAsked))
        return {};
    return wanted.name + u" is disabled: enable it first (set-enabled true)"_qs;
}

QString undone(const QString &failure)
{
    return failure + u"; the outputs were set back as they were"_qs;
}

QString notUndone(const QString &failure, const QString &why, const QString &holds)
{
    return failure + u"; setting the outputs back failed too ("_qs + why + "): they now hold " + holds;
}

QString unconfirmed(const QString &server, int seconds)
{
    return u"the change was sent and confirmed, but "_qs + server + " did not answer the read-back within " +
           QString::number(seconds) + " s; it may be in effect";
}

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
    const QList<Output::Data *> ordered = byId(outputs);
    const auto tileOf = [&](const Output::Data &d) {
        const QSize size = extent(d);
        return Tile{d.pos.x(), d.pos.y(), size.width(), size.height()};
    };
    Tiles lit;
    for (const Output::Data *d : std::as_const(ordered)) {
        if (isPlaced(*d) && !ids.contains(d->id))
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

bool toOrigin(QMap<int, Output::Data> &outputs)
{
    QList<Output::Data *> lit;
    Tiles places;
    for (Output::Data &d : outputs) {
        if (d.enabled) {
            lit.append(&d);
            places.push_back({d.pos.x(), d.pos.y(), 0, 0});
        }
    }
    if (!toOrigin(places))
        return false;
    for (qsizetype i = 0; i < lit.size(); ++i)
        lit[i]->pos = QPoint(int(places[size_t(i)].x), int(places[size_t(i)].y));
    return true;
}

void closeUpLeaving(const QList<Output::Data *> &outputs, const QHash<int, QPoint> &left,
                    const std::function<QSize(const Output::Data &)> &extent)
{
    if (left.isEmpty())
        return;
    const QList<Output::Data *> ordered = byId(outputs);
    QList<Output::Data *> placed;
    Tiles tiles;
    for (Output::Data *d : std::as_const(ordered)) {
        const bool leaving = left.contains(d->id);
        if (!leaving && !isPlaced(*d))
            continue;
        const QPoint at = leaving ? left.value(d->id) : d->pos;
        const QSize size = extent(*d);
        placed.append(d);
        tiles.push_back({at.x(), at.y(), size.width(), size.height()});
    }
    for (qsizetype i = 0; i < placed.size(); ++i) {
        if (!left.contains(placed[i]->id))
            continue;
        tiles = withoutTile(tiles, size_t(i));
        tiles[size_t(i)] = Tile{};
    }
    QHash<int, QPoint> places;
    for (qsizetype i = 0; i < placed.size(); ++i) {
        if (left.contains(placed[i]->id))
            continue;
        placed[i]->pos = QPoint(int(tiles[size_t(i)].x), int(tiles[size_t(i)].y));
        places.insert(placed[i]->id, placed[i]->pos);
    }
    for (Output::Data *d : std::as_const(ordered)) {
        if (d->replicationSource && places.contains(d->replicationSource))
            d->pos = places.value(d->replicationSource);
    }
}

} // namespace Dispor::LayoutRules
