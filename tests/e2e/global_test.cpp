// The global commands: list-outputs with its flags and forms, identify, and
// the power commands off and on.

#include "harness.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

const std::string mode = R"("modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}],
    "currentModeId": "1")";

// In id order the names are not in byte order.
const std::string outputs = R"({"outputs": [
    {"id": 1, "name": "eDP-1", "type": "Panel", "priority": 1, )" +
                            mode + R"(},
    {"id": 2, "name": "HDMI-A-1", "enabled": false, "capabilities": ["disable"], )" +
                            mode + R"(},
    {"id": 3, "name": "DP-2", "connected": false, )" +
                            mode + R"(},
    {"id": 4, "name": "DP-1", "priority": 2, "pos": {"x": 1920, "y": 0}, "capabilities": ["hdr", "vrr"], )" +
                            mode + R"(}
]})";

const std::string noneConnected = R"({"outputs": [
    {"id": 1, "name": "eDP-1", "connected": false, )" +
                                  mode + R"(},
    {"id": 2, "name": "DP-1", "connected": false, "enabled": false, )" +
                                  mode + R"(}
]})";

std::string indented(const std::string &text)
{
    std::istringstream in(text);
    std::string result;
    for (std::string line; std::getline(in, line);)
        result += (result.empty() ? "" : "\n") + std::string("    ") + line;
    return result;
}

// The report of each output as self prints it.
std::string selfOutput(const e2e::VirtualSet &set, const std::string &name, bool json)
{
    std::vector<std::string> words = {name};
    if (json)
        words.push_back("--json");
    const e2e::Result r = e2e::run(set, words);
    EXPECT_EQ(r.status, 0) << r;
    return r.out;
}

TEST(ListOutputs, NamesForms)
{
    e2e::VirtualSet set(outputs);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--names"}, "eDP-1\nHDMI-A-1\nDP-1\n"},
        {{"--names", "--enabled"}, "eDP-1\nDP-1\n"},
        {{"--enabled", "--names"}, "eDP-1\nDP-1\n"},
        {{"--names", "--disabled"}, "HDMI-A-1\n"},
        // The enabled flag wins.
        {{"--names", "--disabled", "--enabled"}, "eDP-1\nDP-1\n"},
        {{"--names", "--names"}, "eDP-1\nHDMI-A-1\nDP-1\n"},
        {{"--names", "--json"}, "[\n    \"eDP-1\",\n    \"HDMI-A-1\",\n    \"DP-1\"\n]\n\n"},
        {{"--json", "--names", "--enabled"}, "[\n    \"eDP-1\",\n    \"DP-1\"\n]\n\n"},
        {{"--json", "--names", "--disabled"}, "[\n    \"HDMI-A-1\"\n]\n\n"},
    };
    for (const auto &[flags, out] : cases) {
        std::vector<std::string> words = {"list-outputs"};
        words.insert(words.end(), flags.begin(), flags.end());
        SCOPED_TRACE(out);
        EXPECT_EQ(e2e::run(set, words), (e2e::Result{0, out, ""}));
    }
    EXPECT_EQ(set.read(), outputs);
}

// A name is outside text: its control characters (NUL, ESC, BEL, DEL, C1)
// are escaped in every form, and JSON escapes DEL and C1 too.
TEST(ListOutputs, NamesNeverDriveTheTerminal)
{
    const std::string name = R"(a\u0000\u001b]0;t\u0007\u007f\u009b2J\u0085)";
    e2e::VirtualSet set(R"({"outputs": [{"id": 1, "name": ")" + name + R"(", )" + mode + "}]}");
    EXPECT_EQ(e2e::run(set, {"list-outputs", "--names"}), (e2e::Result{0, name + "\n", ""}));
    EXPECT_EQ(e2e::run(set, {"list-outputs", "--names", "--json"}),
              (e2e::Result{0, "[\n    \"" + name + "\"\n]\n\n", ""}));
    const e2e::Result json = e2e::run(set, {"list-outputs", "--json"});
    EXPECT_NE(json.out.find("\"name\": \"" + name + "\""), std::string::npos) << json.out;
}

