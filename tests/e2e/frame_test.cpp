// How the OUTPUT word finds its output, and how the frame fails; get-name
// prints what a word resolved to.

#include "harness.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>
#include <vector>

namespace {

const std::string mode = R"("modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}],
    "currentModeId": "1")";

// DP-1's uuid is another output's connector name; HDMI-A-1 has no uuid;
// DP-3 is disconnected and DP-4 disabled.
const std::string outputs = R"({"outputs": [
    {"id": 1, "name": "eDP-1", "uuid": "panel-uuid", "priority": 1, )" +
                            mode + R"(},
    {"id": 2, "name": "DP-1", "uuid": "HDMI-A-1", "priority": 2, "pos": {"x": 1920, "y": 0}, )" +
                            mode + R"(},
    {"id": 3, "name": "HDMI-A-1", "priority": 3, "pos": {"x": 3840, "y": 0}, )" +
                            mode + R"(},
    {"id": 5, "name": "DP-3", "uuid": "DP-4", "connected": false, )" +
                            mode + R"(},
    {"id": 6, "name": "DP-4", "uuid": "dp4-uuid", "enabled": false, )" +
                            mode + R"(},
    {"id": 12, "name": "Virtual-1", "uuid": "", "priority": 4, "pos": {"x": 5760, "y": 0}, )" +
                            mode + R"(}
]})";

struct Case {
    std::string word;
    e2e::Result result;
};

e2e::Result named(const char *name)
{
    return {0, std::string(name) + "\n", ""};
}

e2e::Result unknown(const std::string &word)
{
    return {1, "", "Unknown output: " + word + "\n"};
}

void expectNames(const std::string &document, const std::vector<Case> &cases)
{
    e2e::VirtualSet set(document);
    for (const Case &c : cases) {
        SCOPED_TRACE("word '" + c.word + "'");
        EXPECT_EQ(e2e::run(set, {c.word, "get-name"}), c.result);
    }
    // Resolving reads only.
    EXPECT_EQ(set.read(), document);
}

TEST(Frame, ResolvesNamesUuidsAndIds)
{
    expectNames(outputs, {
                             {"eDP-1", named("eDP-1")},
                             {"DP-1", named("DP-1")},
                             {"panel-uuid", named("eDP-1")},
                             {"dp4-uuid", named("DP-4")},
                             // A name that is also a uuid: the lower id wins, whichever it is.
                             {"HDMI-A-1", named("DP-1")},
                             {"DP-4", named("DP-3")},
                             // Disconnected and disabled outputs can be named.
                             {"DP-3", named("DP-3")},
                             {"1", named("eDP-1")},
                             {"2", named("DP-1")},
                             {"02", named("DP-1")},
                             {"+2", named("DP-1")},
                             {"12", named("Virtual-1")},
                             {"5", named("DP-3")},
                             {"6", named("DP-4")},
                             {"primary-output", named("eDP-1")},
                             {"2.0", unknown("2.0")},
                             {"4", unknown("4")},
                             {"0x2", unknown("0x2")},
                             {"-1", unknown("-1")},
                             {"99999999999", unknown("99999999999")},
                             {"dp-1", unknown("dp-1")},
                             {"DP-1 ", unknown("DP-1 ")},
                             {"Primary-Output", unknown("Primary-Output")},
                             {"Active-Output", unknown("Active-Output")},
                             // Outputs without a uuid have an empty one: an empty word names none
                             // of them.
                             {"", unknown("")},
                         });
}

TEST(Frame, NameOrUuidBeatsId)
{
    const std::string document = R"({"outputs": [
        {"id": 1, "name": "eDP-1", "priority": 1, )" +
                                 mode + R"(},
        {"id": 2, "name": "DP-1", "priority": 2, )" +
                                 mode + R"(},
        {"id": 3, "name": "2", "priority": 3, )" +
                                 mode + R"(},
        {"id": 4, "name": "DP-2", "uuid": "1", "priority": 4, )" +
                                 mode + R"(}
    ]})";
    expectNames(document, {
                              {"2", named("2")},
                              {"1", named("DP-2")},
                              {"3", named("2")},
                              {"02", named("DP-1")},
                              {"4", named("DP-2")},
                          });
}

