#include "commands/layout.h"

#include <dispor/config.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using Dispor::Output;

struct Spec {
    int id;
    QPoint pos;
    QSize size = {1920, 1080};
    bool enabled = true;
    bool connected = true;
};

ConfigPtr makeConfig(const std::vector<Spec> &specs)
{
    Dispor::OutputList outputs;
    for (const Spec &spec : specs) {
        Output::Data data;
        data.id = spec.id;
        data.name = QStringLiteral("OUT-%1").arg(spec.id);
        data.pos = spec.pos;
        data.size = spec.size;
        data.enabled = spec.enabled;
        data.connected = spec.connected;
        outputs.insert(spec.id, OutputPtr::create(data));
    }
    return ConfigPtr::create(outputs);
}

QPoint pos(const ConfigPtr &config, int id)
{
    return config->output(id)->pos();
}

TEST(NormalizeLayout, MovesEnabledConnectedOutputsToTheOrigin)
{
    // The two minima come from different outputs.
    const ConfigPtr config = makeConfig({
        {1, {1920, -1080}},
        {2, {-500, 0}},
        {3, {-4000, -4000}, {800, 600}, false},       // disabled: neither counted nor moved
        {4, {-3000, -3000}, {800, 600}, true, false}, // disconnected: the same
    });
    EXPECT_EQ(normalizeLayout(config), 0);
    EXPECT_EQ(pos(config, 1), QPoint(2420, 0));
    EXPECT_EQ(pos(config, 2), QPoint(0, 1080));
    EXPECT_EQ(pos(config, 3), QPoint(-4000, -4000));
    EXPECT_EQ(pos(config, 4), QPoint(-3000, -3000));
}

TEST(NormalizeLayout, AboveThenNormalisedStacksTheOutputs)
{
    // A placed above B at (1920,0) lands at (1920,-1080) before normalising.
    const ConfigPtr config = makeConfig({{1, {1920, -1080}}, {2, {1920, 0}}});
    EXPECT_EQ(normalizeLayout(config), 0);
    EXPECT_EQ(pos(config, 1), QPoint(0, 0));
    EXPECT_EQ(pos(config, 2), QPoint(0, 1080));
}

TEST(NormalizeLayout, LeavesAnAllDisabledLayoutAlone)
{
    const ConfigPtr config = makeConfig({{1, {100, 200}, {1920, 1080}, false}, {2, {-50, 7}, {1920, 1080}, false}});
    EXPECT_EQ(normalizeLayout(config), 0);
    EXPECT_EQ(pos(config, 1), QPoint(100, 200));
    EXPECT_EQ(pos(config, 2), QPoint(-50, 7));
}

TEST(NormalizeLayout, RefusesALayoutBeyondTheCoordinateRange)
{
    const std::vector<Spec> refused[] = {
        {{1, {INT_MIN, 0}}, {2, {INT_MAX, 0}}},
        {{1, {0, INT_MIN}}, {2, {0, -1}}},
        // Far edges count too.
        {{1, {0, 0}}, {2, {INT_MAX - 1919, 0}}},
        {{1, {0, 0}}, {2, {0, INT_MAX - 1079}}},
    };
    for (const std::vector<Spec> &specs : refused) {
        const ConfigPtr config = makeConfig(specs);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(normalizeLayout(config), 1);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "The layout would not fit the coordinate range\n");
        EXPECT_EQ(pos(config, 1), specs[0].pos);
        EXPECT_EQ(pos(config, 2), specs[1].pos);
    }
    // Only just inside: computed wide, not wrapped.
    const ConfigPtr config = makeConfig({{1, {INT_MIN, -5}}, {2, {-1921, INT_MAX - 1085}}});
    EXPECT_EQ(normalizeLayout(config), 0);
    EXPECT_EQ(pos(config, 1), QPoint(0, 0));
    EXPECT_EQ(pos(config, 2), QPoint(INT_MAX - 1920, INT_MAX - 1080));
}

TEST(AdjustLayoutAfterResize, ShrinkingTheLeftOutputPullsTheRightOneIn)
{
    const ConfigPtr config = makeConfig({{1, {0, 0}}, {2, {1920, 0}}});
    const OutputPtr left = config->output(1);
    const QSize oldSize = left->explicitLogicalSizeInt();
    left->setScale(1.5);
    left->setExplicitLogicalSize(QSizeF(config->logicalSizeForOutputInt(left)));
    ASSERT_EQ(left->explicitLogicalSizeInt(), QSize(1280, 720));

    EXPECT_EQ(adjustLayoutAfterResize(left, oldSize, config), 0);
    EXPECT_EQ(pos(config, 1), QPoint(0, 0));
    EXPECT_EQ(pos(config, 2), QPoint(1280, 0)); // by -640; its top is above the old centre
}

