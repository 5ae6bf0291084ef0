// Without DISPOR_BACKEND the library looks for the session's real display
// service and, where none can serve, says why: the simulated set is never
// passed off as the screens. Qt's platform choice plays no part.

#include "harness.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using e2e::Env;
using e2e::Result;

const std::string virtualHint = "DISPOR_BACKEND=virtual selects the simulated display set\n";

std::string noService(const std::string &found)
{
    return "dispor: found no display service to configure (" + found + "); " + virtualHint;
}

// A runtime directory with nothing of the library's in it before or after.
struct Session {
    e2e::TempDir runtime;
    Env env(const Env &extra = {}) const
    {
        Env merged = {{"XDG_RUNTIME_DIR", runtime.path()}, {"QT_QPA_PLATFORM", "offscreen"}};
        for (const auto &[key, value] : extra)
            merged[key] = value;
        return merged;
    }
    Result run(const std::vector<std::string> &args, const Env &extra = {}) const
    {
        return e2e::runProgram(e2e::dispctlBinary(), args, env(extra));
    }
};

TEST(BackendChoice, NoDisplayServiceIsARefusalThatSaysWhy)
{
    const Session session;
    const e2e::MuteSocket mute(session.runtime.file("mute"));
    // The runs' session bus address names no socket.
    const std::string noBus =
        "cannot connect to the session bus at \"unix:path=/nonexistent/bus\": No such file or "
        "directory; ";
    // The user's bus where another user's is, or where nothing says where.
    const e2e::TempDir others;
    const e2e::MuteSocket othersBus(others.file("bus"));
    const bool root = ::geteuid() == 0 && ::chown(others.file("bus").c_str(), 65534, 65534) == 0;
    struct Case {
        Env env;
        std::string found;
    };
    const Case cases[] = {
        {{{"DBUS_SESSION_BUS_ADDRESS", std::nullopt}, {"XDG_RUNTIME_DIR", others.path()}},
         "WAYLAND_DISPLAY is not set; " +
             (root
                  ? "DBUS_SESSION_BUS_ADDRESS is not set and the bus at \"" + others.file("bus") +
                        "\" belongs to another user"
                  : "the session bus at \"unix:path=" + others.file("bus") + "\" did not answer within 3 s") +
             "; DISPLAY is not set"},
        {{{"DBUS_SESSION_BUS_ADDRESS", std::nullopt}, {"XDG_RUNTIME_DIR", "relative"}},
         "WAYLAND_DISPLAY is not set; DBUS_SESSION_BUS_ADDRESS is not set and XDG_RUNTIME_DIR is not an "
         "absolute path; DISPLAY is not set"},
        {{}, "WAYLAND_DISPLAY is not set; " + noBus + "DISPLAY is not set"},
        {{{"DISPOR_BACKEND", ""}}, "WAYLAND_DISPLAY is not set; " + noBus + "DISPLAY is not set"},
        {{{"QT_LOGGING_RULES", "*.debug=false;qt.*=false"}},
         "WAYLAND_DISPLAY is not set; " + noBus + "DISPLAY is not set"},
        {{{"WAYLAND_DISPLAY", "no-such-socket"}},
         "cannot connect to the Wayland compositor \"no-such-socket\": No such file or directory; " + noBus +
             "DISPLAY is not set"},
        {{{"WAYLAND_DISPLAY", "mute"}},
         "the Wayland compositor \"mute\" did not answer within 3 s; " + noBus + "DISPLAY is not set"},
        {{{"WAYLAND_DISPLAY", "bad\nname"}},
         "cannot connect to the Wayland compositor \"bad\\u000aname\": No such file or directory; " + noBus +
             "DISPLAY is not set"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.found);
        EXPECT_EQ(session.run({"list-outputs"}, c.env), (Result{1, "", noService(c.found)}));
    }
    // The user's own rules decide.
    EXPECT_EQ(session.run({"list-outputs"}, {{"QT_LOGGING_RULES", "dispor.warning=false"}}),
              (Result{1, "", ""}));
    // A change reaches nothing and writes nothing.
    EXPECT_EQ(session.run({"DP-1", "set-scale", "150%"}),
              (Result{1, "", noService("WAYLAND_DISPLAY is not set; " + noBus + "DISPLAY is not set")}));
    EXPECT_EQ(
        session.run({"off"}),
        (Result{
            1, "",
            "Failed to switch display power: found no display service to configure (WAYLAND_DISPLAY is not "
            "set; " +
                noBus + "DISPLAY is not set); " + virtualHint}));
    EXPECT_FALSE(e2e::fileExists(session.runtime.file("dispor")));
    // Asked for, the simulated set is there.
    EXPECT_EQ(session.run({"list-outputs", "--names"}, {{"DISPOR_BACKEND", "virtual"}}),
              (Result{0, "eDP-1\nDP-1\n", ""}));
}