TEST(Frame, PrimaryOutputNeedsOne)
{
    const std::string document = R"({"outputs": [
        {"id": 1, "name": "eDP-1", "enabled": false, )" +
                                 mode + R"(},
        {"id": 2, "name": "DP-1", "connected": false, )" +
                                 mode + R"(}
    ]})";
    e2e::VirtualSet set(document);
    EXPECT_EQ(e2e::run(set, {"primary-output", "get-name"}), unknown("primary-output"));
    EXPECT_EQ(e2e::run(set, {"primary-output"}), unknown("primary-output"));
    EXPECT_EQ(e2e::run(set, {"primary-output", "--json"}), unknown("primary-output"));
    EXPECT_EQ(e2e::run(set, {"DP-9", "--json"}), unknown("DP-9"));
    EXPECT_EQ(e2e::run(set, {"DP-9", "self"}), unknown("DP-9"));
}

// Without a usable document the library says why, and the frame adds
// nothing: no "Unknown output" after it.
TEST(Frame, NoConfiguration)
{
    const std::vector<std::vector<std::string>> commandLines = {
        {"DP-1"},      {"DP-1", "--json"},      {"DP-1", "get-name"}, {"primary-output", "get-name"},
        {"1", "self"}, {"DP-1", "set-primary"}, {"list-outputs"},     {"list-outputs", "--json"},
    };
    for (const char *document : {"{not json", R"({"outputs": [{"id": 1, "name": "DP-1", "bogus": 1}]})"}) {
        e2e::VirtualSet set(document);
        for (const std::vector<std::string> &words : commandLines) {
            SCOPED_TRACE(std::string(document) + " / " + words.front() +
                         (words.size() > 1 ? " " + words[1] : ""));
            const e2e::Result r = e2e::run(set, words);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err.rfind("dispor: ", 0), 0u) << r.err;
            EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        }
        EXPECT_EQ(set.read(), document);
    }
}

TEST(Frame, AppliesOrSaysWhyNot)
{
    const std::string document = R"({"outputs": [
        {"id": 1, "name": "eDP-1", "priority": 1, "capabilities": ["disable"], )" +
                                 mode + R"(},
        {"id": 2, "name": "DP-1", "connected": false, )" +
                                 mode + R"(}
    ]})";
    e2e::VirtualSet set(document);
    // The service refuses to leave no connected output enabled.
    const e2e::Result refused = e2e::run(set, {"eDP-1", "set-enabled", "false"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    const std::string prefix = "Failed to apply output configuration: ";
    EXPECT_EQ(refused.err.rfind(prefix, 0), 0u) << refused.err;
    EXPECT_GT(refused.err.size(), prefix.size() + 1) << refused.err;
    EXPECT_EQ(refused.err.find('\n'), refused.err.size() - 1) << refused.err;
    EXPECT_EQ(set.read(), document);

    // A clean apply prints nothing at all.
    EXPECT_EQ(e2e::run(set, {"1", "set-primary"}), (e2e::Result{0, "", ""}));
}

TEST(Frame, ActiveOutputFromTheCompositor)
{
    e2e::TempDir dir;
    struct Case {
        std::vector<std::string> compositor;
        e2e::Result result;
    };
    const std::vector<Case> cases = {
        {{"--active-output", "DP-1"}, named("DP-1")},
        {{}, named("DP-1")},
        {{"--active-output", "HDMI-A-1"}, named("DP-1")},
        {{"--active-output", "panel-uuid"}, named("eDP-1")},
        {{"--active-output", "12"}, named("Virtual-1")},
        {{"--active-output", "DP-3"}, named("DP-3")},
        // The compositor's word is a name, not a keyword.
        {{"--active-output", "primary-output"}, unknown("active-output")},
        {{"--active-output", "HDMI-A-9"}, unknown("active-output")},
        {{"--active-output", ""}, unknown("active-output")},
        {{"--active-error", "No output has focus"},
         {1, "", "Failed to determine active output: No output has focus\nUnknown output: active-output\n"}},
        {{"--active-non-string"},
         {1, "",
          "Failed to determine active output: Unexpected reply signature: got \"i\", expected \"s\"\n"
          "Unknown output: active-output\n"}},
    };
    e2e::VirtualSet set(outputs);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.compositor.empty() ? "default" : c.compositor.front() + " " + c.compositor.back());
        const std::string log = dir.file("calls");
        // A bus of its own each time: the last stand-in's name is gone for sure.
        e2e::SessionBus bus;
        std::vector<std::string> arguments = c.compositor;
        arguments.insert(arguments.end(), {"--log", log});
        e2e::Compositor vantor(bus, arguments);
        EXPECT_EQ(e2e::run(set, bus, {"active-output", "get-name"}), c.result);
        EXPECT_EQ(e2e::readFile(log), "activeOutputName\n");
        ::unlink(log.c_str());
    }
}

