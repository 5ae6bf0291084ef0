#include "layout.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace Dispor::LayoutRules {

namespace {

bool spansMeet(int64_t a, int64_t aLength, int64_t b, int64_t bLength)
{
    return a < b + bLength && b < a + aLength;
}

bool inRange(int64_t value)
{
    return value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max();
}

Tile transposed(const Tile &tile)
{
    return {tile.y, tile.x, tile.height, tile.width};
}

void transpose(Tiles &tiles)
{
    std::transform(tiles.begin(), tiles.end(), tiles.begin(), transposed);
}

void shiftMarked(Tiles &tiles, const std::vector<bool> &moves, int64_t d)
{
    for (size_t i = 0; i < tiles.size(); ++i) {
        if (moves[i])
            tiles[i].x += d;
    }
}

// Whether two tiles overlap in after that did not in before, but for those
// the plain rule always let the resized one cover: left of or above its
// old centre.
bool gainsOverlap(const Tiles &before, const Tiles &after, size_t resized)
{
    const Tile &old = before[resized];
    for (size_t i = 0; i < after.size(); ++i) {
        for (size_t j = i + 1; j < after.size(); ++j) {
            if (!overlap(after[i], after[j]) || overlap(before[i], before[j]))
                continue;
            const size_t other = i == resized ? j : j == resized ? i : after.size();
            if (other < after.size() &&
                (before[other].x < old.x + old.width / 2 || before[other].y < old.y + old.height / 2))
                continue;
            return true;
        }
    }
    return false;
}

// Everything at or beyond the old centre moves by the change in size, each
// axis on its own.
Tiles pastCentre(const Tiles &before, size_t resized, int64_t width, int64_t height)
{
    const Tile &old = before[resized];
    Tiles after = before;
    for (size_t i = 0; i < after.size(); ++i) {
        if (i == resized)
            continue;
        if (before[i].x >= old.x + old.width / 2)
            after[i].x += width - old.width;
        if (before[i].y >= old.y + old.height / 2)
            after[i].y += height - old.height;
    }
    after[resized].width = width;
    after[resized].height = height;
    return after;
}

// tiles[resized] takes the width; the tiles marked move by the change, and
// those they would run into or leave behind are settled here. Written for
// x; y goes through transposed tiles.
void besideAlongX(Tiles &tiles, size_t resized, int64_t width, std::vector<bool> moves, int64_t centre)
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
    shiftMarked(tiles, moves, d);
    tiles[resized] = now;
}

// The centre rule's shifts, but only for the outputs beside the resized one
// (its row for x, its column for y) and those they push or pull along.
Tiles beside(const Tiles &before, size_t resized, int64_t width, int64_t height)
{
    const Tile &old = before[resized];
    const int64_t centreX = old.x + old.width / 2, centreY = old.y + old.height / 2;
    std::vector<bool> inRow(before.size()), inColumn(before.size());
    for (size_t i = 0; i < before.size(); ++i) {
        const Tile &t = before[i];
        inRow[i] = i != resized && t.x >= centreX && spansMeet(t.y, t.height, old.y, old.height);
        inColumn[i] = i != resized && t.y >= centreY && spansMeet(t.x, t.width, old.x, old.width);
    }
    Tiles tiles = before;
    besideAlongX(tiles, resized, width, inRow, centreX);
    transpose(tiles);
    besideAlongX(tiles, resized, height, inColumn, centreY);
    transpose(tiles);
    return tiles;
}

// tiles[moving]'s right edge moves to width. What hangs on it (shares a
// stretch of it), and in turn what hangs on their right edges, follows.
// A shrink leaves behind what would run into an output that stays; a growth
// pushes what it or a follower would run into. Written for x.
void followAlongX(Tiles &tiles, size_t moving, int64_t width)
{
    const Tile old = tiles[moving];
    const int64_t d = width - old.width;
    if (d == 0)
        return;
    Tile now = old;
    now.width = width;
    std::vector<bool> moves(tiles.size());
    const auto moved = [&](size_t i) {
        return Tile{tiles[i].x + d, tiles[i].y, tiles[i].width, tiles[i].height};
    };
    const auto hangsOn = [&](size_t q, size_t p) {
        if (tiles[q].isEmpty())
            return false;
        const bool fromResized = p == moving;
        const Tile &edge = fromResized ? old : tiles[p];
        return tiles[q].x == edge.x + edge.width &&
               spansMeet(tiles[q].y, tiles[q].height, edge.y, edge.height);
    };
    std::vector<size_t> queue = {moving};
    for (size_t n = 0; n < queue.size(); ++n) {
        for (size_t q = 0; q < tiles.size(); ++q) {
            if (q != moving && !moves[q] && hangsOn(q, queue[n])) {
                moves[q] = true;
                queue.push_back(q);
            }
        }
    }
    bool changed = true;
    while (changed) {
        changed = false;
        for (size_t p = 0; p < tiles.size(); ++p) {
            if (p == moving)
                continue;
            if (d < 0 && moves[p]) {
                bool blocked = overlap(moved(p), now);
                for (size_t q = 0; q < tiles.size() && !blocked; ++q)
                    blocked = q != moving && !moves[q] && overlap(moved(p), tiles[q]);
                if (blocked) {
                    moves[p] = false;
                    changed = true;
                }
            } else if (d > 0 && !moves[p]) {
                bool hit = overlap(now, tiles[p]);
                for (size_t q = 0; q < tiles.size() && !hit; ++q)
                    hit = moves[q] && overlap(moved(q), tiles[p]);
                if (hit) {
                    moves[p] = true;
                    changed = true;
                }
            }
        }
    }
    shiftMarked(tiles, moves, d);
    tiles[moving] = now;
}