TEST(ListOutputs, ReportForms)
{
    e2e::VirtualSet set(outputs);
    const std::string panel = selfOutput(set, "eDP-1", false);
    const std::string hdmi = selfOutput(set, "HDMI-A-1", false);
    const std::string dp = selfOutput(set, "DP-1", false);
    ASSERT_NE(panel, "");
    EXPECT_EQ(e2e::run(set, {"list-outputs"}), (e2e::Result{0, panel + hdmi + dp, ""}));
    EXPECT_EQ(e2e::run(set, {"list-outputs", "--enabled"}), (e2e::Result{0, panel + dp, ""}));
    EXPECT_EQ(e2e::run(set, {"list-outputs", "--disabled"}), (e2e::Result{0, hdmi, ""}));

    const std::string panelJson = indented(selfOutput(set, "eDP-1", true));
    const std::string hdmiJson = indented(selfOutput(set, "HDMI-A-1", true));
    const std::string dpJson = indented(selfOutput(set, "DP-1", true));
    ASSERT_EQ(panelJson.rfind("    {\n        \"abm\": 0,\n", 0), 0u) << panelJson;
    EXPECT_EQ(e2e::run(set, {"list-outputs", "--json"}),
              (e2e::Result{0, "[\n" + panelJson + ",\n" + hdmiJson + ",\n" + dpJson + "\n]\n\n", ""}));
    EXPECT_EQ(e2e::run(set, {"list-outputs", "--json", "--disabled"}),
              (e2e::Result{0, "[\n" + hdmiJson + "\n]\n\n", ""}));
    EXPECT_EQ(e2e::run(set, {"list-outputs", "--enabled", "--json"}),
              (e2e::Result{0, "[\n" + panelJson + ",\n" + dpJson + "\n]\n\n", ""}));
}

