#include "commands/layout.h"

#include <dispor/config.h>

#include "output_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
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
    const ConfigPtr config =
        makeConfig({{1, {100, 200}, {1920, 1080}, false}, {2, {-50, 7}, {1920, 1080}, false}});
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
        EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                  "The layout would not fit the coordinate range\n");
        EXPECT_EQ(pos(config, 1), specs[0].pos);
        EXPECT_EQ(pos(config, 2), specs[1].pos);
    }
    // Placed above its left neighbour, the tall middle of a row would reach
    // past the range: refused after the row closed up, every place as it was.
    const ConfigPtr row = makeConfig({{1, {0, 0}}, {2, {1920, 0}, {1920, INT_MAX - 100}}, {3, {3840, 0}}});
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(placeNextTo(row->output(2), row, QStringLiteral("OUT-1"), Side::Above), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "The layout would not fit the coordinate range\n");
    EXPECT_EQ(pos(row, 2), QPoint(1920, 0));
    EXPECT_EQ(pos(row, 3), QPoint(3840, 0));
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
        {2, {959, 0}},                        // left of the centre: stays, even overlapping
        {3, {960, 0}},                        // at the centre: moves right
        {4, {0, 540}},                        // at the centre's height: moves down
        {5, {1920, 1080}},                    // both: moves diagonally
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
         2,
         {1024, 576},
         {{0, 0}, {1920, 0}, {0, 1080}}},
        // The top row closes up; the bottom row stays, as moving 6 up would
        // run it into 3.
        {"one output of a 4x2 grid",
         {{1, {0, 0}},
          {2, {1920, 0}},
          {3, {3840, 0}},
          {4, {5760, 0}},
          {5, {0, 1080}},
          {6, {1920, 1080}},
          {7, {3840, 1080}},
          {8, {5760, 1080}}},
         2,
         {1280, 720},
         {{0, 0}, {1920, 0}, {3200, 0}, {5120, 0}, {0, 1080}, {1920, 1080}, {3840, 1080}, {5760, 1080}}},
        // 4 lies below 2's row: it follows the shrink in height only.
        {"three outputs in an L and one below the right one",
         {{1, {0, 0}},
          {2, {1920, 0}, {1280, 720}},
          {3, {0, 1080}, {1024, 768}},
          {4, {2560, 1080}, {1024, 768}}},
         2,
         {1024, 576},
         {{0, 0}, {1920, 0}, {0, 1080}, {2560, 936}}},
        // 3 is tall and draws 6, which hangs on its right edge below the row.
        // 5 would run into 2, so it stays; 4 closes up.
        {"a row with a tall output and a chain off it",
         {{1, {0, 0}},
          {2, {1920, 0}},
          {3, {3840, 0}, {1080, 1920}},
          {4, {0, 1080}, {1024, 768}},
          {5, {1024, 1080}, {896, 768}},
          {6, {4920, 1080}}},
         1,
         {1280, 720},
         {{0, 0}, {1280, 0}, {3200, 0}, {0, 720}, {1024, 1080}, {4280, 1080}}},
        // Turned upright: 2 closes up, 3 makes room below, 4 keeps its place.
        {"the top left of a 2x2 grid turned",
         {{1, {0, 0}}, {2, {1920, 0}}, {3, {0, 1080}}, {4, {1920, 1080}}},
         1,
         {1080, 1920},
         {{0, 0}, {1080, 0}, {0, 1920}, {1920, 1080}}},
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

} // namespace
