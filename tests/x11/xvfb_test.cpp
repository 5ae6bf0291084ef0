// The X11 backend on Xvfb started without -noreset, which resets whenever its
// last client leaves, as test and kiosk setups often run it. One server for
// the suite.

#include "xserver.h"

#include <gtest/gtest.h>

#include <memory>

namespace x11 {
namespace {

using e2e::Result;

class X11Xvfb : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        try {
            s_server = std::make_unique<XServer>(XServer::Kind::Xvfb, false);
        } catch (const std::exception &e) {
            s_failure = e.what();
        }
    }
    static void TearDownTestSuite() { s_server.reset(); }
    void SetUp() override { ASSERT_TRUE(s_server) << s_failure; }

    static Result run(const std::vector<std::string> &args) { return dispctl(s_server->display(), args); }

    static inline std::unique_ptr<XServer> s_server;
    static inline std::string s_failure;
};

TEST_F(X11Xvfb, EveryRunReachesAServerThatResetsBetweenClients)
{
    // A probe of its own, closed just before the real connection, made the
    // server reset under that connection in about a third of the runs.
    const Result first = run({"list-outputs"});
    ASSERT_EQ(first.status, 0) << first;
    EXPECT_NE(first.out.find(" screen "), std::string::npos) << first;
    int failed = 0;
    for (int i = 0; i < 49; ++i) {
        const Result again = run({"list-outputs"});
        if (again != first) {
            ++failed;
            ADD_FAILURE() << "run " << i + 2 << ": " << again;
        }
    }
    EXPECT_EQ(failed, 0);
}

TEST_F(X11Xvfb, RampsAllAtZeroTellNoBrightness)
{
    // Xvfb keeps no gamma: its ramps read all zero, or whatever its memory
    // held after a reset, which is no brightness at all. Unlike Xorg's, no
    // driver starts them straight (it has no VidMode), so zero is no
    // blackout. (Refused, nothing is sent; the ramps cannot be compared,
    // being that noise.)
    const Result report = run({"screen"});
    ASSERT_EQ(report.status, 0) << report;
    EXPECT_NE(report.out.find("\tBrightness control: \x1b[0;0munsupported\n"), std::string::npos)
        << report.out;
    EXPECT_EQ(
        run({"screen", "set-brightness", "50%"}),
        (Result{1, "",
                "Failed to apply output configuration: screen: cannot change the brightness: the output has "
                "no brightness control\n"}));
}

} // namespace
} // namespace x11
