// Dispor::ConfigWatcher on X11, as a program using the library sees it: a
// server of the test's own, since the test stops it.

#include "xserver.h"

#include <gtest/gtest.h>

namespace x11 {
namespace {

TEST(X11Watch, TellsOfAnotherClientsChangeAndOfTheServerGone)
{
    auto server = std::make_unique<XServer>();
    const std::string display = server->display();
    support::Spawn watcher(
        WATCH_CLIENT, {},
        support::merged(support::testEnvironment(), {{"DISPLAY", display}, {"DISPOR_BACKEND", "x11"}}));
    const support::Child child = support::spawn(watcher);
    EXPECT_EQ(support::readLine(child.out, 10), "watching");
    // Nothing comes before a change: the line waits its whole time out.
    EXPECT_EQ(support::readLine(child.out, 0.3), "");
    xrandr(display, {"--output", "DUMMY0", "--off"});
    EXPECT_EQ(support::readLine(child.out, 10), "changed");
    server.reset();
    support::Result rest;
    EXPECT_TRUE(support::drain(child.out, child.err, support::now() + 10, rest.out, rest.err));
    rest.status = support::waitStatus(child.pid);
    EXPECT_EQ(rest, (support::Result{1, "", "the X server \"" + display + "\" closed the connection\n"}));
}

} // namespace
} // namespace x11
