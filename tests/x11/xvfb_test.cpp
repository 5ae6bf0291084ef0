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
    // Nor is a record of ours at brightness 0 that no ramps of ours could
    // match: one that another client forged.
    Randr randr(s_server->display());
    std::vector<uint16_t> record = {0, 0};
    record.resize(2 + 3 * randr.gamma("screen").red.size(), 65535);
    randr.setShorts("screen", "_DISPOR_GAMMA", record);
    const Ramps before = randr.gamma("screen");
    const Result report = run({"screen"});
    ASSERT_EQ(report.status, 0) << report;
    EXPECT_NE(report.out.find("\tBrightness control: \x1b[0;0munsupported\n"), std::string::npos)
        << report.out;
    EXPECT_EQ(
        run({"screen", "set-brightness", "50%"}),
        (Result{1, "",
                "Failed to apply output configuration: screen: cannot change the brightness: the output has "
                "no brightness control\n"}));
    EXPECT_EQ(randr.gamma("screen"), before);
}

} // namespace
} // namespace x11