// Without DBUS_SESSION_BUS_ADDRESS, the user's bus in the runtime directory,
// as the bus's own tools find it.
TEST(Frame, ActiveOutputOnTheUsersBus)
{
    e2e::VirtualSet set(outputs);
    e2e::SessionBus bus;
    e2e::Compositor vantor(bus, {"--active-output", "DP-1"});
    EXPECT_EQ(e2e::run(set, {"active-output", "get-name"},
                       {{"DBUS_SESSION_BUS_ADDRESS", std::nullopt}, {"XDG_RUNTIME_DIR", bus.runtimeDir()}}),
              named("DP-1"));
}

TEST(Frame, ActiveOutputWithoutCompositor)
{
    e2e::VirtualSet set(outputs);
    {
        e2e::SessionBus bus;
        EXPECT_EQ(e2e::run(set, bus, {"active-output", "get-name"}),
                  (e2e::Result{
                      1, "",
                      "Failed to determine active output: The name org.lumo.Vantor was not provided by any "
                      ".service files\nUnknown output: active-output\n"}));
    }
    // No session bus at all.
    EXPECT_EQ(e2e::run(set, {"active-output", "get-name"}),
              (e2e::Result{1, "",
                           "Failed to determine active output: Not connected to D-Bus server\n"
                           "Unknown output: active-output\n"}));
    EXPECT_EQ(e2e::run(set, {"active-output"}),
              (e2e::Result{1, "",
                           "Failed to determine active output: Not connected to D-Bus server\n"
                           "Unknown output: active-output\n"}));
}

// Only the word "active-output" asks the compositor; nothing else does,
// not even start-up.
TEST(Frame, OtherWordsLeaveTheBusAlone)
{
    e2e::TempDir dir;
    e2e::SessionBus bus;
    const std::string log = dir.file("calls");
    e2e::Compositor vantor(bus, {"--active-output", "eDP-1", "--log", log});
    e2e::VirtualSet set(outputs);
    EXPECT_EQ(e2e::run(set, bus, {"DP-1", "get-name"}), named("DP-1"));
    EXPECT_EQ(e2e::run(set, bus, {"primary-output", "get-name"}), named("eDP-1"));
    EXPECT_EQ(e2e::run(set, bus, {"nothing", "get-name"}), unknown("nothing"));
    EXPECT_EQ(e2e::run(set, bus, {"list-outputs", "--names"}).status, 0);
    EXPECT_EQ(e2e::readFile(log), "");
    EXPECT_EQ(e2e::run(set, bus, {"active-output", "get-name"}), named("eDP-1"));
    EXPECT_EQ(e2e::readFile(log), "activeOutputName\n");
}

} // namespace

// Out of memory a run ends with one line, not an abort, and writes nothing.
TEST(Frame, OutOfMemoryIsOneLine)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers reserve more address space than the limit allows";
#else
    // 5800 outputs of 40 modes, 15 MB: the tool starts in half of the limit
    // but cannot apply a change to this document within it.
    std::string document = R"({"outputs": [)";
    for (int id = 1; id <= 5800; ++id) {
        document += (id > 1 ? ",\n" : "") + std::string(R"({"id": )") + std::to_string(id) +
                    R"(, "name": "DP-)" + std::to_string(id) +
                    R"(", "capabilities": ["brightness"], "currentModeId": "1", "modes": [)";
        for (int m = 1; m <= 40; ++m)
            document += (m > 1 ? ", " : "") + std::string(R"({"id": ")") + std::to_string(m) +
                        R"(", "width": 1920, "height": 1080, "refreshRate": 60.0})";
        document += "]}";
    }
    document += "]}";
    e2e::VirtualSet set(document);
    EXPECT_EQ(e2e::runProgram("/bin/sh",
                              {"-c", "ulimit -v 100000 && exec \"$0\" \"$@\"", e2e::dispctlBinary(), "DP-1",
                               "set-brightness", "50"},
                              set.env()),
              (e2e::Result{1, "", "out of memory\n"}));
    EXPECT_TRUE(set.read() == document) << "the document changed";
#endif
}
