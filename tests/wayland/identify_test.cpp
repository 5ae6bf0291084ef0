// identify and the active output end to end on the test compositor and on
// phoc, without the compositor's bus service (the runs have no session
// bus): the labels seen by the compositor while dispctl runs and gone after,
// the focused window's output through foreign-toplevel management, and the
// refusals.

#include "support.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <sstream>

namespace {

using e2e::Result;
using wayland_test::Compositor;
using wayland_test::run;

const std::vector<std::string> twoMonitors = {
    "--output",
    "DP-1:1920x1080@60000", //
    "--output",
    "HDMI-A-1:1280x1024@75025",
};

const std::string noBus = "Not connected to D-Bus server; ";

// The surface lines of the compositor's log; a layer's size, the font's
// doing, checked to lie within its output and then left out.
std::string surfaces(const std::string &log)
{
    const std::regex layer(R"(layer (\S+) (\S+) (\d+)x(\d+) (.*))");
    std::istringstream lines(log);
    std::string text;
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, layer)) {
            const int width = std::stoi(m[3]), height = std::stoi(m[4]);
            EXPECT_TRUE(width > 0 && width <= 1920 && height > 0 && height < 512) << line;
            text += "layer " + m[1].str() + " " + m[2].str() + " WxH " + m[5].str() + "\n";
        } else if (line.rfind("layer ", 0) == 0 || line.rfind("window ", 0) == 0) {
            text += line + "\n";
        }
    }
    return text;
}

struct Watched {
    Result result;
    std::string shown;  // the surfaces once the labels were all drawn, dispctl still running
    std::string after;  // the surfaces once it ended
    double seconds = 0; // how long it ran
};

// dispctl identify in the background, watched through the compositor's log
// until labels surfaces are drawn (10 s at most).
Watched identify(const Compositor &compositor, int labels)
{
    support::Spawn spawn{
        e2e::dispctlBinary(), {"identify"}, support::merged(support::testEnvironment(), compositor.env())};
    const double start = support::now();
    const support::Child child = support::spawn(spawn);
    Watched watched;
    while (support::now() < start + 10) {
        const std::string shown = surfaces(compositor.log());
        int drawn = 0;
        for (size_t at = shown.find(" drawn\n"); at != std::string::npos; at = shown.find(" drawn\n", at + 1))
            ++drawn;
        if (drawn >= labels) {
            // Still running: the labels are up while it waits.
            if (::waitpid(child.pid, nullptr, WNOHANG) == 0)
                watched.shown = shown;
            break;
        }
        ::usleep(20000);
    }
    support::drain(child.out, child.err, start + 30, watched.result.out, watched.result.err);
    watched.result.status = support::waitStatus(child.pid);
    watched.seconds = support::now() - start;
    watched.after = surfaces(compositor.log());
    return watched;
}

TEST(WaylandIdentify, LabelsOnTheEnabledOutputsForFiveSeconds)
{
    struct Case {
        std::vector<std::string> arguments;
        std::vector<std::string> before; // a dispctl run first
        std::string shown;
    };
    const Case cases[] = {
        {{},
         {},
         "layer DP-1 overlay WxH input:none keyboard:none drawn\n"
         "layer HDMI-A-1 overlay WxH input:none keyboard:none drawn\n"},
        {{"--no-layer-shell"},
         {},
         "window DP-1 fullscreen 1920x1080 input:none drawn\n"
         "window HDMI-A-1 fullscreen 1280x1024 input:none drawn\n"},
        {{}, {"DP-1", "set-enabled", "false"}, "layer HDMI-A-1 overlay WxH input:none keyboard:none drawn\n"},
    };
    for (const Case &c : cases) {
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), twoMonitors.begin(), twoMonitors.end());
        const Compositor compositor = Compositor::ours(arguments);
        if (!c.before.empty()) {
            ASSERT_EQ(run(compositor, c.before), (Result{0, "", ""}));
        }
        const Watched watched = identify(compositor, int(std::count(c.shown.begin(), c.shown.end(), '\n')));
        EXPECT_EQ(watched.result, (Result{0, "", ""}));
        EXPECT_EQ(watched.shown, c.shown);
        std::string gone = c.shown;
        gone = std::regex_replace(gone, std::regex(R"((\S+ \S+) .*\n)"), "$1 gone\n");
        EXPECT_EQ(watched.after, c.shown + gone);
        EXPECT_GE(watched.seconds, 5.0);
        EXPECT_LT(watched.seconds, 9.0);
    }
}

