#include "layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace {

using namespace Dispor::LayoutRules;

std::string describe(const Tiles &tiles)
{
    std::string text;
    for (const Tile &t : tiles)
        text += std::to_string(t.width) + "x" + std::to_string(t.height) + "+" + std::to_string(t.x) + "+" +
                std::to_string(t.y) + " ";
    return text;
}

struct Size {
    int64_t width, height;
};

const Size sizes[] = {{1920, 1080}, {1280, 720}, {1024, 768},  {2560, 1440},
                      {1080, 1920}, {800, 600},  {3840, 2160}, {1366, 768}};

Size anySize(std::mt19937 &rng)
{
    if (rng() % 4 == 0)
        return {int64_t(200 + rng() % 3800), int64_t(200 + rng() % 2400)};
    return sizes[rng() % std::size(sizes)];
}

// Rows and columns of their own heights and widths.
Tiles grid(std::mt19937 &rng)
{
    const size_t rows = 1 + rng() % 3, columns = 1 + rng() % 4;
    const bool even = rng() % 2 == 0;
    const Size cell = anySize(rng);
    std::vector<int64_t> widths, heights;
    for (size_t c = 0; c < columns; ++c)
        widths.push_back(even ? cell.width : anySize(rng).width);
    for (size_t r = 0; r < rows; ++r)
        heights.push_back(even ? cell.height : anySize(rng).height);
    Tiles tiles;
    int64_t y = 0;
    for (size_t r = 0; r < rows; ++r) {
        int64_t x = 0;
        for (size_t c = 0; c < columns; ++c) {
            tiles.push_back({x, y, widths[c], heights[r]});
            x += widths[c];
        }
        y += heights[r];
    }
    return tiles;
}

// Each output put against a side of one already there, sharing a stretch
// of that edge and overlapping none.
Tiles attached(std::mt19937 &rng)
{
    const size_t count = 2 + rng() % 7;
    const Size first = anySize(rng);
    Tiles tiles = {{0, 0, first.width, first.height}};
    for (int tries = 0; tiles.size() < count && tries < 200; ++tries) {
        const Tile p = tiles[rng() % tiles.size()];
        const Size size = anySize(rng);
        Tile q{0, 0, size.width, size.height};
        const auto slide = [&](int64_t start, int64_t length, int64_t own) {
            switch (rng() % 3) {
            case 0:
                return start;
            case 1:
                return start + length - own;
            default:
                return start - own + 1 + int64_t(rng() % uint64_t(length + own - 1));
            }
        };
        switch (rng() % 4) {
        case 0:
            q.x = p.x - q.width, q.y = slide(p.y, p.height, q.height);
            break;
        case 1:
            q.x = p.x + p.width, q.y = slide(p.y, p.height, q.height);
            break;
        case 2:
            q.y = p.y - q.height, q.x = slide(p.x, p.width, q.width);
            break;
        default:
            q.y = p.y + p.height, q.x = slide(p.x, p.width, q.width);
            break;
        }
        if (std::none_of(tiles.begin(), tiles.end(), [&](const Tile &t) { return overlap(t, q); }))
            tiles.push_back(q);
    }
    return tiles;
}

Tiles without(Tiles tiles, size_t index)
{
    tiles.erase(tiles.begin() + std::ptrdiff_t(index));
    return tiles;
}

// Random closed layouts put through random changes: each leaves the layout
// closed. In grids (rows and columns of their own sizes) each resize undone
// gives back the layout exactly. Outputs attached at any stretch of an edge
// cannot all come back, as an edge that shrinks has fewer places on it than
// it had (one output beside a taller one, bottoms level, that shrinks to
// below the first one's top): there most do, and the share is held. The
// seed and counts can be raised for a longer run by hand.
TEST(LayoutRules, ChangesKeepALayoutClosedAndResizesUndoThemselves)
{
    std::mt19937 rng(20261208);
    int resizes = 0, undone = 0;
    for (int n = 0; n < 1200; ++n) {
        const bool inGrid = n % 2 == 0;
        Tiles tiles = inGrid ? grid(rng) : attached(rng);
        ASSERT_TRUE(isClosed(tiles)) << describe(tiles);
        for (int step = 0; step < 4; ++step) {
            const size_t index = rng() % tiles.size();
            const Tile old = tiles[index];
            SCOPED_TRACE(describe(tiles) + "output " + std::to_string(index));
            if (!inGrid && rng() % 5 == 0 && tiles.size() > 1) {
                const Tiles rest = without(withoutTile(tiles, index), index);
                ASSERT_TRUE(isClosed(rest)) << "switched off: " << describe(rest);
                tiles = rest;
                tiles.push_back(joining(rest, old));
                ASSERT_TRUE(isClosed(tiles)) << "switched on: " << describe(tiles);
                continue;
            }
            const Size size = rng() % 3 == 0 ? Size{old.height, old.width} : anySize(rng);
            const Tiles after = resized(tiles, index, size.width, size.height);
            ASSERT_EQ(after[index], (Tile{old.x, old.y, size.width, size.height}));
            ASSERT_TRUE(isClosed(after)) << "resized: " << describe(after);
            const Tiles back = resized(after, index, old.width, old.height);
            ASSERT_TRUE(isClosed(back)) << "undone: " << describe(back);
            if (inGrid) {
                ASSERT_EQ(back, tiles) << "resized: " << describe(after) << "undone: " << describe(back);
            } else {
                ++resizes;
                undone += back == tiles;
            }
            // A grid stays a grid only where it was undone.
            tiles = inGrid ? back : after;
        }
    }
    EXPECT_GT(undone * 100, resizes * 75) << undone << " of " << resizes;
}

