// The change watch on our compositor, through a program that uses only the
// public Dispor::ConfigWatcher: outputs plugged in and out, and the
// compositor going away.

#include "support.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

using e2e::Result;
using wayland_test::Compositor;
using wayland_test::wlrRandr;

TEST(WaylandWatch, HeadsComingAndGoingThenTheCompositorGone)
{
    Compositor compositor =
        Compositor::ours({"--spare", "DP-2:1280x1024@60000", "--output", "DP-1:1920x1080@60000"});
    support::Spawn spawn{
        TEST_WATCHER_BINARY, {"20"}, support::merged(support::testEnvironment(), compositor.env())};
    const support::Child child = support::spawn(spawn);
    Result result;
    const auto line = [&] {
        const std::string read = support::readLine(child.out, 5);
        result.out += read + "\n";
        return read;
    };
    ASSERT_EQ(line(), "watching");
    // Each step as the compositor tells it (wlr-randr), and the one change
    // the watcher tells of it: a plug, another client's apply (dispctl),
    // an unplug.
    struct Step {
        int signal; // 0: dispctl runs with the arguments
        std::string logged;
        std::string view;
        std::vector<std::string> arguments;
    };
    const Step steps[] = {
        {SIGUSR1,
         "plugged DP-2",
         "DP-1 on 0,0 1920x1080 normal 1.000000\nDP-2 on 1920,0 1280x1024 normal 1.000000\n",
         {}},
        {0,
         "",
         "DP-1 on 1280,0 1920x1080 normal 1.000000\nDP-2 on 0,0 1280x1024 normal 1.000000\n",
         {"DP-2", "left-of", "DP-1"}},
        {SIGUSR2, "unplugged DP-2", "DP-1 on 1280,0 1920x1080 normal 1.000000\n", {}},
    };
    for (const Step &step : steps) {
        if (step.signal)
            ASSERT_TRUE(compositor.signal(step.signal, step.logged)) << step.logged;
        else
            ASSERT_EQ(wayland_test::run(compositor, step.arguments), (Result{0, "", ""}));
        EXPECT_EQ(line(), "changed") << step.logged;
        EXPECT_EQ(wlrRandr(compositor), step.view);
    }
    // Gone: one line, the watcher stopped, nothing told before.
    ASSERT_TRUE(compositor.signal(SIGTERM));
    support::drain(child.out, child.err, support::now() + 10, result.out, result.err);
    result.status = support::waitStatus(child.pid);
    EXPECT_EQ(result, (Result{1, "watching\nchanged\nchanged\nchanged\n",
                              "the Wayland compositor \"" + compositor.socket() + "\" went away\n"}));
}

} // namespace
