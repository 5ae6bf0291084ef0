#include "document_cases.h"

using namespace cases;

namespace {

// eDP-1, DP-1 and HDMI-A-1 side by side, 1920x1080 each, ranked 1 to 3;
// HDMI-A-1 cannot be switched off. DP-2 is connected but off and cannot be
// switched off either; DP-3 is disconnected.
const std::string document = R"({"outputs": [
    {"id": 1, "name": "eDP-1", "type": "Panel", "priority": 1,
     "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}], "currentModeId": "1",
     "capabilities": ["disable"]},
    {"id": 2, "name": "DP-1", "uuid": "uuid-dp-1", "priority": 2, "pos": {"x": 1920, "y": 0},
     "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}], "currentModeId": "1",
     "capabilities": ["disable"]},
    {"id": 3, "name": "HDMI-A-1", "priority": 3, "pos": {"x": 3840, "y": 0},
     "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}], "currentModeId": "1"},
    {"id": 4, "name": "DP-2", "enabled": false, "pos": {"x": 0, "y": 1080},
     "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}], "currentModeId": "1"},
    {"id": 5, "name": "DP-3", "enabled": false, "connected": false, "capabilities": ["disable"]}
]})";

TEST(Basic, SetEnabled)
{
    On(document).expectChanges({
        {{"DP-1", "set-enabled", "false"},
         {"DP-1.enabled=false", "DP-1.priority=0", "HDMI-A-1.pos={\"x\":1920,\"y\":0}",
          "HDMI-A-1.priority=2"}},
        {{"DP-1", "set-enabled", "off"},
         {"DP-1.enabled=false", "DP-1.priority=0", "HDMI-A-1.pos={\"x\":1920,\"y\":0}",
          "HDMI-A-1.priority=2"}},
        {{"2", "set-enabled", "false"},
         {"DP-1.enabled=false", "DP-1.priority=0", "HDMI-A-1.pos={\"x\":1920,\"y\":0}",
          "HDMI-A-1.priority=2"}},
        {{"uuid-dp-1", "set-enabled", "false"},
         {"DP-1.enabled=false", "DP-1.priority=0", "HDMI-A-1.pos={\"x\":1920,\"y\":0}",
          "HDMI-A-1.priority=2"}},
        {{"DP-1", "set-enabled", "true"}, {}},
        // Switching on needs no capability.
        {{"HDMI-A-1", "set-enabled", "on"}, {}},
        {{"DP-2", "set-enabled", "true"}, {"DP-2.enabled=true", "DP-2.priority=4"}},
        {{"DP-3", "set-enabled", "on"}, {"DP-3.enabled=true"}},
        {{"DP-3", "set-enabled", "false"}, {}},
    });
    On(document).expectRefusals({
        {{"HDMI-A-1", "set-enabled", "false"}, "Disabling this output is not supported"},
        {{"DP-2", "set-enabled", "off"}, "Disabling this output is not supported"},
        {{"DP-1", "set-enabled", "yes"}, "Invalid argument: yes"},
        {{"DP-1", "set-enabled", "True"}, "Invalid argument: True"},
        {{"DP-1", "set-enabled", "1"}, "Invalid argument: 1"},
        {{"DP-1", "set-enabled", ""}, "Invalid argument: "},
        {{"HDMI-9", "set-enabled", "false"}, "Unknown output: HDMI-9"},
    });
}

TEST(Basic, TheServiceRefusesToSwitchOffTheLastOutput)
{
    const std::string alone = R"({"outputs": [
        {"id": 1, "name": "eDP-1", "priority": 1, "capabilities": ["disable"]},
        {"id": 2, "name": "DP-1", "enabled": false, "capabilities": ["disable"]}
    ]})";
    On(alone).expectRefusals({
        {{"eDP-1", "set-enabled", "false"},
         "Failed to apply output configuration: eDP-1: disabling it leaves no connected output enabled"},
        {{"eDP-1", "toggle-enabled"},
         "Failed to apply output configuration: eDP-1: disabling it leaves no connected output enabled"},
    });
}

TEST(Basic, ToggleEnabled)
{
    On(document).expectChanges({
        {{"DP-1", "toggle-enabled"},
         {"DP-1.enabled=false", "DP-1.priority=0", "HDMI-A-1.pos={\"x\":1920,\"y\":0}",
          "HDMI-A-1.priority=2"}},
        // Switching on needs no capability.
        {{"DP-2", "toggle-enabled"}, {"DP-2.enabled=true", "DP-2.priority=4"}},
    });
    On(document).expectRefusals({
        {{"HDMI-A-1", "toggle-enabled"}, "Disabling this output is not supported"},
    });

    // A command without option records refuses extra words silently.
    e2e::VirtualSet set(document);
    EXPECT_EQ(e2e::run(set, {"DP-1", "toggle-enabled", "now"}), (e2e::Result{1, "", ""}));
    EXPECT_EQ(set.read(), document);
}

