// The library on the Wayland backend in this process: what one apply
// carries, and what it leaves to others.

#include "support.h"

#include <dispor/dispor.h>

#include <gtest/gtest.h>

namespace {

using wayland_test::Compositor;

const std::vector<std::string> twoMonitors = {
    "--max-size", "2560x1600",                              //
    "--output",   "DP-1:1920x1080@60000:Dell:U2720:ABC123", //
    "--output",   "HDMI-A-1:1280x1024@75025:LG:Flat:XY9",   //
};

Dispor::ConfigPtr fetch()
{
    Dispor::GetConfigOperation operation;
    EXPECT_TRUE(operation.exec());
    return operation.config();
}

Dispor::OutputPtr named(const Dispor::ConfigPtr &config, const QString &name)
{
    for (const Dispor::OutputPtr &output : config->outputs()) {
        if (output->name() == name)
            return output;
    }
    ADD_FAILURE() << "no output " << name.toStdString();
    return Dispor::OutputPtr::create();
}

TEST(WaylandLibrary, ARefusedConfigurationChangesNothing)
{
    const Compositor compositor = Compositor::ours(twoMonitors);
    wayland_test::useInProcess(compositor);
    const std::string before = wayland_test::wlrRandr(compositor);

    const Dispor::ModeInfo large{3840, 2160, 60, Dispor::ModeInfo::UserDefined, {}};
    const Dispor::ModeInfo small{1024, 768, 60, Dispor::ModeInfo::UserDefined, {}};
    Dispor::ConfigPtr config = fetch();
    ASSERT_TRUE(config);
    named(config, "HDMI-A-1")->setCustomModes({large});
    ASSERT_TRUE(Dispor::SetConfigOperation(config).exec());
    const std::string file =
        compositor.runtimeDir() + "/dispor/wayland-" + compositor.socket() + "-custom-modes.json";
    const std::string listed = e2e::readFile(file);

    // Beyond the compositor's limit: nothing of it is kept, by the
    // compositor or in the list.
    config = fetch();
    named(config, "DP-1")->setPos({0, 2000});
    named(config, "HDMI-A-1")->setCurrentModeId("custom-3840x2160@60.00");
    named(config, "HDMI-A-1")->setCustomModes({large, small});
    Dispor::SetConfigOperation apply(config);
    EXPECT_FALSE(apply.exec());
    EXPECT_EQ(apply.errorString(), "the compositor refused the output configuration");
    EXPECT_EQ(wayland_test::wlrRandr(compositor), before);
    EXPECT_EQ(e2e::readFile(file), listed);

    // The same snapshot, with the refused part taken back, applies.
    named(config, "HDMI-A-1")->setCurrentModeId("1");
    Dispor::SetConfigOperation retry(config);
    EXPECT_TRUE(retry.exec()) << retry.errorString().toStdString();
    EXPECT_EQ(wayland_test::wlrRandr(compositor),
              "DP-1 on 0,2000 1920x1080 normal 1.000000\nHDMI-A-1 on 1920,0 1280x1024 normal 1.000000\n");
    EXPECT_EQ(named(fetch(), "HDMI-A-1")->customModes(), (QList<Dispor::ModeInfo>{large, small}));
}

TEST(WaylandLibrary, CustomModeListsConflictLikeTheOutputs)
{
    const Compositor compositor = Compositor::ours(twoMonitors);
    wayland_test::useInProcess(compositor);
    const Dispor::ModeInfo mode{1024, 768, 60, Dispor::ModeInfo::UserDefined, {}};
    const Dispor::ConfigPtr first = fetch();
    const Dispor::ConfigPtr second = fetch();
    ASSERT_TRUE(first && second);
    named(first, "DP-1")->setCustomModes({mode});
    ASSERT_TRUE(Dispor::SetConfigOperation(first).exec());
    // Fetched before: the list it would replace is gone, so nothing of it
    // is applied, not even its position.
    named(second, "DP-1")->setCustomModes({mode, mode});
    named(second, "DP-1")->setPos({0, 100});
    Dispor::SetConfigOperation late(second);
    EXPECT_FALSE(late.exec());
    EXPECT_TRUE(late.isConflict());
    EXPECT_EQ(late.errorString(), "DP-1: the custom modes changed since they were read");
    EXPECT_EQ(wayland_test::wlrRandr(compositor),
              "DP-1 on 0,0 1920x1080 normal 1.000000\nHDMI-A-1 on 1920,0 1280x1024 normal 1.000000\n");
    EXPECT_EQ(named(fetch(), "DP-1")->customModes(), QList<Dispor::ModeInfo>{mode});
}

TEST(WaylandLibrary, SnapshotsApplyOnlyWhatTheyChanged)
{
    const Compositor compositor = Compositor::ours(twoMonitors);
    wayland_test::useInProcess(compositor);

    const Dispor::ConfigPtr first = fetch();
    const Dispor::ConfigPtr second = fetch();
    ASSERT_TRUE(first && second);
    named(first, "DP-1")->setScale(2);
    named(second, "HDMI-A-1")->setPos({3000, 40});
    named(second, "HDMI-A-1")->setRotation(Dispor::Output::Rotation::Right);
    Dispor::SetConfigOperation applyFirst(first);
    EXPECT_TRUE(applyFirst.exec()) << applyFirst.errorString().toStdString();
    const std::string afterFirst = wayland_test::wlrRandr(compositor);
    // Fetched before the first apply: out of date, nothing of it applied.
    Dispor::SetConfigOperation applySecond(second);
    EXPECT_FALSE(applySecond.exec());
    EXPECT_TRUE(applySecond.isConflict());
    EXPECT_EQ(applySecond.errorString(), "the outputs changed since they were read");
    EXPECT_EQ(wayland_test::wlrRandr(compositor), afterFirst);

    // Applied once, a snapshot carries only what changes next.
    named(first, "DP-1")->setPos({5, 5});
    Dispor::SetConfigOperation again(first);
    EXPECT_TRUE(again.exec()) << again.errorString().toStdString();
    EXPECT_EQ(wayland_test::wlrRandr(compositor),
              "DP-1 on 5,5 1920x1080 normal 2.000000\nHDMI-A-1 on 1920,0 1280x1024 normal 1.000000\n");
}

TEST(WaylandLibrary, AnAppliedSnapshotIsOutOfDateOnceAnotherClientChangesTheOutputs)
{
    const Compositor compositor = Compositor::ours(twoMonitors);
    wayland_test::useInProcess(compositor);
    const Dispor::ConfigPtr mine = fetch();
    ASSERT_TRUE(mine);
    named(mine, "DP-1")->setPos({0, 10});
    ASSERT_TRUE(Dispor::SetConfigOperation(mine).exec());
    // Another connection changes the heads after this snapshot's apply.
    const Dispor::ConfigPtr other = fetch();
    ASSERT_TRUE(other);
    named(other, "HDMI-A-1")->setPos({1920, 30});
    ASSERT_TRUE(Dispor::SetConfigOperation(other).exec());
    const std::string afterOther = wayland_test::wlrRandr(compositor);

    named(mine, "DP-1")->setPos({0, 20});
    Dispor::SetConfigOperation again(mine);
    EXPECT_FALSE(again.exec());
    EXPECT_TRUE(again.isConflict());
    EXPECT_EQ(again.errorString(), "the outputs changed since they were read");
    EXPECT_EQ(wayland_test::wlrRandr(compositor), afterOther);
}

TEST(WaylandLibrary, PowerFailureIsReported)
{
    std::vector<std::string> arguments = twoMonitors;
    arguments.push_back("--no-power");
    const Compositor compositor = Compositor::ours(arguments);
    wayland_test::useInProcess(compositor);
    Dispor::Dpms dpms;
    QList<bool> reports;
    QObject::connect(&dpms, &Dispor::Dpms::hasPendingChangesChanged,
                     [&reports](bool pending) { reports.append(pending); });
    dpms.switchMode(Dispor::Dpms::Off);
    EXPECT_EQ(reports, (QList<bool>{true, false}));
    EXPECT_TRUE(dpms.hasError());
    EXPECT_EQ(dpms.errorString(),
              "the compositor offers no output power management (zwlr_output_power_manager_v1), "
              "so it cannot switch display power");
}

} // namespace
