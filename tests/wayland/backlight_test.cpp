// A built-in panel's kernel backlight on a wlroots compositor, which has no
// light of its own: set through a fake logind, read back from the sysfs
// tree the library is given, the compositor read back with wlr-randr.

#include "support.h"
#include "support/backlight.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

using e2e::Result;
using support::BacklightDevice;
using wayland_test::Compositor;

const BacklightDevice intel{"intel_backlight", "raw", 480, 960, "card0-eDP-1"};

struct Case {
    const char *what;
    std::vector<BacklightDevice> devices;
    const char *answers; // the fake logind's
    std::vector<std::string> args;
    Result result;
    std::string level;         // intel_backlight's afterwards, where the tree has it
    double reported;           // the brightness the report reads then; 0: no control
    const char *bus = nullptr; // instead of the fake logind's
};

TEST(WaylandBacklight, ThePanelsKernelDevice)
{
    const Compositor compositor =
        Compositor::ours({"--output", "eDP-1:1920x1080@60000", "--output", "DP-1:1280x1024@60000"});
    const std::string layout = wayland_test::wlrRandr(compositor);
    const std::string failed = "Failed to apply output configuration: ";
    const std::string noControl = ": cannot change the brightness: the output has no brightness control\n";
    const std::vector<std::string> quarter = {"eDP-1", "set-brightness", "25%"};
    const Case cases[] = {
        {"set", {intel}, "writes", quarter, {0, "", ""}, "240", 0.25},
        {"other outputs as before",
         {intel},
         "writes",
         {"DP-1", "set-brightness", "25%"},
         {1, "", failed + "DP-1" + noControl},
         "480",
         0.5},
        {"no dimming",
         {intel},
         "writes",
         {"eDP-1", "set-dimming", "50%"},
         {1, "", failed + "eDP-1: cannot change the dimming: the compositor has no dimming\n"},
         "480",
         0.5},
        {"no device", {}, "writes", quarter, {1, "", failed + "eDP-1" + noControl}, "", 0},
        {"another connector's",
         {{"intel_backlight", "raw", 480, 960, "card0-eDP-2"}},
         "writes",
         quarter,
         {1, "", failed + "eDP-1" + noControl},
         "480",
         0},
        {"logind refuses",
         {intel},
         "refuses",
         quarter,
         {1, "", failed + "eDP-1: cannot set the backlight: logind refused it: Access denied\n"},
         "480",
         0.5},
        {"the kernel keeps another",
         {intel},
         "ignores",
         quarter,
         {1, "", failed + "eDP-1: logind accepted the brightness \"0.25\" but keeps \"0.5\"\n"},
         "480",
         0.5},
        {"no system bus",
         {intel},
         "writes",
         quarter,
         {1, "",
          failed + "eDP-1: cannot set the backlight: cannot connect to the system bus at "
                   "\"unix:path=/nonexistent/bus\": No such file or directory\n"},
         "480",
         0.5,
         "unix:path=/nonexistent/bus"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const support::SysfsTree tree(c.devices);
        const e2e::SessionBus bus; // as the system bus
        const support::FakeLogind logind(tree, bus.address(), c.answers);
        if (!logind.started())
            GTEST_SKIP() << "python3-dbusmock is not installed";
        const e2e::Env env = {{"DISPOR_SYSFS", tree.root()},
                              {"DBUS_SYSTEM_BUS_ADDRESS", c.bus ? c.bus : bus.address()}};
        EXPECT_EQ(wayland_test::run(compositor, c.args, env), c.result);
        EXPECT_EQ(tree.level("intel_backlight"), c.level);
        EXPECT_EQ(wayland_test::wlrRandr(compositor), layout);
        // The report reads the level from the device.
        const Result report = wayland_test::run(compositor, {"eDP-1", "--json"}, env);
        const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(report.out)).object();
        EXPECT_EQ(json.value(u"brightness").toDouble(), c.reported > 0 ? c.reported : 1);
        EXPECT_EQ(json.value(u"capabilities").toArray().contains(u"brightness"_qs), c.reported > 0);
    }
}

} // namespace