TEST(Basic, PrimaryAndPriority)
{
    On(document).expectChanges({
        {{"HDMI-A-1", "set-primary"}, {"DP-1.priority=3", "HDMI-A-1.priority=1", "eDP-1.priority=2"}},
        {{"eDP-1", "set-primary"}, {}},
        {{"primary-output", "set-primary"}, {}},
        {{"DP-1", "set-priority", "1"}, {"DP-1.priority=1", "eDP-1.priority=2"}},
        {{"HDMI-A-1", "set-priority", "2"}, {"DP-1.priority=3", "HDMI-A-1.priority=2"}},
        // Past the last rank: the output goes last.
        {{"eDP-1", "set-priority", "100"}, {"DP-1.priority=1", "HDMI-A-1.priority=2", "eDP-1.priority=3"}},
        {{"eDP-1", "set-priority", "1"}, {}},
        {{"eDP-1", "set-priority", "+3"}, {"DP-1.priority=1", "HDMI-A-1.priority=2", "eDP-1.priority=3"}},
    });
    On(document).expectRefusals({
        {{"DP-1", "set-priority", "0"}, "Allowed range for priority is 1 to 100"},
        {{"DP-1", "set-priority", "101"}, "Allowed range for priority is 1 to 100"},
        {{"DP-1", "set-priority", "-5"}, "Allowed range for priority is 1 to 100"},
        {{"DP-1", "set-priority", "-2147483648"}, "Allowed range for priority is 1 to 100"},
        {{"DP-1", "set-priority", "4294967297"}, "Invalid argument: 4294967297"},
        {{"DP-1", "set-priority", "high"}, "Invalid argument: high"},
        {{"DP-1", "set-priority", "1.0"}, "Invalid argument: 1.0"},
        {{"DP-1", "set-priority", "1", "2"}, "Invalid arguments: 1 2"},
        // Outside the ranking a priority could not take effect.
        {{"DP-2", "set-primary"},
         "Failed to apply output configuration: DP-2: a disabled output has no place in the ranking of "
         "priorities"},
        {{"DP-2", "set-priority", "2"},
         "Failed to apply output configuration: DP-2: a disabled output has no place in the ranking of "
         "priorities"},
        {{"DP-3", "set-primary"},
         "Failed to apply output configuration: DP-3: a disconnected output has no place in the ranking of "
         "priorities"},
    });
}

TEST(Basic, SetRotation)
{
    const std::vector<std::string> quarterTurn = {"DP-1.explicitLogicalSize={\"height\":1920,\"width\":1080}",
                                                  "DP-1.rotation=\"90\"",
                                                  "HDMI-A-1.pos={\"x\":3000,\"y\":0}"};
    On(document).expectChanges({
        // The output right of DP-1's old centre moves by the change in width.
        {{"DP-1", "set-rotation", "left"}, quarterTurn},
        {{"DP-1", "set-rotation", "90"}, quarterTurn},
        {{"DP-1", "set-rotation", "right"},
         {"DP-1.explicitLogicalSize={\"height\":1920,\"width\":1080}", "DP-1.rotation=\"270\"",
          "HDMI-A-1.pos={\"x\":3000,\"y\":0}"}},
        {{"DP-1", "set-rotation", "flipped270"},
         {"DP-1.explicitLogicalSize={\"height\":1920,\"width\":1080}", "DP-1.rotation=\"flipped270\"",
          "HDMI-A-1.pos={\"x\":3000,\"y\":0}"}},
        {{"DP-1", "set-rotation", "inverted"},
         {"DP-1.explicitLogicalSize={\"height\":1080,\"width\":1920}", "DP-1.rotation=\"180\""}},
        {{"DP-1", "set-rotation", "flipped"},
         {"DP-1.explicitLogicalSize={\"height\":1080,\"width\":1920}", "DP-1.rotation=\"flipped\""}},
        {{"DP-1", "set-rotation", "none"}, {"DP-1.explicitLogicalSize={\"height\":1080,\"width\":1920}"}},
        // The disabled DP-2 below stays where it is.
        {{"eDP-1", "set-rotation", "flipped90"},
         {"DP-1.pos={\"x\":1080,\"y\":0}", "HDMI-A-1.pos={\"x\":3000,\"y\":0}",
          "eDP-1.explicitLogicalSize={\"height\":1920,\"width\":1080}", "eDP-1.rotation=\"flipped90\""}},
    });
    On(document).expectRefusals({
        {{"DP-1", "set-rotation", "Left"}, "Invalid argument: Left"},
        {{"DP-1", "set-rotation", "45"}, "Invalid argument: 45"},
        {{"DP-1", "set-rotation", "normal "}, "Invalid argument: normal "},
        {{"DP-1", "set-rotation", ""}, "Invalid argument: "},
    });
}