TEST(AdjustLayoutAfterResize, MovesOnlyOutputsAtOrBeyondTheOldCentre)
{
    // Output 1 grows from 1920x1080 to 2560x1440: old centre (960, 540).
    const ConfigPtr config = makeConfig({
        {1, {0, 0}},
        {2, {959, 0}},                       // left of the centre: stays, even overlapping
        {3, {960, 0}},                       // at the centre: moves right
        {4, {0, 540}},                       // at the centre's height: moves down
        {5, {1920, 1080}},                   // both: moves diagonally
        {6, {3000, 3000}, {800, 600}, false}, // disabled: never moved
    });
    const OutputPtr grown = config->output(1);
    grown->setExplicitLogicalSize(QSizeF(2560, 1440));

    EXPECT_EQ(adjustLayoutAfterResize(grown, QSize(1920, 1080), config), 0);
    EXPECT_EQ(pos(config, 1), QPoint(0, 0));
    EXPECT_EQ(pos(config, 2), QPoint(959, 0));
    EXPECT_EQ(pos(config, 3), QPoint(1600, 0));
    EXPECT_EQ(pos(config, 4), QPoint(0, 900));
    EXPECT_EQ(pos(config, 5), QPoint(2560, 1440));
    EXPECT_EQ(pos(config, 6), QPoint(3000, 3000));
}

TEST(AdjustLayoutAfterResize, UsesTheResizedOutputsOwnPlaceForTheCentreAndNormalises)
{
    // Output 2 sits at (-1000,-1000); its old centre is (-41, -461) with an
    // odd old size whose halves truncate. Rotating it swaps 1919x1079.
    const ConfigPtr config = makeConfig({
        {1, {-41, -461}},
        {2, {-1000, -1000}, {1919, 1079}},
        {3, {-42, -462}},
    });
    const OutputPtr rotated = config->output(2);
    rotated->setExplicitLogicalSize(QSizeF(1079, 1919));

    EXPECT_EQ(adjustLayoutAfterResize(rotated, QSize(1919, 1079), config), 0);
    // Output 1 moves by (-840, +840), output 3 stays; then all shift by (1000, 1000).
    EXPECT_EQ(pos(config, 1), QPoint(119, 1379));
    EXPECT_EQ(pos(config, 2), QPoint(0, 0));
    EXPECT_EQ(pos(config, 3), QPoint(958, 538));
}