TEST(ListOutputs, NothingConnected)
{
    e2e::VirtualSet set(noneConnected);
    EXPECT_EQ(e2e::run(set, {"list-outputs"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(e2e::run(set, {"list-outputs", "--names"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(e2e::run(set, {"list-outputs", "--json"}), (e2e::Result{0, "[\n]\n\n", ""}));
    EXPECT_EQ(e2e::run(set, {"list-outputs", "--json", "--names"}), (e2e::Result{0, "[\n]\n\n", ""}));

    e2e::VirtualSet enabledOnly(outputs);
    EXPECT_EQ(e2e::run(enabledOnly, {"list-outputs", "--disabled", "--names"}),
              (e2e::Result{0, "HDMI-A-1\n", ""}));
}

TEST(ListOutputs, DefaultSet)
{
    // No document: the library's built-in set, of which two are connected.
    e2e::VirtualSet set;
    const e2e::Result names = e2e::run(set, {"list-outputs", "--names"});
    EXPECT_EQ(names, (e2e::Result{0, "eDP-1\nDP-1\n", ""}));
    const e2e::Result json = e2e::run(set, {"list-outputs", "--json"});
    ASSERT_EQ(json.status, 0) << json;
    const QJsonArray array = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).array();
    ASSERT_EQ(array.size(), 2);
    EXPECT_EQ(array.at(0).toObject().value("name").toString(), "eDP-1");
    EXPECT_EQ(array.at(1).toObject().value("name").toString(), "DP-1");
    EXPECT_FALSE(e2e::fileExists(set.path()));
}

TEST(Identify, CompositorAnswers)
{
    e2e::TempDir dir;
    const std::string log = dir.file("calls");
    e2e::SessionBus bus;
    e2e::Compositor vantor(bus, {"--log", log});
    // identify needs no configuration.
    e2e::VirtualSet set("{broken");
    EXPECT_EQ(e2e::run(set, bus, {"identify"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(e2e::readFile(log), "show\n");
}

TEST(Identify, Failures)
{
    const std::string prefix = "org.lumo.Vantor.Effect.OutputLocator1.show failed: ";
    e2e::VirtualSet set;
    {
        e2e::SessionBus bus;
        e2e::Compositor vantor(bus, {"--locator-error", "The popup is already shown"});
        EXPECT_EQ(e2e::run(set, bus, {"identify"}),
                  (e2e::Result{1, "", prefix + "The popup is already shown\n"}));
    }
    {
        e2e::SessionBus bus;
        e2e::Compositor vantor(bus, {"--no-locator"});
        EXPECT_EQ(
            e2e::run(set, bus, {"identify"}),
            (e2e::Result{1, "", prefix + "No such object path '/org/lumo/Vantor/Effect/OutputLocator1'\n"}));
    }
    {
        e2e::SessionBus bus;
        EXPECT_EQ(e2e::run(set, bus, {"identify"}),
                  (e2e::Result{
                      1, "", prefix + "The name org.lumo.Vantor was not provided by any .service files\n"}));
    }
    EXPECT_EQ(e2e::run(set, {"identify"}), (e2e::Result{1, "", prefix + "Not connected to D-Bus server\n"}));
    {
        // A reply's text is escaped: the message stays one line.
        e2e::SessionBus bus;
        e2e::Compositor vantor(bus, {"--locator-error", "two\nlines \x1b]0;title\x07"});
        EXPECT_EQ(e2e::run(set, bus, {"identify"}),
                  (e2e::Result{1, "", prefix + "two\\u000alines \\u001b]0;title\\u0007\n"}));
    }
    EXPECT_FALSE(e2e::fileExists(set.path()));
}

TEST(Identify, ABusThatNeverAnswersIsATimeOut)
{
    e2e::TempDir dir;
    const e2e::MuteSocket mute(dir.file("bus"));
    using Fault = support::FakeBus::Fault;
    const support::FakeBus quiet(dir.file("quiet"), Fault::QuietAfterAuthentication);
    const support::FakeBus flooding(dir.file("flooding"), Fault::FloodsTheHandshake);
    const support::FakeBus huge(dir.file("huge"), Fault::HugeHelloReply);
    const std::pair<std::string, std::string> buses[] = {
        {"unix:path=" + dir.file("bus"), "The session bus did not answer within 3 s"},
        // Past the authentication, the bus library would wait 25 s for
        // Hello, then abort; a flood or a huge answer would fill memory.
        {quiet.address(), "The session bus did not answer Hello within 3 s"},
        {flooding.address(),
         "The session bus cannot be used: it sent more than 64 KiB where a short answer was due"},
        {huge.address(),
         "The session bus cannot be used: its answer to Hello is not a message a bus sends, or "
         "longer than 64 KiB"},
    };
    e2e::VirtualSet set;
    for (const auto &[address, why] : buses) {
        SCOPED_TRACE(address);
        const e2e::Env env = {{"DBUS_SESSION_BUS_ADDRESS", address}};
        EXPECT_EQ(e2e::run(set, {"identify"}, env),
                  (e2e::Result{1, "", "org.lumo.Vantor.Effect.OutputLocator1.show failed: " + why + "\n"}));
        EXPECT_EQ(
            e2e::run(set, {"active-output"}, env),
            (e2e::Result{1, "",
                         "Failed to determine active output: " + why + "\nUnknown output: active-output\n"}));
    }
}

// The compositor calls live in a module the tool opens from its own place;
// a tool without it fails the call with one line naming the file.
TEST(Identify, AMissingBusModuleIsOneLine)
{
    const e2e::TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("bin").c_str(), 0700), 0);
    const std::string tool = dir.file("bin/dispctl");
    e2e::writeFile(tool, e2e::readFile(e2e::dispctlBinary()));
    ASSERT_EQ(::chmod(tool.c_str(), 0700), 0);
    e2e::VirtualSet set;
    const e2e::Result result = e2e::runProgram(tool, {"identify"}, set.env());
    const std::string start =
        "org.lumo.Vantor.Effect.OutputLocator1.show failed: cannot load the session-bus module: " +
        dir.file("bin/../lib/");
    const std::string end =
        "/dispctl/compositor.so: cannot open shared object file: No such file or directory\n";
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.substr(0, start.size()), start) << result.err;
    EXPECT_TRUE(result.err.ends_with(end)) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);
}

// Without /proc the module is still found from the tool's own file, never
// by a path relative to the working directory.
TEST(Identify, WithoutProcTheBusModuleIsFoundFromTheTool)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the leak checker needs /proc";
#endif
    const e2e::VirtualSet set;
    if (e2e::runProgram("/usr/bin/unshare", {"-rm", "true"}).status != 0)
        GTEST_SKIP() << "needs a mount namespace to hide /proc";
    const e2e::TempDir dir;
    const char *script = "mount -t tmpfs none /proc && cd \"$1\" && shift && exec \"$@\"";
    const e2e::Result result = e2e::runProgram(
        "/usr/bin/unshare",
        {"-rm", "/bin/sh", "-c", script, "sh", dir.path(), e2e::dispctlBinary(), "identify"}, set.env());
    EXPECT_EQ(
        result,
        (e2e::Result{1, "",
                     "org.lumo.Vantor.Effect.OutputLocator1.show failed: Not connected to D-Bus server\n"}));
}

std::map<std::string, std::string> dpmsStates(const std::string &document)
{
    std::map<std::string, std::string> states;
    const QJsonArray array =
        QJsonDocument::fromJson(QByteArray::fromStdString(document)).object().value("outputs").toArray();
    for (const QJsonValue &value : array) {
        const QJsonObject output = value.toObject();
        states[output.value("name").toString().toStdString()] =
            output.value("dpms").toString(QStringLiteral("on")).toStdString();
    }
    return states;
}

TEST(Power, OffAndOn)
{
    const std::string document = R"({"outputs": [
        {"id": 1, "name": "eDP-1", "priority": 1, "dpms": "standby", )" +
                                 mode + R"(},
        {"id": 2, "name": "HDMI-A-1", "enabled": false, )" +
                                 mode + R"(},
        {"id": 3, "name": "DP-2", "connected": false, "dpms": "suspend", )" +
                                 mode + R"(}
    ]})";
    e2e::VirtualSet set(document);
    EXPECT_EQ(e2e::run(set, {"off"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(dpmsStates(set.read()), (std::map<std::string, std::string>{
                                          {"eDP-1", "off"}, {"HDMI-A-1", "off"}, {"DP-2", "suspend"}}));
    EXPECT_EQ(e2e::run(set, {"off"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(dpmsStates(set.read()), (std::map<std::string, std::string>{
                                          {"eDP-1", "off"}, {"HDMI-A-1", "off"}, {"DP-2", "suspend"}}));
    EXPECT_EQ(e2e::run(set, {"on"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(dpmsStates(set.read()),
              (std::map<std::string, std::string>{{"eDP-1", "on"}, {"HDMI-A-1", "on"}, {"DP-2", "suspend"}}));
}

TEST(Power, DefaultSet)
{
    e2e::VirtualSet set;
    EXPECT_EQ(e2e::run(set, {"off"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(dpmsStates(set.read()),
              (std::map<std::string, std::string>{{"eDP-1", "off"}, {"DP-1", "off"}, {"HDMI-A-1", "on"}}));
    EXPECT_EQ(e2e::run(set, {"on"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(dpmsStates(set.read()),
              (std::map<std::string, std::string>{{"eDP-1", "on"}, {"DP-1", "on"}, {"HDMI-A-1", "on"}}));
}

// A switch that could not be made is a failure, not a quiet success.
TEST(Power, FailureIsReported)
{
    for (const char *command : {"off", "on"}) {
        SCOPED_TRACE(command);
        e2e::VirtualSet set("{\"outputs\": 3}");
        const e2e::Result r = e2e::run(set, {command});
        // One message, from the tool, with the library's reason.
        EXPECT_EQ(r, (e2e::Result{1, "",
                                  "Failed to switch display power: " + set.path() +
                                      ": \"outputs\" must be an array, not 3\n"}));
        EXPECT_EQ(set.read(), "{\"outputs\": 3}");
    }
}

} // namespace
