#include "picture_cases.h"

using namespace picture;

namespace {

const std::string settings = document(dp1Settings);

TEST(Brightness, SetsFractions)
{
    On(settings).expectChanges({
        {{"DP-1", "set-brightness", "50%"}, {"DP-1.brightness=0.5"}},
        {{"DP-1", "set-brightness", "50"}, {"DP-1.brightness=0.5"}},
        // Divided by 100 with or without "%": half a percent.
        {{"DP-1", "set-brightness", "0.5"}, {"DP-1.brightness=0.005"}},
        {{"DP-1", "set-brightness", "0%"}, {"DP-1.brightness=0"}},
        {{"DP-1", "set-brightness", "100%"}, {"DP-1.brightness=1"}},
        {{"DP-1", "set-brightness", "12.5%"}, {"DP-1.brightness=0.125"}},
        {{"2", "set-brightness", "30%"}, {"DP-1.brightness=0.3"}},
        {{"3b1f8e2c-dp1", "set-brightness", "30%"}, {"DP-1.brightness=0.3"}},
        {{"primary-output", "set-brightness", "30%"}, {"eDP-1.brightness=0.3"}},
        {{"DP-1", "set-dimming", "25%"}, {"DP-1.dimming=0.25"}},
        {{"DP-1", "set-dimming", "0"}, {"DP-1.dimming=0"}},
        {{"DP-1", "set-dimming", "100"}, {"DP-1.dimming=1"}},
    });
}

TEST(Brightness, RefusesBadFractions)
{
    On(settings).expectRefusals({
        {{"DP-1", "set-brightness", "100.5%"}, "Allowed range for brightness is 0% to 100%"},
        {{"DP-1", "set-brightness", "-1%"}, "Allowed range for brightness is 0% to 100%"},
        {{"DP-1", "set-brightness", "half"}, "Invalid argument: half"},
        {{"DP-1", "set-brightness", "50%%"}, "Invalid argument: 50%%"},
        {{"DP-1", "set-brightness", "%"}, "Invalid argument: %"},
        {{"DP-1", "set-brightness", "nan"}, "Invalid argument: nan"},
        {{"DP-1", "set-dimming", "150"}, "Allowed range for dimming is 0% to 100%"},
        {{"DP-1", "set-dimming", "-0.1"}, "Allowed range for dimming is 0% to 100%"},
        {{"DP-1", "set-dimming", "dim"}, "Invalid argument: dim"},
        {{"HDMI-9", "set-brightness", "50%"}, "Unknown output: HDMI-9"},
        {{"HDMI-A-1", "set-brightness", "50%"}, lacks("the brightness", "has no brightness control")},
        {{"HDMI-A-1", "set-dimming", "50%"}, lacks("the dimming", "has no brightness control")},
    });
}

TEST(Brightness, SwitchesAutomaticBrightness)
{
    const std::string off = document("");
    On(off).expectChanges({
        {{"DP-1", "set-auto-brightness", "on"}, {"DP-1.automaticBrightness=true"}},
        {{"DP-1", "set-auto-brightness", "true"}, {"DP-1.automaticBrightness=true"}},
        {{"DP-1", "set-auto-brightness", "off"}, {}},
        {{"DP-1", "toggle-auto-brightness"}, {"DP-1.automaticBrightness=true"}},
        // Unchanged is no change, which the service never refuses.
        {{"HDMI-A-1", "set-auto-brightness", "false"}, {}},
    });
    On(settings).expectChanges({
        {{"DP-1", "set-auto-brightness", "off"}, {"DP-1.automaticBrightness=false"}},
        {{"DP-1", "set-auto-brightness", "false"}, {"DP-1.automaticBrightness=false"}},
        {{"DP-1", "toggle-auto-brightness"}, {"DP-1.automaticBrightness=false"}},
    });
    On(off).expectRefusals({
        {{"DP-1", "set-auto-brightness", "On"}, "Invalid argument: On"},
        {{"DP-1", "set-auto-brightness", "1"}, "Invalid argument: 1"},
        {{"DP-1", "set-auto-brightness", ""}, "Invalid argument: "},
        {{"HDMI-A-1", "set-auto-brightness", "on"},
         lacks("automatic brightness", "has no automatic brightness")},
        {{"HDMI-A-1", "toggle-auto-brightness"},
         lacks("automatic brightness", "has no automatic brightness")},
    });
}

TEST(Brightness, ToggleTwiceRestores)
{
    e2e::VirtualSet set(settings);
    EXPECT_EQ(e2e::run(set, {"DP-1", "toggle-auto-brightness"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(differences(settings, set.read()), std::vector<std::string>{"DP-1.automaticBrightness=false"});
    EXPECT_EQ(e2e::run(set, {"DP-1", "toggle-auto-brightness"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(differences(settings, set.read()), std::vector<std::string>{});
}

} // namespace
