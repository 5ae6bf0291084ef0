// dispctl and the library on a real mutter: every change read back with
// GetCurrentState, every refusal leaving mutter as it was.

#include "support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using gnome_test::Mutter;

using gnome_test::runSteps;
using gnome_test::TurnHolder;

TEST(GnomeDispctl, LayoutOnHeadlessMutter)
{
    const std::unique_ptr<Mutter> mutter = Mutter::headless({"1920x1080", "1920x1080"});
    gnome_test::layoutOnHeadless(*mutter, "cannot change HDR: the output has no HDR support");
}

// mutter refuses a layout with a gap: a mirror made in the middle of a row
// closes it first, and one ended goes right of the others.
TEST(GnomeDispctl, AMirrorLeavesNoGap)
{
    const std::unique_ptr<Mutter> mutter = Mutter::headless({"1920x1080", "1920x1080", "1920x1080"});
    ASSERT_EQ(mutter->logical(), "0,0 1 0 primary Meta-0\n1920,0 1 0 Meta-1\n3840,0 1 0 Meta-2\n");
    runSteps(*mutter,
             {
                 {{"Meta-1", "set-replica-of", "Meta-0"},
                  "",
                  "0,0 1 0 primary Meta-0 Meta-1\n1920,0 1 0 Meta-2\n"},
                 {{"Meta-1", "set-replica-of", "none"},
                  "",
                  "0,0 1 0 primary Meta-0\n1920,0 1 0 Meta-2\n3840,0 1 0 Meta-1\n"},
                 {{"Meta-1", "set-enabled", "false"}, "", "0,0 1 0 primary Meta-0\n1920,0 1 0 Meta-2\n"},
             });
}

// Labels: gnome-shell keeps its own for its settings; label windows
// stand in.
TEST(GnomeDispctl, IdentifyUnderGnomeShell)
{
    const std::unique_ptr<Mutter> shell = Mutter::shell({"1920x1080", "1920x1080"});
    if (!shell)
        GTEST_SKIP() << "gnome-shell is not installed";
    gnome_test::identifyWithLabels(*shell, gnome_test::shellRefused);
}

TEST(GnomeLibrary, AWatcherTellsOfChangesAndOfMutterGone)
{
    gnome_test::watchesChanges(*Mutter::headless({"1920x1080"}));
}

TEST(GnomeDispctl, FractionalScalesInLogicalLayout)
{
    gnome_test::fractionalScales(*Mutter::headless({"2560x1440", "1920x1080"}, true));
}