TEST(LayoutRules, KeepsThePlainRuleInRowsAndColumns)
{
    // A row and a column: the outputs past the resized one move by its
    // change, the others stay.
    const Tiles row = {{0, 0, 1920, 1080}, {1920, 0, 1920, 1080}, {3840, 0, 1280, 720}};
    EXPECT_EQ(resized(row, 1, 1280, 720),
              (Tiles{{0, 0, 1920, 1080}, {1920, 0, 1280, 720}, {3200, 0, 1280, 720}}));
    const Tiles column = {{0, 0, 1920, 1080}, {0, 1080, 1920, 1080}};
    EXPECT_EQ(resized(column, 0, 2560, 1440), (Tiles{{0, 0, 2560, 1440}, {0, 1440, 1920, 1080}}));
}

TEST(LayoutRules, ClosesTheGapsThatTheIssueFound)
{
    struct Case {
        const char *what;
        Tiles before;
        size_t index;
        Size size;
        Tiles after;
    };
    const Case cases[] = {
        {"a 2x2 grid's top left shrinks",
         {{0, 0, 1920, 1080}, {1920, 0, 1920, 1080}, {0, 1080, 1920, 1080}, {1920, 1080, 1920, 1080}},
         0,
         {1280, 720},
         {{0, 0, 1280, 720}, {1280, 0, 1920, 1080}, {0, 1080, 1920, 1080}, {1920, 1080, 1920, 1080}}},
        {"one output right and one below, scaled to 200 %",
         {{0, 0, 1920, 1080}, {1920, 0, 1920, 1080}, {0, 1080, 1920, 1080}},
         0,
         {960, 540},
         {{0, 0, 960, 540}, {960, 0, 1920, 1080}, {0, 1080, 1920, 1080}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const Tiles after = resized(c.before, c.index, c.size.width, c.size.height);
        EXPECT_EQ(after, c.after) << describe(after);
        EXPECT_EQ(resized(after, c.index, c.before[c.index].width, c.before[c.index].height), c.before);
    }
}

TEST(LayoutRules, OutputsBeyondAGapCloseUp)
{
    const Tiles row = {
        {0, 0, 1920, 1080}, {1920, 0, 1920, 1080}, {3840, 0, 1920, 1080}, {5760, 0, 1920, 1080}};
    EXPECT_EQ(without(withoutTile(row, 1), 1),
              (Tiles{{0, 0, 1920, 1080}, {1920, 0, 1920, 1080}, {3840, 0, 1920, 1080}}));
    // Nothing comes loose: nothing moves.
    EXPECT_EQ(withoutTile(row, 3), row);
    const Tiles column = {{0, 0, 1920, 1080}, {0, 1080, 1280, 720}, {0, 1800, 1920, 1080}};
    EXPECT_EQ(without(withoutTile(column, 1), 1), (Tiles{{0, 0, 1920, 1080}, {0, 1080, 1920, 1080}}));
}

TEST(LayoutRules, AnOutputJoinsAtItsOwnPlaceWhenFreeElseRightOfTheLayout)
{
    const Tiles lit = {{0, 0, 1920, 1080}, {1920, 200, 1280, 720}};
    // Free and touching: kept.
    EXPECT_EQ(joining(lit, {0, 1080, 800, 600}), (Tile{0, 1080, 800, 600}));
    // Taken, or touching nothing: right of the rightmost output, level with its top.
    EXPECT_EQ(joining(lit, {100, 100, 800, 600}), (Tile{3200, 200, 800, 600}));
    EXPECT_EQ(joining(lit, {5000, 5000, 800, 600}), (Tile{3200, 200, 800, 600}));
    EXPECT_EQ(joining({}, {5000, 5000, 800, 600}), (Tile{5000, 5000, 800, 600}));
}

} // namespace
