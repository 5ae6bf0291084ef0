#include "commands/layout.h"

#include "core/print.h"

#include <dispor/config.h>

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <limits>
#include <vector>

namespace {

// An output's area while a layout change is worked out. Wide, so that
// nothing wraps before the finished layout is known to fit.
struct Tile {
    int64_t x, y, width, height;
};

// The enabled, connected outputs in id order and their areas.
struct Layout {
    std::vector<OutputPtr> outputs;
    std::vector<Tile> tiles;

    void add(const OutputPtr &output, QSize size)
    {
        outputs.push_back(output);
        tiles.push_back({output->pos().x(), output->pos().y(), size.width(), size.height()});
    }
};

Layout enabledOutputs(const ConfigPtr &config)
{
    Layout layout;
    for (const OutputPtr &output : config->connectedOutputs()) {
        if (output->isEnabled())
            layout.add(output, output->explicitLogicalSizeInt());
    }
    return layout;
}

bool inRange(int64_t value)
{
    return value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max();
}

// The place and the far edges both, so that the area can be drawn too.
bool fits(const Tile &tile)
{
    return inRange(tile.x) && inRange(tile.y) && inRange(tile.x + tile.width) && inRange(tile.y + tile.height);
}

// Control characters as escapes, as the library writes them in its
// messages, so that a name from outside keeps a message on one line.
QString escaped(const QString &text)
{
    QString result;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            result += QStringLiteral("\\u%1").arg(uint(c.unicode()), 4, 16, QChar(u'0'));
        else
            result += c;
    }
    return result;
}

int outOfRange()
{
    printLineTo(std::cerr, "The layout would not fit the coordinate range");
    return 1;
}

// Moves the tiles so that the smallest x and y are 0; false if the result
// leaves the coordinate range.
bool normalized(std::vector<Tile> &tiles)
{
    if (tiles.empty())
        return true;
    int64_t minX = tiles.front().x;
    int64_t minY = tiles.front().y;
    for (const Tile &tile : tiles) {
        minX = std::min(minX, tile.x);
        minY = std::min(minY, tile.y);
    }
    for (Tile &tile : tiles) {
        tile.x -= minX;
        tile.y -= minY;
    }
    return std::all_of(tiles.begin(), tiles.end(), fits);
}

void place(const Layout &layout)
{
    for (size_t i = 0; i < layout.outputs.size(); ++i)
        layout.outputs[i]->setPos(QPoint(static_cast<int>(layout.tiles[i].x), static_cast<int>(layout.tiles[i].y)));
}

// One resize: the tiles before, the resized one's index and new size.
struct Resize {
    const std::vector<Tile> &before;
    size_t resized;
    int64_t width, height;

    const Tile &old() const { return before[resized]; }
    int64_t centreX() const { return old().x + old().width / 2; }
    int64_t centreY() const { return old().y + old().height / 2; }
};

// Everything at or beyond the old centre moves by the change in size, each
// axis on its own.
std::vector<Tile> shiftedPastCentre(const Resize &r)
{
    std::vector<Tile> after = r.before;
    for (size_t i = 0; i < after.size(); ++i) {
        if (i == r.resized)
            continue;
        if (r.before[i].x >= r.centreX())
            after[i].x += r.width - r.old().width;
        if (r.before[i].y >= r.centreY())
            after[i].y += r.height - r.old().height;
    }
    after[r.resized].width = r.width;
    after[r.resized].height = r.height;
    return after;
}

} // namespace

int normalizeLayout(const ConfigPtr &config)
{
    Layout layout = enabledOutputs(config);
    if (!normalized(layout.tiles))
        return outOfRange();
    place(layout);
    return 0;
}

int adjustLayoutAfterResize(const OutputPtr &output, QSize oldSize, const ConfigPtr &config)
{
    Layout layout = enabledOutputs(config);
    const auto found = std::find_if(layout.outputs.begin(), layout.outputs.end(),
                                    [&](const OutputPtr &other) { return other->id() == output->id(); });
    const size_t resized = static_cast<size_t>(found - layout.outputs.begin());
    // A disabled output still makes room by its old place, as it always did,
    // but it is not normalised with the others.
    const bool outside = found == layout.outputs.end();
    if (outside)
        layout.add(output, oldSize);
    layout.tiles[resized].width = oldSize.width();
    layout.tiles[resized].height = oldSize.height();

    const QSize newSize = output->explicitLogicalSizeInt();
    const Resize r{layout.tiles, resized, newSize.width(), newSize.height()};
    layout.tiles = shiftedPastCentre(r);

    if (outside) {
        layout.outputs.pop_back();
        layout.tiles.pop_back();
    }
    if (!normalized(layout.tiles))
        return outOfRange();
    place(layout);
    return 0;
}

int finishResize(const OutputPtr &output, QSize oldSize, const ConfigPtr &config)
{
    output->setExplicitLogicalSize(QSizeF(config->logicalSizeForOutputInt(output)));
    if (adjustLayoutAfterResize(output, oldSize, config) != 0)
        return 1;
    return applyConfig(config);
}

int placeNextTo(const OutputPtr &output, const ConfigPtr &config, const QString &reference, Side side)
{
    const OutputPtr other = resolveOutput(config, reference);
    if (!other) {
        printLineTo(std::cerr, "Unknown output: {}", reference);
        return 1;
    }
    if (other->id() == output->id()) {
        printLineTo(std::cerr, "The reference output cannot be the same as the moved output");
        return 1;
    }

    // Without a size an output has no edge to share: its position is
    // whatever the backend reports for it, often the origin.
    const QSize otherSize = other->explicitLogicalSizeInt();
    const QSize size = output->explicitLogicalSizeInt();
    const bool ownSizeCounts = side == Side::Above || side == Side::LeftOf;
    if (otherSize.isEmpty() || (ownSizeCounts && size.isEmpty())) {
        const OutputPtr &sizeless = otherSize.isEmpty() ? other : output;
        printLineTo(std::cerr, "Output {} has no place in the layout", escaped(sizeless->name()));
        return 1;
    }

    Tile moved{other->pos().x(), other->pos().y(), size.width(), size.height()};
    switch (side) {
    case Side::Above:
        moved.y -= size.height();
        break;
    case Side::Below:
        moved.y += otherSize.height();
        break;
    case Side::LeftOf:
        moved.x -= size.width();
        break;
    case Side::RightOf:
        moved.x += otherSize.width();
        break;
    }

    Layout layout = enabledOutputs(config);
    const auto found = std::find_if(layout.outputs.begin(), layout.outputs.end(),
                                    [&](const OutputPtr &o) { return o->id() == output->id(); });
    // A disabled output is placed as computed; the others are normalised
    // without it.
    if (found != layout.outputs.end())
        layout.tiles[static_cast<size_t>(found - layout.outputs.begin())] = moved;
    else if (!fits(moved))
        return outOfRange();
    if (!normalized(layout.tiles))
        return outOfRange();
    place(layout);
    if (found == layout.outputs.end())
        output->setPos(QPoint(static_cast<int>(moved.x), static_cast<int>(moved.y)));
    return applyConfig(config);
}