// Every client of the session bus takes turns from the check to the end of
// the apply, whatever its runtime directory: of two that read the same
// state, the later one finds the earlier one's change and applies on top
// of it, where mutter alone would let it take that change back.
TEST(GnomeDispctl, RunsTakeTurnsToApply)
{
    const std::unique_ptr<Mutter> mutter = Mutter::headless({"1280x720", "1280x720"});
    const support::TempDir runtime;
    const e2e::Env elsewhere = {{"XDG_RUNTIME_DIR", runtime.path()}};

    // Both have read mutter's state when they wait in the bus's queue. On a
    // busy machine one may start so late that the other has given up its
    // 5 s wait: that round shows nothing and is run again.
    bool bothWaited = false;
    for (int round = 0; round < 3 && !bothWaited; ++round) {
        auto holder = std::make_unique<TurnHolder>(*mutter);
        const support::Child first = gnome_test::start(*mutter, {"Meta-0", "set-rotation", "180"});
        const support::Child second = gnome_test::start(*mutter, {"Meta-1", "set-rotation", "90"}, elsewhere);
        const double end = support::now() + 20;
        while (holder->waiting() < 2 && support::now() < end)
            ::usleep(10000);
        bothWaited = holder->waiting() == 2;
        holder.reset(); // the bus hands the name on, as from a holder that died
        const e2e::Result one = gnome_test::finish(first), two = gnome_test::finish(second);
        if (bothWaited) {
            EXPECT_EQ(one, (e2e::Result{0, "", ""}));
            EXPECT_EQ(two, (e2e::Result{0, "", ""}));
        } else {
            ASSERT_EQ(gnome_test::run(*mutter, {"Meta-0", "set-rotation", "normal"}).status, 0);
            ASSERT_EQ(gnome_test::run(*mutter, {"Meta-1", "set-rotation", "normal"}).status, 0);
        }
    }
    ASSERT_TRUE(bothWaited);
    EXPECT_EQ(mutter->logical(), "0,0 1 2 primary Meta-0\n1280,0 1 1 Meta-1\n");

    // A holder that never lets go holds up a run a few seconds, not for ever.
    {
        const TurnHolder stuck(*mutter);
        EXPECT_EQ(gnome_test::run(*mutter, {"Meta-0", "set-rotation", "normal"}, elsewhere),
                  (e2e::Result{1, "",
                               "Failed to apply output configuration: the apply holding "
                               "org.dispctl.Dispor.GnomeApply on the session bus (process " +
                                   std::to_string(::getpid()) +
                                   ") has not finished in 5 s (a writer stopped or hangs); nothing was "
                                   "changed\n"}));
    }
    EXPECT_EQ(mutter->logical(), "0,0 1 2 primary Meta-0\n1280,0 1 1 Meta-1\n");

    const std::string id = gnome_test::gdbus(*mutter, {"call", "--session", "--dest", "org.freedesktop.DBus",
                                                       "--object-path", "/org/freedesktop/DBus", "--method",
                                                       "org.freedesktop.DBus.GetId"}); // "('…',)\n"
    ASSERT_EQ(id.size(), 38u) << id;

    // In the runtime directory (the runs above made its folder), the record
    // of what a disabled monitor had: written before mutter is sent the
    // disable, or the disable is refused, and dropped once the monitor is back.
    const std::string record =
        mutter->runtimeDir() + "/dispor/gnome-" + id.substr(2, 32) + "-disabled-outputs.json";
    ASSERT_EQ(::mkdir(record.c_str(), 0700), 0);
    EXPECT_EQ(gnome_test::run(*mutter, {"Meta-1", "set-enabled", "false"}),
              (e2e::Result{1, "",
                           "Failed to apply output configuration: " + record +
                               ": is a directory, not a document\n"}));
    EXPECT_EQ(mutter->logical(), "0,0 1 2 primary Meta-0\n1280,0 1 1 Meta-1\n");
    ASSERT_EQ(::rmdir(record.c_str()), 0);
    EXPECT_EQ(gnome_test::run(*mutter, {"Meta-1", "set-enabled", "false"}), (e2e::Result{0, "", ""}));
    EXPECT_NE(e2e::readFile(record).find("\"Meta-1\""), std::string::npos);
    EXPECT_EQ(gnome_test::run(*mutter, {"Meta-1", "set-enabled", "true"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(e2e::readFile(record), "{}");
    EXPECT_EQ(mutter->logical(), "0,0 1 2 primary Meta-0\n1280,0 1 1 Meta-1\n");
}

// Two writers with runtime directories of their own, started together round
// after round: each round, both changes are kept. With a turn per runtime
// directory, 8 to 11 of 40 rounds lost one.
TEST(GnomeDispctl, WritersWithTheirOwnRuntimeDirectoriesKeepEveryChange)
{
    const support::TempDir runtime;
    std::vector<int> lost;
    // Mutter grows by some 50 MB an apply: a fresh one every 20 rounds.
    for (int round = 0; round < 40;) {
        const std::unique_ptr<Mutter> mutter = Mutter::headless({"1280x720", "1280x720"});
        for (const int end = round + 20; round < end; ++round) {
            const bool turned = round % 2 == 0;
            const support::Child first =
                gnome_test::start(*mutter, {"Meta-0", "set-rotation", turned ? "180" : "normal"});
            const support::Child second =
                gnome_test::start(*mutter, {"Meta-1", "set-rotation", turned ? "90" : "normal"},
                                  {{"XDG_RUNTIME_DIR", runtime.path()}});
            EXPECT_EQ(gnome_test::finish(first), (e2e::Result{0, "", ""}));
            EXPECT_EQ(gnome_test::finish(second), (e2e::Result{0, "", ""}));
            if (mutter->logical() != (turned ? "0,0 1 2 primary Meta-0\n1280,0 1 1 Meta-1\n"
                                             : "0,0 1 0 primary Meta-0\n1280,0 1 0 Meta-1\n"))
                lost.push_back(round);
        }
    }
    EXPECT_EQ(lost, std::vector<int>()) << "rounds that lost a change";
}

TEST(GnomeLibrary, RefusalsAndConflicts)
{
    gnome_test::libraryRefusals(*Mutter::headless({"1920x1080", "1280x720"}));
}

TEST(GnomeDispctl, ModesOnNestedMutter)
{
    const std::unique_ptr<Mutter> mutter = Mutter::nested();
    if (!mutter)
        GTEST_SKIP() << "Xvfb is not installed";
    gnome_test::modesOnNested(*mutter);
}

// A state mutter does not give is waited for once, within its bound; a
// change mutter has not confirmed may still be made, and is said to be; a
// mutter that dies is reported gone at once, not as a time-out.
TEST(GnomeDispctl, UnconfirmedChangesAndAMutterThatDies)
{
    const std::unique_ptr<Mutter> mutter = Mutter::headless({"1280x720"});
    // Stopped, mutter takes the call and answers only once resumed.
    mutter->signal(SIGSTOP);
    const double asked = support::now();
    EXPECT_EQ(
        gnome_test::run(*mutter, {"list-outputs"}),
        (e2e::Result{1, "",
                     "dispor: org.gnome.Mutter.DisplayConfig did not answer GetCurrentState within 3 s\n"}));
    EXPECT_LT(support::now() - asked, 4.5) << "the state's two calls share one bound";
    EXPECT_EQ(
        gnome_test::run(*mutter, {"off"}),
        (e2e::Result{1, "",
                     "Failed to switch display power: mutter did not confirm the change within 10 s; it may "
                     "still take effect\n"}));
    mutter->signal(SIGCONT);
    EXPECT_EQ(mutter->power(), 3) << "the change was made after all";

    // Ended while the call waits for it.
    mutter->signal(SIGSTOP);
    support::Spawn watch{"/usr/bin/dbus-monitor",
                         {"--address", mutter->busAddress(), "type='method_call',member='Set'"},
                         support::pathOnly()};
    watch.err = support::Stream::Null;
    const support::Child monitor = support::spawn(watch);
    // Lines until one with the word, for 20 s at most.
    const auto seen = [&](const std::string &word) {
        std::string line;
        for (const double end = support::now() + 20;
             line.find(word) == std::string::npos && support::now() < end;)
            line = support::readLine(monitor.out, end - support::now());
        return line.find(word) != std::string::npos;
    };
    // Its names are taken once it watches.
    ASSERT_TRUE(seen("member=NameLost"));
    const support::Child on = gnome_test::start(*mutter, {"on"});
    ASSERT_TRUE(seen("member=Set"));
    mutter->signal(SIGKILL);
    const double killed = support::now();
    EXPECT_EQ(
        gnome_test::finish(on),
        (e2e::Result{1, "",
                     "Failed to switch display power: mutter left the session bus without answering Set "
                     "PowerSaveMode\n"}));
    EXPECT_LT(support::now() - killed, 5) << "no time-out of 10 s";
    support::stop(monitor.pid);
}

TEST(GnomeChoice, WithoutMutter)
{
    e2e::SessionBus bus;
    e2e::TempDir dir;
    // A bus that takes the connection and never answers; one that answers
    // the authentication, then nothing (the D-Bus library aborted there).
    const std::string silent = dir.file("silent");
    const e2e::MuteSocket mute(silent);
    const support::FakeBus quiet(dir.file("quiet"), support::FakeBus::Fault::QuietAfterAuthentication);
    const struct {
        std::optional<std::string> backend, bus, runtime;
        std::string err;
    } cases[] = {
        {"gnome", bus.address(), std::nullopt,
         "dispor: the session bus offers no org.gnome.Mutter.DisplayConfig\n"},
        {"gnome", std::nullopt, std::nullopt, "dispor: DBUS_SESSION_BUS_ADDRESS is not set\n"},
        // The user's bus where there is none, and where there is one.
        {"gnome", std::nullopt, dir.path(),
         "dispor: DBUS_SESSION_BUS_ADDRESS is not set and there is no bus at \"" + dir.file("bus") + "\"\n"},
        {"gnome", std::nullopt, bus.runtimeDir(),
         "dispor: the session bus offers no org.gnome.Mutter.DisplayConfig\n"},
        {"gnome", "unix:path=" + silent, std::nullopt,
         "dispor: the session bus at \"unix:path=" + silent + "\" did not answer within 3 s\n"},
        {"gnome", quiet.address(), std::nullopt,
         "dispor: the session bus at \"" + quiet.address() + "\" did not answer Hello within 3 s\n"},
        {"gnome", std::nullopt, "relative",
         "dispor: DBUS_SESSION_BUS_ADDRESS is not set and XDG_RUNTIME_DIR is not an absolute path\n"},
        {std::nullopt, bus.address(), std::nullopt,
         "dispor: found no display service to configure (WAYLAND_DISPLAY is not set; the session bus offers "
         "no "
         "org.gnome.Mutter.DisplayConfig; DISPLAY is not set); DISPOR_BACKEND=virtual selects the simulated "
         "display "
         "set\n"},
        {std::nullopt, std::nullopt, dir.path(),
         "dispor: found no display service to configure (WAYLAND_DISPLAY is not set; "
         "DBUS_SESSION_BUS_ADDRESS is not "
         "set and there is no bus at \"" +
             dir.file("bus") +
             "\"; DISPLAY is not set); DISPOR_BACKEND=virtual selects "
             "the simulated display set\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.err);
        const e2e::Result result = e2e::runProgram(e2e::dispctlBinary(), {"list-outputs"},
                                                   {{"DISPOR_BACKEND", c.backend},
                                                    {"DBUS_SESSION_BUS_ADDRESS", c.bus},
                                                    {"XDG_RUNTIME_DIR", c.runtime},
                                                    {"QT_QPA_PLATFORM", "offscreen"}});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err.substr(0, c.err.size()), c.err);
    }
}

TEST(GnomeChoice, FoundWithoutBeingNamed)
{
    const std::unique_ptr<Mutter> mutter = Mutter::headless({"1280x720"});
    EXPECT_EQ(gnome_test::run(*mutter, {"list-outputs", "--names"}, {{"DISPOR_BACKEND", std::nullopt}}),
              (e2e::Result{0, "Meta-0\n", ""}));
    // The user's bus in the runtime directory serves as the bus's own tools
    // find it, for the choice and for every call of a change.
    e2e::Env usersBus = {{"DBUS_SESSION_BUS_ADDRESS", std::nullopt}, {"XDG_RUNTIME_DIR", mutter->busDir()}};
    EXPECT_EQ(gnome_test::run(*mutter, {"Meta-0", "set-rotation", "180"}, usersBus),
              (e2e::Result{0, "", ""}));
    usersBus["DISPOR_BACKEND"] = std::nullopt;
    EXPECT_EQ(gnome_test::run(*mutter, {"list-outputs", "--names"}, usersBus),
              (e2e::Result{0, "Meta-0\n", ""}));
    EXPECT_EQ(mutter->logical(), "0,0 1 2 primary Meta-0\n");
}

} // namespace
