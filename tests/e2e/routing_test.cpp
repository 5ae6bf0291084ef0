#include "expected_help.h"
#include "harness.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <sys/stat.h>
#include <thread>

using e2e::Result;

namespace {

const char *const twoOutputs = R"({"outputs": [
    {"id": 1, "name": "DP-1", "uuid": "u-1", "priority": 1, "currentModeId": "1",
     "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}]},
    {"id": 2, "name": "HDMI-A-1", "priority": 2, "pos": {"x": 1920, "y": 0}, "currentModeId": "1",
     "modes": [{"id": "1", "width": 1280, "height": 720, "refreshRate": 60.0}]}
]})";

std::string join(const std::vector<std::string> &words)
{
    std::string result;
    for (const std::string &word : words)
        result += (result.empty() ? "" : " ") + ("'" + word + "'");
    return result;
}

QJsonObject outputNamed(const std::string &document, const char *name)
{
    const QJsonArray outputs =
        QJsonDocument::fromJson(QByteArray::fromStdString(document)).object().value("outputs").toArray();
    for (const QJsonValue &output : outputs) {
        if (output.toObject().value("name").toString() == QLatin1StringView(name))
            return output.toObject();
    }
    return {};
}

TEST(Routing, Help)
{
    e2e::VirtualSet set(twoOutputs);
    const std::string help = expectedHelp();
    const struct {
        std::vector<std::string> words;
        int status;
    } cases[] = {
        {{}, 1},
        {{"help"}, 0},
        {{"help", "--json"}, 0},
        {{"help", "DP-1", "bogus"}, 0},
        {{"--help"}, 0},
        {{"DP-1", "set-mode", "--help"}, 0},
        {{"DP-1", "--help"}, 0},
        {{"list-outputs", "--help"}, 0},
        {{"list-outputs", "DP-1", "--help"}, 0},
        {{"nowhere", "bogus", "extra", "--help"}, 0},
        {{"DP-1", "get-name", "extra", "--help"}, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(join(c.words));
        EXPECT_EQ(e2e::run(set, c.words), (Result{c.status, "", help}));
    }
    // The version alone, on standard output; with --help the help wins.
    EXPECT_EQ(e2e::run(set, {"--version"}), (Result{0, "dispctl " DISPCTL_VERSION "\n", ""}));
    EXPECT_EQ(e2e::run(set, {"--version", "--help"}), (Result{0, "", help}));
    EXPECT_EQ(e2e::run(set, {"DP-1", "--version"}), (Result{1, "", "Unknown argument: --version\n"}));
    EXPECT_EQ(set.read(), twoOutputs);
}

// Rejected before any handler runs: nothing is fetched or changed.
TEST(Routing, ParserRejections)
{
    e2e::VirtualSet set(twoOutputs);
    const struct {
        std::vector<std::string> words;
        std::string err;
    } cases[] = {
        {{"DP-1", "help"}, "Unexpected positional argument: help\n"},
        {{"DP-1", "Help"}, "Unexpected positional argument: Help\n"},
        {{"DP-1", "bogus"}, "Unexpected positional argument: bogus\n"},
        {{"DP-1", "list-outputs"}, "Unexpected positional argument: list-outputs\n"},
        {{"DP-1", "off"}, "Unexpected positional argument: off\n"},
        {{"list-outputs", "DP-1"}, "Unexpected positional argument: DP-1\n"},
        {{"list-outputs", "--jsn"}, "Unknown argument: --jsn\n"},
        {{"list-outputs", "--json", "--", "--names"}, "Unknown argument: --\n"},
        {{"DP-1", "get-name", "extra"}, ""},
        {{"DP-1", "get-name", "--json"}, ""},
        {{"off", "extra"}, ""},
        {{"on", "--json"}, ""},
        {{"DP-1", "--jsn"}, "Unknown argument: --jsn\n"},
        {{"DP-1", "self", "--Json"}, "Unknown argument: --Json\n"},
        {{"DP-1", "--"}, "Unknown argument: --\n"},
        {{"DP-1", "--größe"}, "Unknown argument: --größe\n"},
        {{"DP-1", "set-position", "100"}, "Invalid arguments: 100\n"},
        {{"DP-1", "set-position"}, "Invalid arguments: \n"},
        {{"DP-1", "set-position", "1", "2", "3"}, "Invalid arguments: 1 2 3\n"},
        {{"DP-1", "set-scale", "150%", "--json"}, "Unknown argument: --json\n"},
        {{"DP-1", "add-custom-mode", "1920", "1080"}, "Invalid arguments: 1920 1080\n"},
        {{"DP-1", "SET-SCALE", "150%"}, "Unexpected positional argument: SET-SCALE\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(join(c.words));
        EXPECT_EQ(e2e::run(set, c.words), (Result{1, "", c.err}));
    }
    EXPECT_EQ(set.read(), twoOutputs);
}

TEST(Routing, Handlers)
{
    e2e::VirtualSet set(twoOutputs);
    const struct {
        std::vector<std::string> words;
        Result result;
    } cases[] = {
        {{"DP-1", "get-name"}, {0, "DP-1\n", ""}},
        {{"u-1", "get-name"}, {0, "DP-1\n", ""}},
        {{"2", "get-name"}, {0, "HDMI-A-1\n", ""}},
        // No global get-name: the word is taken for an output.
        {{"get-name"}, {1, "", "Unknown output: get-name\n"}},
        {{"nowhere", "get-name"}, {1, "", "Unknown output: nowhere\n"}},
        {{"nowhere"}, {1, "", "Unknown output: nowhere\n"}},
        {{"nowhere", "--json"}, {1, "", "Unknown output: nowhere\n"}},
        {{"list-outputs", "--names"}, {0, "DP-1\nHDMI-A-1\n", ""}},
        {{"list-outputs", "--enabled", "--names"}, {0, "DP-1\nHDMI-A-1\n", ""}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(join(c.words));
        EXPECT_EQ(e2e::run(set, c.words), c.result);
    }

    // A lone OUTPUT word runs self, with the words after it as its own.
    const Result text = e2e::run(set, {"DP-1", "self"});
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.err, "");
    EXPECT_NE(text.out, "");
    EXPECT_EQ(e2e::run(set, {"DP-1"}), text);
    const Result json = e2e::run(set, {"DP-1", "self", "--json"});
    EXPECT_EQ(json.status, 0);
    EXPECT_NE(json.out, text.out);
    EXPECT_EQ(e2e::run(set, {"DP-1", "--json"}), json);
    EXPECT_EQ(set.read(), twoOutputs);

    EXPECT_EQ(e2e::run(set, {"DP-1", "set-scale", "150%"}), (Result{0, "", ""}));
    EXPECT_EQ(outputNamed(set.read(), "DP-1").value("scale").toDouble(), 1.5);
}

// off and on are global commands, never an OUTPUT word for self.
TEST(Routing, PowerCommands)
{
    e2e::VirtualSet set(twoOutputs);
    EXPECT_EQ(e2e::run(set, {"off"}), (Result{0, "", ""}));
    EXPECT_EQ(outputNamed(set.read(), "DP-1").value("dpms").toString(), "off");
    EXPECT_EQ(outputNamed(set.read(), "HDMI-A-1").value("dpms").toString(), "off");
    EXPECT_EQ(e2e::run(set, {"on"}), (Result{0, "", ""}));
    // "on" is the default, which the document may leave out.
    EXPECT_EQ(outputNamed(set.read(), "DP-1").value("dpms").toString("on"), "on");
    EXPECT_EQ(outputNamed(set.read(), "HDMI-A-1").value("dpms").toString("on"), "on");
}

// Whatever the session offers, a run never aborts for want of a display
// and shows no toolkit diagnostics.
TEST(Routing, StartsWithoutDisplayServer)
{
    e2e::VirtualSet set(twoOutputs);
    e2e::TempDir open;
    ::chmod(open.path().c_str(), 0777);
    const std::string help = expectedHelp();
    const e2e::Env environments[] = {
        {},
        {{"DISPLAY", ":99"}},
        {{"WAYLAND_DISPLAY", "wayland-99"}},
        {{"WAYLAND_DISPLAY", "wayland-99"}, {"DISPLAY", ":99"}},
        {{"QT_QPA_PLATFORM", ""}, {"DISPLAY", ":99"}},
        {{"XDG_RUNTIME_DIR", std::nullopt}},
        {{"XDG_RUNTIME_DIR", std::nullopt}, {"DISPLAY", ":99"}},
        {{"XDG_RUNTIME_DIR", "/nonexistent/runtime"}},
        {{"XDG_RUNTIME_DIR", open.path()}},
        {{"QT_QPA_PLATFORM", "offscreen"}},
    };
    for (const e2e::Env &env : environments) {
        std::string trace;
        for (const auto &[key, value] : env)
            trace += key + "=" + (value ? "'" + *value + "'" : "<unset>") + " ";
        SCOPED_TRACE(trace);
        EXPECT_EQ(e2e::run(set, {"DP-1", "get-name"}, env), (Result{0, "DP-1\n", ""}));
        EXPECT_EQ(e2e::run(set, {"help"}, env), (Result{0, "", help}));
        EXPECT_EQ(e2e::run(set, {"off"}, env), (Result{0, "", ""}));
    }
}

// The toolkit's options are ordinary words.
TEST(Routing, ToolkitOptions)
{
    e2e::VirtualSet set(twoOutputs);
    EXPECT_EQ(e2e::run(set, {"-platform", "offscreen", "DP-1", "get-name"}),
              (Result{1, "", "Unexpected positional argument: offscreen\n"}));
    EXPECT_EQ(e2e::run(set, {"DP-1", "get-name", "-platform", "offscreen"}), (Result{1, "", ""}));
    EXPECT_EQ(e2e::run(set, {"DP-1", "get-name", "-platform"}, {{"DISPLAY", ":99"}}), (Result{1, "", ""}));
}

// A program the tool starts sees the session's environment as it was.
TEST(Routing, StartedProgramKeepsEnvironment)
{
    e2e::VirtualSet set(R"({"outputs": [
        {"id": 1, "name": "DP-1", "capabilities": ["hdr"], "hdrEnabled": true, "currentModeId": "1",
         "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}]}
    ]})");
    e2e::TempDir bin;
    const std::string seen = bin.file("seen");
    e2e::writeFile(bin.file("lustrometer"),
                   "#!/bin/sh\nenv > '" + seen + ".tmp'\nmv '" + seen + ".tmp' '" + seen + "'\n");
    ::chmod(bin.file("lustrometer").c_str(), 0755);
    const char *path = std::getenv("PATH");
    const e2e::Env env = {{"PATH", bin.path() + ":" + (path ? path : "/usr/bin:/bin")}, {"DISPLAY", ":99"}};

    ASSERT_EQ(e2e::run(set, {"DP-1", "calibrate-hdr"}, env), (Result{0, "", ""}));
    // Started detached: wait for it to have written what it saw.
    for (int i = 0; i < 300 && !e2e::fileExists(seen); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::string environment = e2e::readFile(seen);
    ASSERT_NE(environment, "");
    EXPECT_EQ(environment.find("QT_QPA_PLATFORM"), std::string::npos) << environment;
    EXPECT_NE(environment.find("DISPLAY=:99\n"), std::string::npos) << environment;
}

} // namespace