TEST(Basic, SetScale)
{
    On(document).expectChanges({
        // The outputs right of eDP-1 close up behind it.
        {{"eDP-1", "set-scale", "150%"},
         {"DP-1.pos={\"x\":1280,\"y\":0}", "HDMI-A-1.pos={\"x\":3200,\"y\":0}",
          "eDP-1.explicitLogicalSize={\"height\":720,\"width\":1280}", "eDP-1.scale=1.5"}},
        {{"DP-1", "set-scale", "150"},
         {"DP-1.explicitLogicalSize={\"height\":720,\"width\":1280}", "DP-1.scale=1.5",
          "HDMI-A-1.pos={\"x\":3200,\"y\":0}"}},
        {{"DP-1", "set-scale", "200%"},
         {"DP-1.explicitLogicalSize={\"height\":540,\"width\":960}", "DP-1.scale=2",
          "HDMI-A-1.pos={\"x\":2880,\"y\":0}"}},
        {{"DP-1", "set-scale", "50%"},
         {"DP-1.explicitLogicalSize={\"height\":2160,\"width\":3840}", "DP-1.scale=0.5",
          "HDMI-A-1.pos={\"x\":5760,\"y\":0}"}},
        {{"DP-1", "set-scale", "1000%"},
         {"DP-1.explicitLogicalSize={\"height\":108,\"width\":192}", "DP-1.scale=10",
          "HDMI-A-1.pos={\"x\":2112,\"y\":0}"}},
        // Unrounded: 1443.6 x 812.03 logical pixels round to 1444 x 812.
        {{"DP-1", "set-scale", "133%"},
         {"DP-1.explicitLogicalSize={\"height\":812,\"width\":1444}", "DP-1.scale=1.33",
          "HDMI-A-1.pos={\"x\":3364,\"y\":0}"}},
        {{"DP-1", "set-scale", "100%"}, {"DP-1.explicitLogicalSize={\"height\":1080,\"width\":1920}"}},
    });
    On(document).expectRefusals({
        {{"DP-1", "set-scale", "49.9%"}, "The scale factor should be at least 50%"},
        {{"DP-1", "set-scale", "1.5"}, "The scale factor should be at least 50%"},
        {{"DP-1", "set-scale", "-150%"}, "The scale factor should be at least 50%"},
        {{"DP-1", "set-scale", "1000.1%"}, "The scale factor cannot be greater than 1000%"},
        {{"DP-1", "set-scale", "1e9"}, "The scale factor cannot be greater than 1000%"},
        {{"DP-1", "set-scale", "nan"}, "Invalid argument: nan"},
        {{"DP-1", "set-scale", "inf%"}, "Invalid argument: inf%"},
        {{"DP-1", "set-scale", "50%%"}, "Invalid argument: 50%%"},
        {{"DP-1", "set-scale", "%"}, "Invalid argument: %"},
        {{"DP-1", "set-scale", "1,5"}, "Invalid argument: 1,5"},
        {{"primary-output", "set-scale"}, "Invalid arguments: "},
    });
}

TEST(Basic, RefusalsOnTheBuiltInSetCreateNoDocument)
{
    e2e::VirtualSet set;
    EXPECT_EQ(e2e::run(set, {"DP-1", "set-scale", "20%"}),
              (e2e::Result{1, "", "The scale factor should be at least 50%\n"}));
    EXPECT_EQ(e2e::run(set, {"HDMI-A-9", "set-primary"}), (e2e::Result{1, "", "Unknown output: HDMI-A-9\n"}));
    EXPECT_FALSE(e2e::fileExists(set.path()));

    EXPECT_EQ(e2e::run(set, {"DP-1", "set-primary"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(outputNamed(set.read(), "DP-1")["priority"].toInt(), 1);
    EXPECT_EQ(outputNamed(set.read(), "eDP-1")["priority"].toInt(), 2);
}

} // namespace
