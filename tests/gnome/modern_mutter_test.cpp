// dispctl on mutter 48 from the Debian 13 tree: what mutter 43 is put
// through, and its colour modes, luminance and backlight, each read back
// with GetCurrentState and the properties, each refusal leaving mutter as
// it was.

#include "support.h"

#include <gtest/gtest.h>

namespace {

using gnome_test::Mutter;

constexpr const char *noTree = "the Debian 13 tree is not made (scripts/modern-tree)";

// What mutter holds beyond its layout.
std::string held(const Mutter &mutter)
{
    return mutter.colorModes() + mutter.luminance() + mutter.backlight();
}

TEST(GnomeModern, LayoutColourAndLuminanceOnHeadlessMutter)
{
    const std::unique_ptr<Mutter> mutter = Mutter::modern({"1920x1080", "1920x1080"});
    if (!mutter)
        GTEST_SKIP() << noTree;
    const std::string hdrRefused =
        "cannot change HDR: mutter offers the colour modes default for the output, not BT.2100";
    gnome_test::layoutOnHeadless(*mutter, hdrRefused);
    const std::string layout = "0,0 1 0 Meta-0\n1920,0 1 0 primary Meta-1\n";
    const std::string start = "Meta-0 0 0\nMeta-1 0 0\nMeta-0 0 100 unset\nMeta-1 0 100 unset\n";
    ASSERT_EQ(mutter->logical(), layout);
    ASSERT_EQ(held(*mutter), start);

    const std::string failed = "Failed to apply output configuration: Meta-0: ";
    const std::string wcgRefused =
        "cannot change wide colour gamut: mutter offers the colour modes default for the output, not BT.2100";
    const struct {
        std::vector<std::string> args;
        std::string err;  // empty: exit 0, nothing printed
        std::string held; // empty: as it was
    } cases[] = {
        // Virtual monitors offer only the default colour mode.
        {{"Meta-0", "set-wcg", "true"}, failed + wcgRefused + "\n", ""},
        {{"Meta-0", "set-hdr-and-wcg", "true"}, failed + hdrRefused + "\n", ""},
        {{"Meta-0", "toggle-hdr"}, failed + hdrRefused + "\n", ""},
        {{"Meta-0", "toggle-wcg"}, failed + wcgRefused + "\n", ""},
        {{"Meta-0", "toggle-hdr-and-wcg"}, failed + hdrRefused + "\n", ""},
        // The luminance of the monitor's colour mode is its dimming.
        {{"Meta-0", "set-dimming", "40%"}, "", "Meta-0 0 0\nMeta-1 0 0\nMeta-0 0 40\nMeta-1 0 100 unset\n"},
        // It outlives a change of the layout, and the colour mode stays.
        {{"Meta-0", "set-rotation", "180"}, "", "Meta-0 0 0\nMeta-1 0 0\nMeta-0 0 40\nMeta-1 0 100 unset\n"},
        {{"Meta-0", "set-dimming", "100%"}, "", start},
        {{"Meta-1", "set-dimming", "0%"}, "", "Meta-0 0 0\nMeta-1 0 0\nMeta-0 0 100 unset\nMeta-1 0 0\n"},
        {{"Meta-1", "set-dimming", "100%"}, "", start},
        {{"Meta-0", "set-dimming", "101%"}, "Allowed range for dimming is 0% to 100%\n", ""},
        // No backlight: virtual monitors have none.
        {{"Meta-0", "set-brightness", "50%"},
         failed + "cannot change the brightness: mutter has no backlight for the output\n",
         ""},
        {{"Meta-0", "set-sdr-brightness", "300"},
         failed + "cannot change the SDR brightness: the output has no HDR support\n",
         ""},
    };
    for (const auto &c : cases) {
        std::string line;
        for (const std::string &arg : c.args)
            line += arg + " ";
        SCOPED_TRACE(line);
        const std::string before = held(*mutter);
        EXPECT_EQ(gnome_test::run(*mutter, c.args), (e2e::Result{c.err.empty() ? 0 : 1, "", c.err}));
        EXPECT_EQ(held(*mutter), c.held.empty() ? before : c.held);
    }
    EXPECT_EQ(mutter->logical(), "0,0 1 2 Meta-0\n1920,0 1 0 primary Meta-1\n");
}

TEST(GnomeModern, IdentifyUnderGnomeShell)
{
    const std::unique_ptr<Mutter> shell = Mutter::shell({"1920x1080", "1920x1080"}, true);
    if (!shell)
        GTEST_SKIP() << noTree;
    gnome_test::identifyWithLabels(*shell, gnome_test::shellRefused);
}

TEST(GnomeModern, AWatcherTellsOfChangesAndOfMutterGone)
{
    const std::unique_ptr<Mutter> mutter = Mutter::modern({"1920x1080"});
    if (!mutter)
        GTEST_SKIP() << noTree;
    gnome_test::watchesChanges(*mutter);
}

TEST(GnomeModern, FractionalScalesInLogicalLayout)
{
    const std::unique_ptr<Mutter> mutter = Mutter::modern({"2560x1440", "1920x1080"}, true);
    if (!mutter)
        GTEST_SKIP() << noTree;
    gnome_test::fractionalScales(*mutter);
}

TEST(GnomeModern, LibraryRefusalsAndConflicts)
{
    const std::unique_ptr<Mutter> mutter = Mutter::modern({"1920x1080", "1280x720"});
    if (!mutter)
        GTEST_SKIP() << noTree;
    gnome_test::libraryRefusals(*mutter);
}

TEST(GnomeModern, ModesAndBuiltInPanelsOnNestedMutter)
{
    const std::unique_ptr<Mutter> mutter = Mutter::modernNested();
    if (!mutter)
        GTEST_SKIP() << noTree;
    gnome_test::modesOnNested(*mutter);
    // Built-in dummy panels are listed with no backlight to set.
    ASSERT_EQ(mutter->backlight(), "LVDS1\nLVDS2\n");
    EXPECT_EQ(gnome_test::run(*mutter, {"LVDS1", "set-brightness", "50%"}),
              (e2e::Result{
                  1, "",
                  "Failed to apply output configuration: LVDS1: cannot change the brightness: mutter has no "
                  "backlight for the output\n"}));
    EXPECT_EQ(mutter->backlight(), "LVDS1\nLVDS2\n");
}

} // namespace
