#include "picture_cases.h"

#include <algorithm>

using namespace picture;

namespace {

const std::string settings = document(dp1Settings);
const std::string plain = document("");

TEST(Misc, RangedNumbers)
{
    On(settings).expectChanges({
        {{"DP-1", "set-abm", "4"}, {"DP-1.abmLevel=4"}},
        {{"DP-1", "set-abm", "0"}, {"DP-1.abmLevel=0"}},
        {{"DP-1", "set-overscan", "100"}, {"DP-1.overscan=100"}},
        {{"DP-1", "set-overscan", "0"}, {"DP-1.overscan=0"}},
        {{"DP-1", "set-sharpness", "50"}, {"DP-1.sharpness=0.5"}},
        {{"DP-1", "set-sharpness", "100"}, {"DP-1.sharpness=1"}},
        {{"DP-1", "set-sharpness", "0"}, {"DP-1.sharpness=0"}},
    });
    On(settings).expectRefusals({
        {{"DP-1", "set-abm", "5"}, "Allowed values for abm level are 0, 1, 2, 3, 4"},
        {{"DP-1", "set-abm", "-1"}, "Allowed values for abm level are 0, 1, 2, 3, 4"},
        {{"DP-1", "set-abm", "two"}, "Invalid argument: two"},
        {{"DP-1", "set-overscan", "101"}, "Allowed range for overscan is 0 to 100"},
        {{"DP-1", "set-overscan", "-1"}, "Allowed range for overscan is 0 to 100"},
        {{"DP-1", "set-overscan", "10%"}, "Invalid argument: 10%"},
        {{"DP-1", "set-sharpness", "101"}, "Allowed range for sharpness is 0 to 100"},
        {{"DP-1", "set-sharpness", "0.5"}, "Invalid argument: 0.5"},
        {{"HDMI-A-1", "set-abm", "1"},
         lacks("adaptive backlight modulation", "has no adaptive backlight modulation")},
        {{"HDMI-A-1", "set-overscan", "3"}, lacks("the overscan", "has no overscan control")},
        {{"HDMI-A-1", "set-sharpness", "30"}, lacks("the sharpness", "has no sharpness control")},
    });
}

TEST(Misc, MaxBitsPerColor)
{
    On(settings).expectChanges({
        {{"DP-1", "set-maxbpc", "automatic"}, {"DP-1.maxBitsPerColor=0"}},
        {{"DP-1", "set-maxbpc", "8"}, {"DP-1.maxBitsPerColor=8"}},
        {{"DP-1", "set-maxbpc", "6"}, {"DP-1.maxBitsPerColor=6"}},
        {{"DP-1", "set-maxbpc", "16"}, {"DP-1.maxBitsPerColor=16"}},
        {{"DP-1", "set-maxbpc", "10"}, {}},
    });
    On(settings).expectRefusals({
        {{"DP-1", "set-maxbpc", "7"}, "Only whole numbers between 6 and 16 are allowed"},
        {{"DP-1", "set-maxbpc", "15"}, "Only whole numbers between 6 and 16 are allowed"},
        {{"DP-1", "set-maxbpc", "4"}, "Only whole numbers between 6 and 16 are allowed"},
        {{"DP-1", "set-maxbpc", "18"}, "Only whole numbers between 6 and 16 are allowed"},
        {{"DP-1", "set-maxbpc", "-8"}, "Only whole numbers between 6 and 16 are allowed"},
        {{"DP-1", "set-maxbpc", "Automatic"}, "Invalid argument: Automatic"},
        {{"DP-1", "set-maxbpc", "8.0"}, "Invalid argument: 8.0"},
        {{"HDMI-A-1", "set-maxbpc", "8"},
         lacks("the maximum bits per colour", "has no setting for the bits per colour")},
    });
}

TEST(Misc, Words)
{
    On(settings).expectChanges({
        {{"DP-1", "set-auto-rotate", "in-tablet-mode"}, {"DP-1.autoRotatePolicy=\"in-tablet-mode\""}},
        {{"DP-1", "set-auto-rotate", "never"}, {"DP-1.autoRotatePolicy=\"never\""}},
        {{"DP-1", "set-vrr-policy", "automatic"}, {"DP-1.vrrPolicy=\"automatic\""}},
        {{"DP-1", "set-vrr-policy", "always"}, {"DP-1.vrrPolicy=\"always\""}},
        {{"DP-1", "set-vrr-policy", "never"}, {}},
        {{"DP-1", "set-ddc-ci-allowed", "off"}, {"DP-1.ddcCiAllowed=false"}},
    });
    On(plain).expectChanges({
        {{"DP-1", "set-auto-rotate", "always"}, {"DP-1.autoRotatePolicy=\"always\""}},
        {{"DP-1", "set-vrr-policy", "never"}, {"DP-1.vrrPolicy=\"never\""}},
        {{"DP-1", "set-ddc-ci-allowed", "true"}, {"DP-1.ddcCiAllowed=true"}},
        {{"DP-1", "set-ddc-ci-allowed", "false"}, {}},
    });
    On(settings).expectRefusals({
        {{"DP-1", "set-auto-rotate", "tablet"}, "Invalid argument: tablet"},
        {{"DP-1", "set-auto-rotate", "Never"}, "Invalid argument: Never"},
        {{"DP-1", "set-vrr-policy", "auto"}, "Invalid argument: auto"},
        {{"DP-1", "set-ddc-ci-allowed", "allowed"}, "Invalid argument: allowed"},
        {{"HDMI-A-1", "set-auto-rotate", "never"}, lacks("automatic rotation", "has no automatic rotation")},
        {{"HDMI-A-1", "set-vrr-policy", "always"}, lacks("the VRR policy", "has no VRR support")},
        {{"HDMI-A-1", "set-ddc-ci-allowed", "on"}, lacks("the DDC/CI permission", "has no DDC/CI")},
    });
}

TEST(Misc, ReplicaOf)
{
    const std::string closedUp = "HDMI-A-1.pos={\"x\":1920,\"y\":0}";
    On(plain).expectChanges({
        // The mirror leaves its place: HDMI-A-1 closes up.
        {{"DP-1", "set-replica-of", "eDP-1"}, {"DP-1.replicationSource=1", closedUp}},
        {{"DP-1", "set-replica-of", "1"}, {"DP-1.replicationSource=1", closedUp}},
        {{"DP-1", "set-replica-of", "primary-output"}, {"DP-1.replicationSource=1", closedUp}},
        {{"DP-1", "set-replica-of", "HDMI-A-1"}, {"DP-1.replicationSource=3", closedUp}},
        {{"eDP-1", "set-replica-of", "3b1f8e2c-dp1"}, {"eDP-1.replicationSource=2"}},
        // Clearing applies even when nothing is mirrored.
        {{"DP-1", "set-replica-of", "none"}, {}},
    });
    On(settings).expectChanges({
        {{"DP-1", "set-replica-of", "none"}, {"DP-1.replicationSource=0"}},
        {{"DP-1", "set-replica-of", "HDMI-A-1"}, {"DP-1.replicationSource=3"}},
    });
    On(settings).expectRefusals({
        // The word as typed, not the connector name.
        {{"DP-1", "set-replica-of", "DP-1"}, "DP-1 cannot mirror itself"},
        {{"DP-1", "set-replica-of", "2"}, "2 cannot mirror itself"},
        {{"DP-1", "set-replica-of", "3b1f8e2c-dp1"}, "3b1f8e2c-dp1 cannot mirror itself"},
        {{"eDP-1", "set-replica-of", "primary-output"}, "primary-output cannot mirror itself"},
        {{"DP-1", "set-replica-of", "HDMI-9"}, "Unknown replication source: HDMI-9"},
        {{"DP-1", "set-replica-of", "None"}, "Unknown replication source: None"},
        {{"DP-1", "set-replica-of", "2.0"}, "Unknown replication source: 2.0"},
    });
}

// Two outputs that would mirror each other, through any chain, are refused.
TEST(Misc, ReplicaOfMakingACycleIsRefused)
{
    e2e::VirtualSet set(plain);
    ASSERT_EQ(e2e::run(set, {"DP-1", "set-replica-of", "eDP-1"}), (e2e::Result{0, "", ""}));
    const std::string mirrored = set.read();
    EXPECT_EQ(e2e::run(set, {"eDP-1", "set-replica-of", "DP-1"}),
              (e2e::Result{
                  1, "",
                  "Failed to apply output configuration: eDP-1: \"replicationSource\" 2 makes a cycle of 2 "
                  "outputs that mirror one another\n"}));
    EXPECT_EQ(set.read(), mirrored);
}

TEST(Misc, ReplicaOfActiveOutput)
{
    e2e::SessionBus bus;
    e2e::Compositor vantor(bus, {"--active-output", "DP-1"});
    {
        e2e::VirtualSet set(plain);
        EXPECT_EQ(e2e::run(set, bus, {"DP-1", "set-replica-of", "active-output"}),
                  (e2e::Result{1, "", "active-output cannot mirror itself\n"}));
        EXPECT_EQ(set.read(), plain);
    }
    {
        e2e::VirtualSet set(plain);
        EXPECT_EQ(e2e::run(set, bus, {"eDP-1", "set-replica-of", "active-output"}), (e2e::Result{0, "", ""}));
        EXPECT_EQ(differences(plain, set.read()), std::vector<std::string>{"eDP-1.replicationSource=2"});
    }
}

TEST(Misc, ReplicaOfActiveOutputWithoutCompositor)
{
    // No bus at all: the bus error comes first, then the command's own line.
    e2e::VirtualSet set(plain);
    const e2e::Result result = e2e::run(set, {"DP-1", "set-replica-of", "active-output"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.err.starts_with("Failed to determine active output: ")) << result.err;
    EXPECT_TRUE(result.err.ends_with("\nUnknown replication source: active-output\n")) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 2) << result.err;
    EXPECT_EQ(set.read(), plain);
}

} // namespace