// The parts of the layout that join up, as a part number per tile; empty
// tiles are parts of their own.
std::vector<size_t> partsOf(const Tiles &tiles)
{
    std::vector<size_t> part(tiles.size(), SIZE_MAX);
    size_t parts = 0;
    for (size_t start = 0; start < tiles.size(); ++start) {
        if (part[start] != SIZE_MAX)
            continue;
        part[start] = parts;
        std::vector<size_t> queue = {start};
        for (size_t n = 0; n < queue.size(); ++n) {
            for (size_t j = 0; j < tiles.size(); ++j) {
                if (part[j] == SIZE_MAX && joined(tiles[queue[n]], tiles[j])) {
                    part[j] = parts;
                    queue.push_back(j);
                }
            }
        }
        ++parts;
    }
    return part;
}

// The tiles of one part moved whole: their joins among themselves are as
// they were, so the parts change only where that part now meets others,
// which become one with it. Cheaper than finding the parts anew, and only
// a tile that touches the part's bounds can meet it.
void mergeMet(const Tiles &tiles, std::vector<size_t> &part, size_t moved)
{
    std::vector<size_t> members;
    int64_t left = INT64_MAX, top = INT64_MAX, right = INT64_MIN, bottom = INT64_MIN;
    for (size_t j = 0; j < tiles.size(); ++j) {
        if (part[j] != moved || tiles[j].isEmpty())
            continue;
        members.push_back(j);
        left = std::min(left, tiles[j].x);
        top = std::min(top, tiles[j].y);
        right = std::max(right, tiles[j].x + tiles[j].width);
        bottom = std::max(bottom, tiles[j].y + tiles[j].height);
    }
    std::vector<bool> met(tiles.size());
    for (size_t k = 0; k < tiles.size(); ++k) {
        const Tile &t = tiles[k];
        if (part[k] == moved || met[part[k]] || t.x > right || t.x + t.width < left || t.y > bottom ||
            t.y + t.height < top)
            continue;
        met[part[k]] =
            std::any_of(members.begin(), members.end(), [&](size_t j) { return joined(tiles[j], t); });
    }
    for (size_t &p : part) {
        if (met[p])
            p = moved;
    }
}

// A part that came loose moves, whole, as an output it was joined to
// moved, so that the two stay together; one that hung on the resized output
// moves by its change in width, height or both. The first such move that
// covers nothing and joins the resized output's part is taken.
void rejoin(const Tiles &before, Tiles &after, size_t resized, bool lastAlongY)
{
    const int64_t grewX = after[resized].width - before[resized].width;
    const int64_t grewY = after[resized].height - before[resized].height;
    std::vector<size_t> part = partsOf(after);
    for (size_t round = 0; round < after.size(); ++round) {
        const auto tryMove = [&](size_t loose, int64_t dx, int64_t dy) {
            Tiles trial = after;
            for (size_t j = 0; j < trial.size(); ++j) {
                if (part[j] == part[loose]) {
                    trial[j].x += dx;
                    trial[j].y += dy;
                }
            }
            bool joins = false;
            for (size_t j = 0; j < trial.size(); ++j) {
                if (part[j] != part[loose])
                    continue;
                for (size_t k = 0; k < trial.size(); ++k) {
                    if (part[k] == part[loose])
                        continue;
                    if (overlap(trial[j], trial[k]))
                        return false;
                    joins = joins || (part[k] == part[resized] && joined(trial[j], trial[k]));
                }
            }
            if (joins) {
                after = std::move(trial);
                mergeMet(after, part, part[loose]);
            }
            return joins;
        };
        bool moved = false;
        for (size_t t = 0; t < after.size() && !moved; ++t) {
            if (part[t] == part[resized] || after[t].isEmpty())
                continue;
            // Those that moved in the last step first: the opposite resize
            // takes that step first, and so brings the part back.
            std::vector<size_t> neighbours;
            for (size_t n = 0; n < after.size(); ++n) {
                if (part[n] == part[resized] && joined(before[t], before[n]))
                    neighbours.push_back(n);
            }
            std::stable_partition(neighbours.begin(), neighbours.end(), [&](size_t n) {
                return lastAlongY ? after[n].y != before[n].y : after[n].x != before[n].x;
            });
            for (size_t n : neighbours) {
                if (moved)
                    break;
                const int64_t dx = (after[n].x - before[n].x) - (after[t].x - before[t].x);
                const int64_t dy = (after[n].y - before[n].y) - (after[t].y - before[t].y);
                moved = n == resized ? tryMove(t, dx + grewX, dy + grewY) || tryMove(t, dx + grewX, dy) ||
                                           tryMove(t, dx, dy + grewY)
                                     : tryMove(t, dx, dy);
            }
        }
        if (!moved)
            return;
    }
}

