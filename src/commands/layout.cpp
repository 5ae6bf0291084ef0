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
    return inRange(tile.x) && inRange(tile.y) && inRange(tile.x + tile.width) &&
           inRange(tile.y + tile.height);
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
        layout.outputs[i]->setPos(
            QPoint(static_cast<int>(layout.tiles[i].x), static_cast<int>(layout.tiles[i].y)));
}

bool spansMeet(int64_t a, int64_t aLength, int64_t b, int64_t bLength)
{
    return a < b + bLength && b < a + aLength;
}

// Shared area, not a shared edge; an empty tile overlaps nothing.
bool overlap(const Tile &a, const Tile &b)
{
    return a.width > 0 && a.height > 0 && b.width > 0 && b.height > 0 &&
           spansMeet(a.x, a.width, b.x, b.width) && spansMeet(a.y, a.height, b.y, b.height);
}

Tile transposed(const Tile &tile)
{
    return {tile.y, tile.x, tile.height, tile.width};
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
// axis on its own. Keeps rows and columns closed, but in a shrinking axis
// it also closes gaps that exist only beside the resized output, running
// outputs elsewhere into others.
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

// Whether two outputs overlap after that did not before. The resized output
// may come to cover one left of or above its old centre, as it always could.
bool gainsOverlap(const Resize &r, const std::vector<Tile> &after)
{
    for (size_t i = 0; i < after.size(); ++i) {
        for (size_t j = i + 1; j < after.size(); ++j) {
            if (!overlap(after[i], after[j]) || overlap(r.before[i], r.before[j]))
                continue;
            const size_t other = i == r.resized ? j : j == r.resized ? i : after.size();
            if (other < after.size() && (r.before[other].x < r.centreX() || r.before[other].y < r.centreY()))
                continue;
            return true;
        }
    }
    return false;
}

// The resized output's width changes to width; the tiles marked move by
// the change, and those they would run into or leave behind are settled
// here. Written for x; y goes through transposed tiles.
void resizeAlongX(std::vector<Tile> &tiles, size_t resized, int64_t width, std::vector<bool> moves,
                  int64_t centre)
{
    const Tile old = tiles[resized];
    Tile now = old;
    now.width = width;
    const int64_t d = width - old.width;
    const auto moved = [&](size_t i) {
        return Tile{tiles[i].x + d, tiles[i].y, tiles[i].width, tiles[i].height};
    };
    const auto runsInto = [&](size_t i, size_t j) {
        return overlap(moved(i), tiles[j]) && !overlap(tiles[i], tiles[j]);
    };
    bool changed = true;
    if (d > 0) {
        // Growing: whatever the output or a moving tile would run into is
        // pushed along, so it keeps its edge and nothing is covered anew.
        while (changed) {
            changed = false;
            for (size_t q = 0; q < tiles.size(); ++q) {
                if (q == resized || moves[q])
                    continue;
                bool hit = tiles[q].x >= centre && overlap(now, tiles[q]) && !overlap(old, tiles[q]);
                for (size_t p = 0; p < tiles.size() && !hit; ++p)
                    hit = moves[p] && runsInto(p, q);
                if (hit) {
                    moves[q] = true;
                    changed = true;
                }
            }
        }
    } else if (d < 0) {
        // Shrinking: what hangs on a moving tile's far edge follows it; then
        // a tile that would run into one that stays, stays too. Staying is
        // always safe, as the output only gives up room.
        while (changed) {
            changed = false;
            for (size_t q = 0; q < tiles.size(); ++q) {
                if (q == resized || moves[q])
                    continue;
                for (size_t p = 0; p < tiles.size() && !moves[q]; ++p) {
                    moves[q] = moves[p] &&
                               spansMeet(tiles[p].y, tiles[p].height, tiles[q].y, tiles[q].height) &&
                               tiles[q].x >= tiles[p].x && tiles[q].x <= tiles[p].x + tiles[p].width;
                }
                changed = changed || moves[q];
            }
        }
        changed = true;
        while (changed) {
            changed = false;
            for (size_t p = 0; p < tiles.size(); ++p) {
                if (!moves[p])
                    continue;
                bool blocked = overlap(moved(p), now) && !overlap(tiles[p], old);
                for (size_t q = 0; q < tiles.size() && !blocked; ++q)
                    blocked = q != resized && !moves[q] && runsInto(p, q);
                if (blocked) {
                    moves[p] = false;
                    changed = true;
                }
            }
        }
    }
    for (size_t i = 0; i < tiles.size(); ++i) {
        if (moves[i])
            tiles[i].x += d;
    }
    tiles[resized] = now;
}

// The same shifts, but only for the outputs beside the resized one (its
// row for x, its column for y) and those they push or pull along; the two
// axes one after the other, each leaving no new overlap behind.
std::vector<Tile> shiftedBeside(const Resize &r)
{
    std::vector<bool> inRow(r.before.size());
    std::vector<bool> inColumn(r.before.size());
    for (size_t i = 0; i < r.before.size(); ++i) {
        const Tile &t = r.before[i];
        inRow[i] =
            i != r.resized && t.x >= r.centreX() && spansMeet(t.y, t.height, r.old().y, r.old().height);
        inColumn[i] =
            i != r.resized && t.y >= r.centreY() && spansMeet(t.x, t.width, r.old().x, r.old().width);
    }
    std::vector<Tile> tiles = r.before;
    resizeAlongX(tiles, r.resized, r.width, inRow, r.centreX());
    std::transform(tiles.begin(), tiles.end(), tiles.begin(), transposed);
    resizeAlongX(tiles, r.resized, r.height, inColumn, r.centreY());
    std::transform(tiles.begin(), tiles.end(), tiles.begin(), transposed);
    return tiles;
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
    // The plain rule stands wherever it covers nothing anew, so what it did
    // right stays exactly so. Else only the outputs beside the resized one
    // move, with what they push or pull along, one axis after the other; a
    // shrink's move that would still run into an output is dropped, since
    // staying is always safe when the output gives up room.
    std::vector<Tile> after = shiftedPastCentre(r);
    if (gainsOverlap(r, after))
        after = shiftedBeside(r);
    layout.tiles = std::move(after);

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
        printLineTo(std::cerr, "Output {} has no place in the layout", sizeless->name());
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
