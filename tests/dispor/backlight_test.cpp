// Which kernel backlight device is a built-in panel's, on trees laid out as
// sysfs lays them out.

#include "support.h"

#include "../../dispor/src/backlight/device.h"
#include "support/backlight.h"

namespace dispor_test {
namespace {

using support::BacklightDevice;

struct Case {
    const char *what;
    const char *output;
    std::vector<BacklightDevice> devices;
    std::string chosen; // "NAME TYPE LEVEL/MAX", empty for none
};

const BacklightDevice acpi{"acpi_video0", "firmware", 7, 15, "LNXVIDEO:00"};
const BacklightDevice intel{"intel_backlight", "raw", 480, 960, "card0-eDP-1"};

TEST(BacklightDevice, ChosenAsSystemdChooses)
{
    const Case cases[] = {
        {"none", "eDP-1", {}, ""},
        {"firmware before raw", "eDP-1", {intel, acpi}, "acpi_video0 firmware 7/15"},
        {"platform before raw",
         "eDP-1",
         {intel, {"dell_uart", "platform", 2, 4, "serial0"}},
         "dell_uart platform 2/4"},
        {"raw tied to the panel", "eDP-1", {intel}, "intel_backlight raw 480/960"},
        {"the intel driver's name", "eDP1", {intel}, "intel_backlight raw 480/960"},
        {"raw tied to another connector", "eDP-1", {{"intel_backlight", "raw", 1, 9, "card0-eDP-2"}}, ""},
        {"the tied one of two",
         "eDP-2",
         {intel, {"z_backlight", "raw", 3, 9, "card1-eDP-2"}},
         "z_backlight raw 3/9"},
        {"raw whose parent is no connector",
         "LVDS-1",
         {{"amdgpu_bl0", "raw", 9, 255, "0000:03:00.0"}},
         "amdgpu_bl0 raw 9/255"},
        {"name order within a type",
         "DSI-1",
         {{"acpi_video1", "firmware", 1, 8, "LNXVIDEO:01"}, acpi},
         "acpi_video0 firmware 7/15"},
        {"no range is passed over",
         "eDP-1",
         {{"acpi_video0", "firmware", 0, 0, "LNXVIDEO:00"}, intel},
         "intel_backlight raw 480/960"},
        {"a level above the range",
         "eDP-1",
         {{"intel_backlight", "raw", 1200, 960, "card0-eDP-1"}},
         "intel_backlight raw 960/960"},
        {"an unknown type", "eDP-1", {{"odd", "other", 1, 2, "card0-eDP-1"}}, ""},
    };
    for (const Case &c : cases) {
        const support::SysfsTree tree(c.devices);
        const auto device = Dispor::Backlight::choose(QString::fromStdString(tree.root()), c.output);
        const std::string chosen =
            device ? QString(device->name + u' ' + device->type + u' ' + QString::number(device->brightness) +
                             u'/' + QString::number(device->maxBrightness))
                         .toStdString()
                   : std::string();
        EXPECT_EQ(chosen, c.chosen) << c.what;
    }
    for (const char *panel : {"eDP-1", "eDP1", "LVDS-1", "DSI-2"})
        EXPECT_TRUE(Dispor::Backlight::isBuiltInPanel(panel)) << panel;
    for (const char *other : {"DP-1", "HDMI-A-1", "DUMMY0", "HEADLESS-1", "eDPX-1"})
        EXPECT_FALSE(Dispor::Backlight::isBuiltInPanel(other)) << other;
}

} // namespace
} // namespace dispor_test
