// The X11 backend named by DISPOR_BACKEND on weston's Xwayland: it reads what
// X clients see and refuses every change, which would not reach the screens.

#include "weston.h"
#include "x11/x11_backend.h"
#include "xserver.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <memory>

namespace x11 {
namespace {

using e2e::Result;

class X11Xwayland : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        try {
            s_weston = std::make_unique<testbed::Weston>();
        } catch (const std::exception &e) {
            s_failure = e.what();
        }
    }
    static void TearDownTestSuite() { s_weston.reset(); }
    void SetUp() override { ASSERT_TRUE(s_weston) << s_failure; }

    static const std::string &display() { return s_weston->xDisplay(); }

    static inline std::unique_ptr<testbed::Weston> s_weston;
    static inline std::string s_failure;
};

TEST_F(X11Xwayland, IsNoChoiceUnlessNamed)
{
    const QByteArray saved = qgetenv("DISPLAY");
    qputenv("DISPLAY", QByteArray::fromStdString(display()));
    QString found;
    EXPECT_FALSE(Dispor::X11::probeX11Backend(&found));
    EXPECT_EQ(found.toStdString(), "the X server \"" + display() +
                                       "\" is Xwayland, whose outputs only emulate the Wayland compositor's");
    QString reason;
    EXPECT_TRUE(Dispor::X11::createX11Backend(&reason)) << reason.toStdString();
    saved.isNull() ? qunsetenv("DISPLAY") : qputenv("DISPLAY", saved);
}

// Without DISPOR_BACKEND, a Wayland desktop without wlroots output
// management, with or without Xwayland, is no display service to configure;
// nothing is listed or written in its place.
TEST_F(X11Xwayland, TheChoiceOnWestonSaysWhyNothingServes)
{
    const testbed::Weston bare(false);
    const std::string noManagement = "the Wayland compositor \"wayland-w\" offers no output management "
                                     "(zwlr_output_manager_v1); cannot connect to the session bus at "
                                     "\"unix:path=/nonexistent/bus\": No such file or directory; ";
    const std::string hint = "); DISPOR_BACKEND=virtual selects the simulated display set\n";
    struct Case {
        const testbed::Weston &desktop;
        std::string found;
    };
    const Case cases[] = {
        {bare, noManagement + "DISPLAY is not set"},
        {*s_weston, noManagement + "the X server \"" + display() +
                        "\" is Xwayland, whose outputs only emulate the Wayland compositor's"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.found);
        e2e::Env env = c.desktop.env();
        env["QT_QPA_PLATFORM"] = "offscreen";
        const std::string line = "dispor: found no display service to configure (" + c.found + hint;
        EXPECT_EQ(e2e::runProgram(e2e::dispctlBinary(), {"list-outputs"}, env), (Result{1, "", line}));
        EXPECT_EQ(e2e::runProgram(e2e::dispctlBinary(), {"DP-1", "set-scale", "150%"}, env),
                  (Result{1, "", line}));
        EXPECT_EQ(e2e::runProgram(e2e::dispctlBinary(), {"off"}, env),
                  (Result{1, "", "Failed to switch display power: " + line.substr(8)}));
        EXPECT_FALSE(e2e::fileExists(c.desktop.runtimeDir() + "/dispor"));
    }
}

TEST_F(X11Xwayland, ListsWhatXClientsSee)
{
    const Result result = dispctl(display(), {"list-outputs", "--names"});
    EXPECT_EQ(result, (Result{0, "XWAYLAND0\n", ""}));
    EXPECT_TRUE(readScreen(display())["XWAYLAND0"].on);
}

TEST_F(X11Xwayland, RefusesEveryChangeAndLeavesTheServerAsItWas)
{
    const std::string refusal = "the outputs of the X server \"" + display() +
                                "\" are Xwayland's emulation of the Wayland compositor's outputs; changes "
                                "would not reach the screens\n";
    const std::string xwayland =
        "the X server \"" + display() + "\" is Xwayland, whose outputs only emulate the Wayland compositor's";
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"XWAYLAND0", "set-brightness", "50"}, "Failed to apply output configuration: " + refusal},
        {{"XWAYLAND0", "add-custom-mode", "1600x900@60"}, "Failed to apply output configuration: " + refusal},
        {{"XWAYLAND0", "set-position", "100", "0"}, "Failed to apply output configuration: " + refusal},
        {{"off"}, "Failed to switch display power: " + refusal},
        // Without the compositor's bus service, no pointer or labels of its own.
        {{"active-output", "get-name"},
         "Failed to determine active output: Not connected to D-Bus server; " + xwayland +
             "\n"
             "Unknown output: active-output\n"},
        {{"identify"},
         "org.lumo.Vantor.Effect.OutputLocator1.show failed: Not connected to D-Bus server; " + xwayland +
             "\n"},
    };
    for (const auto &c : cases) {
        const std::string before = readScreen(display()).text;
        EXPECT_EQ(dispctl(display(), c.args), (Result{1, "", c.err})) << c.args[1 % c.args.size()];
        EXPECT_EQ(readScreen(display()).text, before) << c.args[1 % c.args.size()];
    }
}

TEST_F(X11Xwayland, AnApplyThatChangesNothingSucceeds)
{
    const std::string before = readScreen(display()).text;
    EXPECT_EQ(dispctl(display(), {"XWAYLAND0", "set-position", "0", "0"}), (Result{0, "", ""}));
    EXPECT_EQ(readScreen(display()).text, before);
}

} // namespace
} // namespace x11
