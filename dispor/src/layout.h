#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The layout rules that the tool and every backend keep, on plain
// rectangles: a layout is closed when its outputs do not overlap and form
// one figure, two outputs being joined where they share a stretch of edge.
// Changes keep a closed layout closed, and a resize undone gives back the
// layout it began from.
namespace Dispor::LayoutRules {

// An output's area while a change is worked out. Wide, so that nothing
// wraps before the finished layout is known to fit.
struct Tile {
    int64_t x = 0, y = 0, width = 0, height = 0;

    bool operator==(const Tile &) const = default;
    bool isEmpty() const { return width <= 0 || height <= 0; }
};

using Tiles = std::vector<Tile>;

// Shared area, not a shared edge; an empty tile overlaps nothing.
bool overlap(const Tile &a, const Tile &b);
// A shared stretch of edge longer than 0; corners do not join.
bool joined(const Tile &a, const Tile &b);
// No two tiles overlap and all join up; empty tiles are left out.
bool isClosed(const Tiles &tiles);

// Whether the place and the far edges fit int.
bool fits(const Tile &tile);
// Moves the tiles so that the smallest x and y are 0; false, and the tiles
// as they were, when the result does not fit.
bool toOrigin(Tiles &tiles);

// The tiles after tiles[index] takes the size width x height, its top-left
// corner staying. In a closed layout the outputs that hang on an edge that
// moves follow it where they can without an overlap, those in the way of a
// growing output are pushed, and nothing else moves; this keeps the layout
// closed and is undone by the opposite resize. Elsewhere everything at or
// beyond the old centre moves by the change in size, an axis at a time,
// unless that covers an output anew. Not normalised.
Tiles resized(const Tiles &tiles, std::size_t index, int64_t width, int64_t height);

// The other tiles once tiles[index] leaves the layout (switched off, or made
// a mirror): where that cuts the layout apart, the outputs beyond the gap
// close up; otherwise nothing moves. tiles[index] itself is returned as it
// was. Not normalised.
Tiles withoutTile(const Tiles &tiles, std::size_t index);

// Where an output joining the layout goes: its own place when that place
// overlaps nothing and joins the layout (or the layout is empty), else
// right of the layout, level with the top of the rightmost output.
Tile joining(const Tiles &lit, const Tile &wanted);

} // namespace Dispor::LayoutRules
