#include "outputs.h"
#include "plan.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace profile;
using Cap = Dispor::Output::Capability;
using Rotation = Dispor::Output::Rotation;

// eDP-1 at the origin, primary; DP-1, a monitor with VRR, to its right.
Dispor::ConfigPtr laptopAndMonitor()
{
    const Dispor::ConfigPtr config = unit::makeConfig({
        {1, "eDP-1", "", "", "", true, 1, Cap::Disable},
        {2, "DP-1", "Dell", "U2720Q", "A1", true, 2, Cap::Vrr},
    });
    config->output(2)->setPos({1920, 0});
    return config;
}

OutputSettings enabled(const Identity &identity, QPoint position, uint32_t priority)
{
    OutputSettings settings;
    settings.identity = identity;
    settings.mode = {1920, 1080, 60};
    settings.position = position;
    settings.priority = priority;
    return settings;
}

// As laptopAndMonitor() stands: what a save would give.
Profile asItIs()
{
    Profile profile;
    profile.outputs.append(enabled({{}, {}, {}, "eDP-1"}, {0, 0}, 1));
    profile.outputs.append(enabled({"Dell", "U2720Q", "A1", {}}, {1920, 0}, 2));
    return profile;
}

TEST(Plan, ListsEachSettingThatChanges)
{
    struct Case {
        const char *what;
        std::function<void(Profile &)> edit;
        QStringList changes;
    };
    const std::vector<Case> cases = {
        {"nothing", [](Profile &) {}, {}},
        {"the mode and place of one output",
         [](Profile &p) {
             p.outputs[1].mode = {2560, 1440, 59.95};
             p.outputs[1].position = {0, 1080};
         },
         {"DP-1: mode 1920x1080@60.00 -> 2560x1440@59.95", "DP-1: position 1920,0 -> 0,1080"}},
        {"scale and rotation",
         [](Profile &p) {
             p.outputs[0].scale = 1.25;
             p.outputs[0].rotation = Rotation::Left;
         },
         {"eDP-1: scale 1 -> 1.25", "eDP-1: rotation normal -> 90"}},
        {"the primary swapped",
         [](Profile &p) {
             p.outputs[0].priority = 2;
             p.outputs[1].priority = 1;
         },
         {"eDP-1: priority 1 -> 2", "DP-1: priority 2 -> 1"}},
        {"a mirror and VRR",
         [](Profile &p) {
             p.outputs[1].mirror = p.outputs[0].identity;
             p.outputs[1].vrr = Dispor::Output::VrrPolicy::Always;
         },
         {"DP-1: mirror none -> eDP-1", "DP-1: vrr automatic -> always"}},
        {"an output switched off",
         [](Profile &p) {
             const Identity panel = p.outputs[0].identity;
             p.outputs[0] = OutputSettings();
             p.outputs[0].identity = panel;
             p.outputs[0].enabled = false;
         },
         {"eDP-1: enabled true -> false"}},
    };
    for (const Case &c : cases) {
        const Dispor::ConfigPtr config = laptopAndMonitor();
        Profile profile = asItIs();
        c.edit(profile);
        const std::optional<Assignment> assignment = assign(profile, config->connectedOutputs());
        ASSERT_TRUE(assignment) << c.what;
        QStringList changes;
        QString error;
        EXPECT_TRUE(plan(profile, *assignment, *config, &changes, &error)) << c.what;
        EXPECT_EQ(changes, c.changes) << c.what;
    }
}

TEST(Plan, RefusesWhatAnOutputCannotTake)
{
    const std::vector<std::pair<std::function<void(Profile &)>, const char *>> cases = {
        {[](Profile &p) {
             p.outputs[1].mode = {5120, 2880, 60};
         },
         "DP-1: has no mode 5120x2880@60.00"},
        {[](Profile &p) {
             p.outputs[1].mode = {1920, 1080, 50};
         },
         "DP-1: has no mode 1920x1080@50.00"},
        {[](Profile &p) { p.outputs[0].vrr = Dispor::Output::VrrPolicy::Never; },
         "eDP-1: cannot take a VRR policy"},
        {[](Profile &p) { p.outputs[1].hdr = false; }, "DP-1: cannot take HDR"},
    };
    for (const auto &[edit, expected] : cases) {
        const Dispor::ConfigPtr config = laptopAndMonitor();
        Profile profile = asItIs();
        edit(profile);
        QStringList changes;
        QString error;
        EXPECT_FALSE(plan(profile, *assign(profile, config->connectedOutputs()), *config, &changes, &error));
        EXPECT_EQ(error.toStdString(), expected);
    }
}

TEST(Plan, SetsTheSnapshot)
{
    const Dispor::ConfigPtr config = laptopAndMonitor();
    Profile profile = asItIs();
    profile.outputs[1].mode = {2560, 1440, 59.951};
    profile.outputs[1].scale = 2;
    QStringList changes;
    QString error;
    ASSERT_TRUE(plan(profile, *assign(profile, config->connectedOutputs()), *config, &changes, &error));
    const Dispor::OutputPtr dp = config->output(2);
    EXPECT_EQ(dp->currentModeId(), QStringLiteral("2"));
    EXPECT_EQ(dp->explicitLogicalSizeInt(), QSize(1280, 720));
}

} // namespace