Tiles followed(const Tiles &before, size_t resized, int64_t width, int64_t height)
{
    const Tile &old = before[resized];
    Tiles tiles = before;
    const auto alongX = [&] { followAlongX(tiles, resized, width); };
    const auto alongY = [&] {
        transpose(tiles);
        followAlongX(tiles, resized, height);
        transpose(tiles);
    };
    // Shrinking first, x before y; then growth, y before x: the opposite
    // resize then takes the same steps backwards, each seeing the output
    // as the step it undoes saw it.
    if (width < old.width)
        alongX();
    if (height != old.height)
        alongY();
    if (width > old.width)
        alongX();
    if (!isClosed(tiles))
        rejoin(before, tiles, resized, width <= old.width && height != old.height);
    return tiles;
}

// Whether the tiles but one form a closed layout.
bool closedWithout(Tiles tiles, size_t index)
{
    tiles.erase(tiles.begin() + static_cast<std::ptrdiff_t>(index));
    return isClosed(tiles);
}

// The tile right of the layout, level with the rightmost one's top.
Tile rightOf(const Tiles &tiles, size_t skip, Tile tile)
{
    const Tile *rightmost = nullptr;
    for (size_t i = 0; i < tiles.size(); ++i) {
        const Tile &t = tiles[i];
        if (i == skip || t.isEmpty())
            continue;
        if (!rightmost || t.x + t.width > rightmost->x + rightmost->width ||
            (t.x + t.width == rightmost->x + rightmost->width && t.y < rightmost->y))
            rightmost = &t;
    }
    if (rightmost) {
        tile.x = rightmost->x + rightmost->width;
        tile.y = rightmost->y;
    }
    return tile;
}

// Each part cut off from anchor's goes whole right of all else, its
// leftmost tile level with the rightmost tile's top, as an output that joins
// the layout would: it covers nothing and joins what it meets, until one
// part is left.
void gather(Tiles &tiles, size_t anchor)
{
    std::vector<size_t> part = partsOf(tiles);
    for (size_t round = 0; round < tiles.size(); ++round) {
        size_t loose = tiles.size();
        for (size_t j = 0; j < tiles.size() && loose == tiles.size(); ++j) {
            if (part[j] != part[anchor] && !tiles[j].isEmpty())
                loose = j;
        }
        if (loose == tiles.size())
            return;
        Tiles others(tiles.size());
        size_t lead = loose;
        for (size_t j = 0; j < tiles.size(); ++j) {
            if (part[j] != part[loose])
                others[j] = tiles[j];
            if (part[j] == part[loose] &&
                (tiles[j].x < tiles[lead].x || (tiles[j].x == tiles[lead].x && tiles[j].y < tiles[lead].y)))
                lead = j;
        }
        const Tile to = rightOf(others, tiles.size(), tiles[lead]);
        const int64_t dx = to.x - tiles[lead].x, dy = to.y - tiles[lead].y;
        for (size_t j = 0; j < tiles.size(); ++j) {
            if (part[j] == part[loose]) {
                tiles[j].x += dx;
                tiles[j].y += dy;
            }
        }
        mergeMet(tiles, part, part[loose]);
    }
}

} // namespace

bool overlap(const Tile &a, const Tile &b)
{
    return !a.isEmpty() && !b.isEmpty() && spansMeet(a.x, a.width, b.x, b.width) &&
           spansMeet(a.y, a.height, b.y, b.height);
}