TEST(AdjustLayoutAfterResize, KeepsOutputsBesideTheResizedOneOutOfOthers)
{
    struct Case {
        const char *what;
        std::vector<Spec> layout;
        int resized;
        QSize size;
        std::vector<QPoint> after; // in id order
    };
    const Case cases[] = {
        // Moving 3 up by 144 would put it onto 1: nothing moves.
        {"three outputs in an L",
         {{1, {0, 0}}, {2, {1920, 0}, {1280, 720}}, {3, {0, 1080}, {1024, 768}}},
         2, {1024, 576}, {{0, 0}, {1920, 0}, {0, 1080}}},
        // The top row closes up; the bottom row stays, as moving 6 up would
        // run it into 3.
        {"one output of a 4x2 grid",
         {{1, {0, 0}}, {2, {1920, 0}}, {3, {3840, 0}}, {4, {5760, 0}},
          {5, {0, 1080}}, {6, {1920, 1080}}, {7, {3840, 1080}}, {8, {5760, 1080}}},
         2, {1280, 720},
         {{0, 0}, {1920, 0}, {3200, 0}, {5120, 0}, {0, 1080}, {1920, 1080}, {3840, 1080}, {5760, 1080}}},
        // 4 lies below 2's row: it follows the shrink in height only.
        {"three outputs in an L and one below the right one",
         {{1, {0, 0}}, {2, {1920, 0}, {1280, 720}}, {3, {0, 1080}, {1024, 768}}, {4, {2560, 1080}, {1024, 768}}},
         2, {1024, 576}, {{0, 0}, {1920, 0}, {0, 1080}, {2560, 936}}},
        // 3 is tall and draws 6, which hangs on its right edge below the row.
        // 5 would run into 2, so it stays; 4 closes up.
        {"a row with a tall output and a chain off it",
         {{1, {0, 0}}, {2, {1920, 0}}, {3, {3840, 0}, {1080, 1920}}, {4, {0, 1080}, {1024, 768}},
          {5, {1024, 1080}, {896, 768}}, {6, {4920, 1080}}},
         1, {1280, 720}, {{0, 0}, {1280, 0}, {3200, 0}, {0, 720}, {1024, 1080}, {4280, 1080}}},
        // Turned upright: 2 closes up, 3 makes room below, 4 keeps its place.
        {"the top left of a 2x2 grid turned",
         {{1, {0, 0}}, {2, {1920, 0}}, {3, {0, 1080}}, {4, {1920, 1080}}},
         1, {1080, 1920}, {{0, 0}, {1080, 0}, {0, 1920}, {1920, 1080}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const ConfigPtr config = makeConfig(c.layout);
        const OutputPtr resized = config->output(c.resized);
        const QSize oldSize = resized->explicitLogicalSizeInt();
        resized->setExplicitLogicalSize(QSizeF(c.size));
        EXPECT_EQ(adjustLayoutAfterResize(resized, oldSize, config), 0);
        for (size_t i = 0; i < c.after.size(); ++i)
            EXPECT_EQ(pos(config, int(i) + 1), c.after[i]) << "output " << i + 1;
    }
}

TEST(AdjustLayoutAfterResize, RefusesALayoutBeyondTheCoordinateRange)
{
    // 2 ends at the last coordinate; growing 1 would push it past.
    const std::vector<Spec> specs = {{1, {INT_MAX - 3840, 0}}, {2, {INT_MAX - 1920, 0}}, {3, {0, 1080}}};
    const ConfigPtr config = makeConfig(specs);
    const OutputPtr grown = config->output(1);
    grown->setExplicitLogicalSize(QSizeF(2560, 1440));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(adjustLayoutAfterResize(grown, QSize(1920, 1080), config), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "The layout would not fit the coordinate range\n");
    for (const Spec &spec : specs)
        EXPECT_EQ(pos(config, spec.id), spec.pos);
}

// The property test below works on plain rectangles.
struct Rect {
    int64_t x, y, w, h;
    bool operator==(const Rect &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Rect &r)
{
    return os << r.w << "x" << r.h << "+" << r.x << "+" << r.y;
}

bool overlap(const Rect &a, const Rect &b)
{
    return a.w > 0 && a.h > 0 && b.w > 0 && b.h > 0 && a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h &&
           b.y < a.y + a.h;
}

int64_t centreX(const Rect &r) { return r.x + r.w / 2; }
int64_t centreY(const Rect &r) { return r.y + r.h / 2; }

// The rule as it was: everything at or past the old centre moves by the
// change, each axis on its own; then to the origin.
std::vector<Rect> plainRule(std::vector<Rect> rects, size_t resized, QSize size)
{
    const Rect old = rects[resized];
    for (size_t i = 0; i < rects.size(); ++i) {
        if (i == resized)
            continue;
        if (rects[i].x >= centreX(old))
            rects[i].x += size.width() - old.w;
        if (rects[i].y >= centreY(old))
            rects[i].y += size.height() - old.h;
    }
    rects[resized].w = size.width();
    rects[resized].h = size.height();
    int64_t minX = rects[0].x, minY = rects[0].y;
    for (const Rect &r : rects) {
        minX = std::min(minX, r.x);
        minY = std::min(minY, r.y);
    }
    for (Rect &r : rects) {
        r.x -= minX;
        r.y -= minY;
    }
    return rects;
}

// Whether two overlap after that did not before. The resized output may
// come to cover one left of or above its old centre, but with sizes that
// are not empty not even that happens.
bool gainsOverlap(const std::vector<Rect> &before, const std::vector<Rect> &after)
{
    for (size_t i = 0; i < after.size(); ++i) {
        for (size_t j = i + 1; j < after.size(); ++j) {
            if (overlap(after[i], after[j]) && !overlap(before[i], before[j]))
                return true;
        }
    }
    return false;
}

const QSize sizes[] = {{1920, 1080}, {1280, 720}, {1024, 768}, {2560, 1440},
                       {1080, 1920}, {800, 600},  {3840, 2160}, {1366, 768}};

QSize anySize(std::mt19937 &rng)
{
    if (rng() % 4 == 0)
        return QSize(int(200 + rng() % 3800), int(200 + rng() % 2400));
    return sizes[rng() % std::size(sizes)];
}

// Rows and columns of their own heights and widths.
std::vector<Rect> grid(std::mt19937 &rng)
{
    const size_t rows = 1 + rng() % 3, columns = 1 + rng() % 4;
    const bool even = rng() % 2 == 0;
    const QSize cell = anySize(rng);
    std::vector<int64_t> widths, heights;
    for (size_t c = 0; c < columns; ++c)
        widths.push_back(even ? cell.width() : anySize(rng).width());
    for (size_t r = 0; r < rows; ++r)
        heights.push_back(even ? cell.height() : anySize(rng).height());
    std::vector<Rect> rects;
    int64_t y = 0;
    for (size_t r = 0; r < rows; ++r) {
        int64_t x = 0;
        for (size_t c = 0; c < columns; ++c) {
            rects.push_back({x, y, widths[c], heights[r]});
            x += widths[c];
        }
        y += heights[r];
    }
    return rects;
}

// Each output put against a side of one already there, sharing a stretch
// of that edge and overlapping none.
std::vector<Rect> attached(std::mt19937 &rng)
{
    const size_t count = 2 + rng() % 7;
    const QSize first = anySize(rng);
    std::vector<Rect> rects = {{0, 0, first.width(), first.height()}};
    for (int tries = 0; rects.size() < count && tries < 200; ++tries) {
        const Rect p = rects[rng() % rects.size()];
        const QSize size = anySize(rng);
        Rect q{0, 0, size.width(), size.height()};
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
            q.x = p.x - q.w, q.y = slide(p.y, p.h, q.h);
            break;
        case 1:
            q.x = p.x + p.w, q.y = slide(p.y, p.h, q.h);
            break;
        case 2:
            q.y = p.y - q.h, q.x = slide(p.x, p.w, q.w);
            break;
        default:
            q.y = p.y + p.h, q.x = slide(p.x, p.w, q.w);
            break;
        }
        if (std::none_of(rects.begin(), rects.end(), [&](const Rect &r) { return overlap(r, q); }))
            rects.push_back(q);
    }
    return rects;
}

TEST(AdjustLayoutAfterResize, KeepsClosedLayoutsFreeOfNewOverlaps)
{
    std::mt19937 rng(20240611);
    int plain = 0, mended = 0;
    for (int n = 0; n < 2000; ++n) {
        const std::vector<Rect> before = n % 3 == 0 ? grid(rng) : attached(rng);
        const size_t resized = rng() % before.size();
        const QSize size = rng() % 10 == 0 ? QSize(int(before[resized].w), int(before[resized].h)) : anySize(rng);

        std::vector<Spec> specs;
        for (size_t i = 0; i < before.size(); ++i) {
            const Rect &r = before[i];
            specs.push_back({int(i) + 1, QPoint(int(r.x), int(r.y)), QSize(int(r.w), int(r.h))});
        }
        const ConfigPtr config = makeConfig(specs);
        const OutputPtr output = config->output(int(resized) + 1);
        output->setExplicitLogicalSize(QSizeF(size));
        ASSERT_EQ(adjustLayoutAfterResize(output, QSize(int(before[resized].w), int(before[resized].h)), config), 0);

        std::vector<Rect> after;
        for (size_t i = 0; i < before.size(); ++i) {
            const QPoint p = pos(config, int(i) + 1);
            after.push_back({p.x(), p.y(), i == resized ? size.width() : before[i].w,
                             i == resized ? size.height() : before[i].h});
        }
        const std::vector<Rect> reference = plainRule(before, resized, size);
        SCOPED_TRACE(::testing::PrintToString(before) + " output " + std::to_string(resized) + " to " +
                     std::to_string(size.width()) + "x" + std::to_string(size.height()) + " gives " +
                     ::testing::PrintToString(after));

        ASSERT_FALSE(gainsOverlap(before, after));
        ASSERT_EQ(std::min_element(after.begin(), after.end(), [](auto &a, auto &b) { return a.x < b.x; })->x, 0);
        ASSERT_EQ(std::min_element(after.begin(), after.end(), [](auto &a, auto &b) { return a.y < b.y; })->y, 0);
        if (!gainsOverlap(before, reference)) {
            ASSERT_EQ(after, reference);
            ++plain;
            continue;
        }
        ++mended;
        // Otherwise each output moves, relative to the resized one, as the
        // plain rule moves it or not at all.
        for (size_t i = 0; i < before.size(); ++i) {
            const int64_t dx = (after[i].x - after[resized].x) - (before[i].x - before[resized].x);
            const int64_t dy = (after[i].y - after[resized].y) - (before[i].y - before[resized].y);
            const int64_t plainDx = (reference[i].x - reference[resized].x) - (before[i].x - before[resized].x);
            const int64_t plainDy = (reference[i].y - reference[resized].y) - (before[i].y - before[resized].y);
            ASSERT_TRUE(dx == 0 || dx == plainDx) << "output " << i;
            ASSERT_TRUE(dy == 0 || dy == plainDy) << "output " << i;
        }
    }
    // Both ways are taken often enough to mean something.
    EXPECT_GT(plain, 400);
    EXPECT_GT(mended, 300);
}

} // namespace