// The tool starts no Qt platform: one that could not start changes nothing,
// and Qt's own options are words like any other.
TEST(BackendChoice, QtPlatformsPlayNoPart)
{
    const Session session;
    const Env simulated = {{"DISPOR_BACKEND", "virtual"}};
    struct Case {
        std::vector<std::string> args;
        Env env;
        Result result;
    };
    const Result names{0, "eDP-1\nDP-1\n", ""};
    const Case cases[] = {
        {{"list-outputs", "--names"}, {{"QT_QPA_PLATFORM", "xcb"}}, names},
        {{"list-outputs", "--names"}, {{"QT_QPA_PLATFORM", "no-such-platform"}}, names},
        {{"-platform", "list-outputs"}, {}, {1, "", "Unexpected positional argument: list-outputs\n"}},
        {{"-platform"}, {}, {1, "", "Unknown output: -platform\n"}},
    };
    for (const Case &c : cases) {
        Env env = c.env;
        env.merge(Env(simulated));
        SCOPED_TRACE(c.args.front());
        EXPECT_EQ(session.run(c.args, env), c.result);
    }
}

// Each backend but the simulated one is a plugin in dispor0/ beside the
// library. One that is missing or cannot load is one line naming the file,
// and the choice without DISPOR_BACKEND goes on to the next backend.
TEST(BackendChoice, APluginThatCannotLoadIsOneLine)
{
    const Session session;
    // The built library alone in a directory of the test's own, found
    // before the tool's search path, with a plugin that is no ELF file.
    const std::string tool = e2e::dispctlBinary();
    const e2e::TempDir library;
    ASSERT_EQ(::mkdir(library.file("dispor0").c_str(), 0700), 0);
    e2e::writeFile(library.file("libdispor.so.0"),
                   e2e::readFile(tool.substr(0, tool.rfind('/')) + "/../dispor/libdispor.so.0"));
    const std::string x11 = library.file("dispor0/x11.so");
    e2e::writeFile(x11, "");
    const std::string gnome = library.file("dispor0/gnome.so");
    // A bus on which mutter's name is held, so that the GNOME plugin is opened.
    const e2e::SessionBus bus;
    const e2e::Compositor mutter(bus, {"--also-own", "org.gnome.Mutter.DisplayConfig"});
    Env env = {
        {"LD_LIBRARY_PATH", library.path()}, {"DISPLAY", ":99"}, {"DBUS_SESSION_BUS_ADDRESS", bus.address()}};

    EXPECT_EQ(
        session.run({"list-outputs"}, env),
        (Result{1, "",
                noService("WAYLAND_DISPLAY is not set; cannot load the gnome backend: " + gnome +
                          ": cannot open shared object file: No such file or directory; cannot load the x11 "
                          "backend: " +
                          x11 + ": file too short")}));
    // Where no bus listens, one that does not answer, or one without mutter,
    // that is found without the plugin.
    const e2e::MuteSocket mute(session.runtime.file("mute"));
    const support::FakeBus quiet(session.runtime.file("quiet"),
                                 support::FakeBus::Fault::QuietAfterAuthentication);
    const support::FakeBus flooding(session.runtime.file("flooding"),
                                    support::FakeBus::Fault::FloodsTheHandshake);
    const e2e::SessionBus bare;
    const std::string x11Found = "; cannot load the x11 backend: " + x11 + ": file too short";
    const std::pair<std::string, std::string> buses[] = {
        {"unix:path=/nonexistent/bus",
         "cannot connect to the session bus at \"unix:path=/nonexistent/bus\": No such file or directory"},
        {"unix:path=" + session.runtime.file("mute"),
         "the session bus at \"unix:path=" + session.runtime.file("mute") + "\" did not answer within 3 s"},
        {quiet.address(), "the session bus at \"" + quiet.address() + "\" did not answer Hello within 3 s"},
        {flooding.address(), "cannot connect to the session bus at \"" + flooding.address() +
                                 "\": it sent more than 64 KiB where a short answer was due"},
        {bare.address(), "the session bus offers no org.gnome.Mutter.DisplayConfig"},
    };
    for (const auto &[address, found] : buses) {
        env["DBUS_SESSION_BUS_ADDRESS"] = address;
        EXPECT_EQ(session.run({"list-outputs"}, env),
                  (Result{1, "", noService("WAYLAND_DISPLAY is not set; " + found + x11Found)}));
    }
    env.erase("DBUS_SESSION_BUS_ADDRESS");
    env["DISPOR_BACKEND"] = "x11";
    EXPECT_EQ(session.run({"list-outputs"}, env),
              (Result{1, "", "dispor: cannot load the x11 backend: " + x11 + ": file too short\n"}));
    env["DISPOR_BACKEND"] = "virtual";
    EXPECT_EQ(session.run({"list-outputs", "--names"}, env), (Result{0, "eDP-1\nDP-1\n", ""}));
}

