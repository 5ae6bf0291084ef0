#include "dispor/layout.h"

#include "layout.h"

#include <QHash>

#include <algorithm>
#include <cstdint>

namespace Dispor::LayoutRules {

namespace {

bool inLayout(const Output &output)
{
    return output.isEnabled() && output.isConnected() && output.replicationSource() == 0;
}

// The layout's outputs in id order and their areas; `own` stands in with
// the size given where it is not one of them.
struct Lit {
    std::vector<OutputPtr> outputs;
    Tiles tiles;
    size_t own;
};

Tile tileOf(const Output &output, QSize size)
{
    return {output.pos().x(), output.pos().y(), size.width(), size.height()};
}

Lit litOutputs(const Config &config, const Output *own = nullptr, QSize ownSize = {})
{
    Lit lit;
    lit.own = SIZE_MAX;
    for (const OutputPtr &output : config.connectedOutputs()) {
        if (own && output->id() == own->id()) {
            lit.own = lit.outputs.size();
            lit.outputs.push_back(output);
            lit.tiles.push_back(
                tileOf(*output, ownSize.isValid() ? ownSize : output->explicitLogicalSizeInt()));
        } else if (inLayout(*output)) {
            lit.outputs.push_back(output);
            lit.tiles.push_back(tileOf(*output, output->explicitLogicalSizeInt()));
        }
    }
    return lit;
}

// Sets the new places, changing nothing when they do not fit; a mirror
// moves by what its source moved. With normalise, every enabled output then
// moves so that the layout begins at 0,0.
bool place(Config &config, const Lit &lit, const Tiles &after, bool normalise, bool *moved = nullptr)
{
    QHash<int, QPoint> shifts;
    for (size_t i = 0; i < lit.outputs.size(); ++i) {
        const QPoint shift(static_cast<int>(after[i].x - lit.outputs[i]->pos().x()),
                           static_cast<int>(after[i].y - lit.outputs[i]->pos().y()));
        if (!fits(after[i]))
            return false;
        if (!shift.isNull())
            shifts.insert(lit.outputs[i]->id(), shift);
    }
    std::vector<OutputPtr> outputs;
    Tiles tiles;
    for (const OutputPtr &output : config.connectedOutputs()) {
        if (!output->isEnabled())
            continue;
        const auto at = std::find(lit.outputs.begin(), lit.outputs.end(), output);
        Tile tile = tileOf(*output, output->explicitLogicalSizeInt());
        if (at != lit.outputs.end()) {
            tile = after[static_cast<size_t>(at - lit.outputs.begin())];
        } else if (output->replicationSource() != 0) {
            const QPoint shift = shifts.value(output->replicationSource());
            tile.x += shift.x();
            tile.y += shift.y();
        }
        outputs.push_back(output);
        tiles.push_back(tile);
    }
    if (normalise ? !LayoutRules::toOrigin(tiles) : !std::all_of(tiles.begin(), tiles.end(), fits))
        return false;
    bool any = false;
    for (size_t i = 0; i < outputs.size(); ++i) {
        const QPoint pos(static_cast<int>(tiles[i].x), static_cast<int>(tiles[i].y));
        any = any || pos != outputs[i]->pos();
        outputs[i]->setPos(pos);
    }
    if (moved)
        *moved = any;
    return true;
}

// Where output goes on that side of reference: worked out wide, as it may
// lie past int until the layout is normalised.
Tile beside(const Output &output, const Output &reference, Side side)
{
    const QSize size = output.explicitLogicalSizeInt();
    const QSize referenceSize = reference.explicitLogicalSizeInt();
    Tile tile = tileOf(reference, size);
    switch (side) {
    case Side::Above:
        tile.y -= size.height();
        break;
    case Side::Below:
        tile.y += referenceSize.height();
        break;
    case Side::LeftOf:
        tile.x -= size.width();
        break;
    case Side::RightOf:
        tile.x += referenceSize.width();
        break;
    }
    return tile;
}

// The places of every output and one output's source, to be put back when
// a change that moves several does not fit after all.
class Kept {
public:
    Kept(const Config &config, Output &output)
        : m_outputs(config.outputs()), m_output(output), m_source(output.replicationSource())
    {
        for (const OutputPtr &o : std::as_const(m_outputs))
            m_places.append(o->pos());
    }
    bool putBack() const
    {
        qsizetype i = 0;
        for (const OutputPtr &o : m_outputs)
            o->setPos(m_places[i++]);
        m_output.setReplicationSource(m_source);
        return false;
    }

private:
    OutputList m_outputs;
    QList<QPoint> m_places;
    Output &m_output;
    int m_source;
};

} // namespace

bool normalize(Config &config)
{
    Lit lit;
    for (const OutputPtr &output : config.connectedOutputs()) {
        if (output->isEnabled()) {
            lit.outputs.push_back(output);
            lit.tiles.push_back(tileOf(*output, output->explicitLogicalSizeInt()));
        }
    }
    if (!LayoutRules::toOrigin(lit.tiles))
        return false;
    for (size_t i = 0; i < lit.outputs.size(); ++i)
        lit.outputs[i]->setPos(QPoint(static_cast<int>(lit.tiles[i].x), static_cast<int>(lit.tiles[i].y)));
    return true;
}

bool adjustAfterResize(Config &config, const Output &output, QSize oldSize)
{
    // An output outside the layout still makes room by its old place, but
    // is neither moved nor normalised with the others.
    Lit lit = litOutputs(config, &output, oldSize);
    const QSize size = output.explicitLogicalSizeInt();
    Tiles after = resized(lit.tiles, lit.own, size.width(), size.height());
    if (!inLayout(output)) {
        lit.outputs.erase(lit.outputs.begin() + static_cast<std::ptrdiff_t>(lit.own));
        after.erase(after.begin() + static_cast<std::ptrdiff_t>(lit.own));
    } else {
        after[lit.own].width = size.width();
        after[lit.own].height = size.height();
    }
    return place(config, lit, after, true);
}

bool closeUpAround(Config &config, const Output &output, bool *moved)
{
    *moved = false;
    if (!inLayout(output))
        return true;
    const Lit lit = litOutputs(config, &output);
    const Tiles after = withoutTile(lit.tiles, lit.own);
    return place(config, lit, after, false, moved);
}

bool placeJoining(Config &config, Output &output, bool *moved)
{
    *moved = false;
    Lit lit = litOutputs(config);
    const auto self = std::find_if(lit.outputs.begin(), lit.outputs.end(),
                                   [&](const OutputPtr &o) { return o->id() == output.id(); });
    if (self != lit.outputs.end()) {
        const auto at = self - lit.outputs.begin();
        lit.outputs.erase(self);
        lit.tiles.erase(lit.tiles.begin() + at);
    }
    const Tile to = joining(lit.tiles, tileOf(output, output.explicitLogicalSizeInt()));
    if (!fits(to))
        return false;
    const QPoint pos(static_cast<int>(to.x), static_cast<int>(to.y));
    *moved = pos != output.pos();
    output.setPos(pos);
    return true;
}

bool placeBeside(Config &config, Output &output, const Output &reference, Side side)
{
    if (!output.isEnabled()) {
        const Tile to = beside(output, reference, side);
        if (!fits(to))
            return false;
        const QPoint was = output.pos();
        output.setPos(QPoint(static_cast<int>(to.x), static_cast<int>(to.y)));
        if (normalize(config))
            return true;
        output.setPos(was);
        return false;
    }
    const Kept kept(config, output);
    // A mirror placed, even against its own source, mirrors no more.
    if (output.replicationSource() != 0) {
        output.setReplicationSource(0);
    } else if (const Tile to = beside(output, reference, side);
               to.x == output.pos().x() && to.y == output.pos().y()) {
        // Already there: nothing leaves its place, and nothing else moves.
        return normalize(config);
    } else {
        // The place it leaves closes up first, so that the outputs it
        // joined do not come apart.
        bool moved = false;
        if (!closeUpAround(config, output, &moved) || (moved && !normalize(config)))
            return kept.putBack();
    }
    std::vector<OutputPtr> others;
    Tiles tiles;
    for (const OutputPtr &other : config.connectedOutputs()) {
        if (other->isEnabled() && other->id() != output.id()) {
            others.push_back(other);
            tiles.push_back(tileOf(*other, other->explicitLogicalSizeInt()));
        }
    }
    tiles.push_back(beside(output, reference, side));
    if (!toOrigin(tiles))
        return kept.putBack();
    for (size_t i = 0; i < others.size(); ++i)
        others[i]->setPos(QPoint(static_cast<int>(tiles[i].x), static_cast<int>(tiles[i].y)));
    output.setPos(QPoint(static_cast<int>(tiles.back().x), static_cast<int>(tiles.back().y)));
    return true;
}

} // namespace Dispor::LayoutRules
