#include "fixture.h"

namespace x11 {
namespace {

using e2e::Result;

// Four outputs, so that a grid and a row can be made.
class X11ClosedLayout : public X11Test {
protected:
    void SetUp() override
    {
        X11Test::SetUp();
        // Connected once it has shown a mode; the second time it has the mode.
        try {
            xrandr(display(), {"--addmode", "DUMMY3", "1920x1080"});
        } catch (const std::exception &) {
        }
    }

    void place(const std::vector<std::pair<const char *, const char *>> &places)
    {
        std::vector<std::string> args;
        for (const auto &[output, pos] : places)
            args.insert(args.end(), {"--output", output, "--mode", "1920x1080", "--pos", pos});
        xrandr(display(), args);
    }

    // "NAME WxH+X+Y" of each output that is on, and the screen's size.
    std::string layout()
    {
        const XScreen now = screen();
        std::string text;
        for (const auto &[name, output] : now.outputs) {
            if (output.on)
                text += name + " " + std::to_string(output.width) + "x" + std::to_string(output.height) +
                        "+" + std::to_string(output.x) + "+" + std::to_string(output.y) + "\n";
        }
        return text + "screen " + std::to_string(now.width) + "x" + std::to_string(now.height) + "\n";
    }
};

TEST_F(X11ClosedLayout, AResizeUndoneGivesBackTheGrid)
{
    place({{"DUMMY0", "0x0"}, {"DUMMY1", "1920x0"}, {"DUMMY2", "0x1080"}, {"DUMMY3", "1920x1080"}});
    const std::string grid = layout();
    for (const char *output : {"DUMMY0", "DUMMY1"}) {
        SCOPED_TRACE(output);
        EXPECT_EQ(run({output, "set-mode", "1280x1024@60.02"}), (Result{0, "", ""}));
        EXPECT_EQ(run({output, "set-mode", "1920x1080"}), (Result{0, "", ""}));
        EXPECT_EQ(layout(), grid);
    }
    EXPECT_EQ(run({"DUMMY0", "set-mode", "1280x1024@60.02"}), (Result{0, "", ""}));
    EXPECT_EQ(layout(), "DUMMY0 1280x1024+0+0\nDUMMY1 1920x1080+1280+0\nDUMMY2 1920x1080+0+1080\n"
                        "DUMMY3 1920x1080+1920+1080\nscreen 3840x2160\n");
}

TEST_F(X11ClosedLayout, SwitchingOffInARowClosesTheGap)
{
    place({{"DUMMY0", "0x0"}, {"DUMMY1", "1920x0"}, {"DUMMY2", "3840x0"}, {"DUMMY3", "5760x0"}});
    EXPECT_EQ(run({"DUMMY1", "set-enabled", "false"}), (Result{0, "", ""}));
    EXPECT_EQ(layout(),
              "DUMMY0 1920x1080+0+0\nDUMMY2 1920x1080+1920+0\nDUMMY3 1920x1080+3840+0\nscreen 5760x1080\n");
    EXPECT_EQ(run({"DUMMY1", "set-enabled", "true"}), (Result{0, "", ""}));
    // Its old place is taken: right of the others, with its own mode.
    EXPECT_EQ(layout(), "DUMMY0 1920x1080+0+0\nDUMMY1 1920x1080+5760+0\nDUMMY2 1920x1080+1920+0\n"
                        "DUMMY3 1920x1080+3840+0\nscreen 7680x1080\n");
}

} // namespace
} // namespace x11