TEST(WaylandIdentify, Refusals)
{
    const std::string failed = "org.lumo.Vantor.Effect.OutputLocator1.show failed: " + noBus;
    std::vector<std::string> arguments = {"--no-layer-shell", "--no-xdg-shell"};
    arguments.insert(arguments.end(), twoMonitors.begin(), twoMonitors.end());
    const Compositor compositor = Compositor::ours(arguments);
    EXPECT_EQ(
        run(compositor, {"identify"}),
        (Result{1, "",
                failed + "cannot show labels: the compositor offers neither layer-shell nor xdg-shell\n"}));
    EXPECT_EQ(surfaces(compositor.log()), "");
}

TEST(WaylandActiveOutput, TheFocusedWindowsOutputElseTheOnlyEnabledOne)
{
    const std::string failed = "Failed to determine active output: " + noBus;
    const std::string unknown = "Unknown output: active-output\n";
    struct Case {
        std::vector<std::string> arguments;
        e2e::Env env;
        Result result;
    };
    const Case cases[] = {
        {{"--focused-window", "HDMI-A-1"}, {}, {0, "HDMI-A-1\n", ""}},
        {{"--window", "HDMI-A-1", "--focused-window", "DP-1"}, {}, {0, "DP-1\n", ""}},
        {{"--focused-window", "DP-1,HDMI-A-1"},
         {},
         {1, "", failed + "the focused window is on 2 outputs: DP-1, HDMI-A-1\n" + unknown}},
        {{"--window", "DP-1"},
         {},
         {1, "", failed + "no window has the focus, and 2 outputs are enabled\n" + unknown}},
        {{"--focused-window", "-"},
         {},
         {1, "", failed + "the focused window is on no output, and 2 outputs are enabled\n" + unknown}},
        // Without foreign-toplevel management, only one output enabled tells.
        {{},
         {},
         {1, "",
          failed +
              "on this desktop the active output is known only when exactly one output is enabled, and 2 "
              "are\n" +
              unknown}},
        // sway's IPC first, wherever SWAYSOCK points.
        {{"--focused-window", "HDMI-A-1"},
         {{"SWAYSOCK", "/nonexistent/sway.sock"}},
         {1, "",
          failed + "cannot connect to sway's socket /nonexistent/sway.sock: No such file or directory\n" +
              unknown}},
    };
    for (const Case &c : cases) {
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), twoMonitors.begin(), twoMonitors.end());
        const Compositor compositor = Compositor::ours(arguments);
        EXPECT_EQ(run(compositor, {"active-output", "get-name"}, c.env), c.result) << arguments[0];
    }
}

// phoc offers layer-shell and foreign-toplevel management; it has no window
// open, and nothing that tells what it shows: identify ends after its time.
TEST(WaylandIdentify, Phoc)
{
    const Compositor compositor = Compositor::phoc("");
    if (compositor.socket().empty())
        GTEST_SKIP() << "phoc cannot be run here";
    const double start = support::now();
    EXPECT_EQ(run(compositor, {"identify"}), (Result{0, "", ""})) << compositor.log();
    EXPECT_GE(support::now() - start, 5.0);
    EXPECT_EQ(
        run(compositor, {"active-output", "get-name"}),
        (Result{1, "",
                "Failed to determine active output: " + noBus +
                    "no window has the focus, and 2 outputs are enabled\nUnknown output: active-output\n"}));
}

} // namespace
