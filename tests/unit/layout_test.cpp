#include "commands/layout.h"

#include <dispor/config.h>

#include <gtest/gtest.h>

#include <climits>
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