bool joined(const Tile &a, const Tile &b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    if (a.x + a.width == b.x || b.x + b.width == a.x)
        return spansMeet(a.y, a.height, b.y, b.height);
    if (a.y + a.height == b.y || b.y + b.height == a.y)
        return spansMeet(a.x, a.width, b.x, b.width);
    return false;
}

bool isClosed(const Tiles &tiles)
{
    std::vector<size_t> solid;
    for (size_t i = 0; i < tiles.size(); ++i) {
        if (!tiles[i].isEmpty())
            solid.push_back(i);
    }
    for (size_t a = 0; a < solid.size(); ++a) {
        for (size_t b = a + 1; b < solid.size(); ++b) {
            if (overlap(tiles[solid[a]], tiles[solid[b]]))
                return false;
        }
    }
    if (solid.empty())
        return true;
    std::vector<bool> reached(solid.size());
    std::vector<size_t> queue = {0};
    reached[0] = true;
    for (size_t n = 0; n < queue.size(); ++n) {
        for (size_t b = 0; b < solid.size(); ++b) {
            if (!reached[b] && joined(tiles[solid[queue[n]]], tiles[solid[b]])) {
                reached[b] = true;
                queue.push_back(b);
            }
        }
    }
    return queue.size() == solid.size();
}

bool fits(const Tile &tile)
{
    return inRange(tile.x) && inRange(tile.y) && inRange(tile.x + tile.width) &&
           inRange(tile.y + tile.height);
}

bool toOrigin(Tiles &tiles)
{
    if (tiles.empty())
        return true;
    int64_t minX = tiles.front().x, minY = tiles.front().y;
    for (const Tile &tile : tiles) {
        minX = std::min(minX, tile.x);
        minY = std::min(minY, tile.y);
    }
    Tiles moved = tiles;
    for (Tile &tile : moved) {
        tile.x -= minX;
        tile.y -= minY;
    }
    if (!std::all_of(moved.begin(), moved.end(), fits))
        return false;
    tiles = std::move(moved);
    return true;
}

Tiles resized(const Tiles &tiles, size_t index, int64_t width, int64_t height)
{
    const Tiles plain = pastCentre(tiles, index, width, height);
    if (!isClosed(tiles)) {
        // A layout someone left open keeps the centre rule, mended only
        // where it would cover an output anew.
        return gainsOverlap(tiles, plain, index) ? beside(tiles, index, width, height) : plain;
    }
    const Tiles edges = followed(tiles, index, width, height);
    if (isClosed(edges))
        return edges;
    if (isClosed(plain))
        return plain;
    const Tiles mended = beside(tiles, index, width, height);
    if (isClosed(mended))
        return mended;
    Tiles gathered = edges;
    gather(gathered, index);
    return gathered;
}

Tiles withoutTile(const Tiles &tiles, size_t index)
{
    if (closedWithout(tiles, index) || !isClosed(tiles))
        return tiles;
    // The gap closes along x, along y, or both: whichever keeps the rest
    // closed first. The leaving tile shrinks to nothing along that axis.
    const Tile &gone = tiles[index];
    const auto collapsed = [&](Tiles from, bool alongY) {
        if (alongY)
            transpose(from);
        followAlongX(from, index, 0);
        if (alongY)
            transpose(from);
        from[index] = gone;
        return from;
    };
    const Tiles alongX = collapsed(tiles, false);
    if (closedWithout(alongX, index))
        return alongX;
    const Tiles alongY = collapsed(tiles, true);
    if (closedWithout(alongY, index))
        return alongY;
    const Tiles both = collapsed(alongX, true);
    if (closedWithout(both, index))
        return both;
    Tiles rest = tiles;
    rest[index] = Tile{};
    size_t anchor = 0;
    while (anchor < rest.size() && rest[anchor].isEmpty())
        ++anchor;
    if (anchor < rest.size())
        gather(rest, anchor);
    rest[index] = gone;
    return rest;
}

Tile joining(const Tiles &lit, const Tile &wanted)
{
    // Without a size (a server that tells it only once the output is on)
    // its own place cannot be checked: right of the layout is always free.
    if (wanted.isEmpty())
        return rightOf(lit, lit.size(), wanted);
    bool anyLit = false, joins = false;
    for (const Tile &tile : lit) {
        if (tile.isEmpty())
            continue;
        anyLit = true;
        if (overlap(tile, wanted))
            return rightOf(lit, lit.size(), wanted);
        joins = joins || joined(tile, wanted);
    }
    return !anyLit || joins ? wanted : rightOf(lit, lit.size(), wanted);
}

} // namespace Dispor::LayoutRules