// A damaged plugin is a reason naming the file, never a crash or a hang,
// and the choice without DISPOR_BACKEND goes on past it.
TEST(BackendChoice, ADamagedPluginIsOneLine)
{
    const Session session;
    const std::string tool = e2e::dispctlBinary();
    const std::string built = e2e::readFile(tool.substr(0, tool.rfind('/')) + "/../dispor/dispor0/x11.so");
    if (built.empty())
        GTEST_SKIP() << "this build has no X11 plugin";
    const e2e::TempDir library;
    ASSERT_EQ(::mkdir(library.file("dispor0").c_str(), 0700), 0);
    e2e::writeFile(library.file("libdispor.so.0"),
                   e2e::readFile(tool.substr(0, tool.rfind('/')) + "/../dispor/libdispor.so.0"));
    const std::string x11 = library.file("dispor0/x11.so");
    std::string otherMachine = built;
    otherMachine[18] = char(otherMachine[18] ^ 0x40); // e_machine
    struct Case {
        std::string name;
        std::function<void()> make;
        std::string why;
    };
    const Case cases[] = {
        {"cut short", [&] { e2e::writeFile(x11, built.substr(0, 4096)); },
         "a segment lies beyond the end of the file"},
        {"headers cut off", [&] { e2e::writeFile(x11, built.substr(0, 80)); },
         "the program headers lie beyond the end of the file"},
        {"another machine", [&] { e2e::writeFile(x11, otherMachine); },
         "not a shared object for this machine"},
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(x11.c_str(), 0600), 0); }, "not a regular file"},
        {"null table", [&] { e2e::writeFile(x11, e2e::readFile(NULL_TABLE_PLUGIN)); },
         "its table lacks create"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ::unlink(x11.c_str());
        c.make();
        Env env = {{"LD_LIBRARY_PATH", library.path()}, {"DISPLAY", ":99"}};
        EXPECT_EQ(
            session.run({"list-outputs"}, env),
            (Result{
                1, "",
                noService("WAYLAND_DISPLAY is not set; cannot connect to the session bus at "
                          "\"unix:path=/nonexistent/bus\": No such file or directory; cannot load the x11 "
                          "backend: " +
                          x11 + ": " + c.why)}));
        env["DISPOR_BACKEND"] = "x11";
        EXPECT_EQ(session.run({"list-outputs"}, env),
                  (Result{1, "", "dispor: cannot load the x11 backend: " + x11 + ": " + c.why + "\n"}));
    }
}

} // namespace
