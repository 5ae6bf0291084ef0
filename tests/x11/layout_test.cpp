#include "fixture.h"

#include <QJsonArray>

#include <filesystem>

namespace x11 {
namespace {

using e2e::Result;

class X11Layout : public X11Test {};

struct Area {
    int x, y, width, height;
    bool operator==(const Area &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Area &a)
{
    return os << a.width << "x" << a.height << "+" << a.x << "+" << a.y;
}

// The enabled outputs' areas as the server has them.
std::map<std::string, Area> areas(const XScreen &screen)
{
    std::map<std::string, Area> result;
    for (const auto &[name, output] : screen.outputs) {
        if (output.on)
            result[name] = {output.x, output.y, output.width, output.height};
    }
    return result;
}

TEST_F(X11Layout, PlacesOutputsAndSizesTheScreenToFit)
{
    struct Case {
        std::vector<std::string> args;
        std::map<std::string, Area> areas;
        int width, height;
        std::vector<std::vector<std::string>> before = {}; // dispctl runs first
    };
    // DUMMY1 mirrors DUMMY0; DUMMY2 on right of DUMMY1, 1920x1080.
    const std::vector<std::vector<std::string>> mirror = {{"DUMMY1", "set-replica-of", "DUMMY0"}};
    const std::vector<std::vector<std::string>> row = {{"DUMMY2", "set-enabled", "true"},
                                                       {"DUMMY2", "set-mode", "1920x1080"}};
    const std::map<std::string, Area> rowAreas = {
        {"DUMMY0", {0, 0, 1920, 1080}}, {"DUMMY1", {1920, 0, 1920, 1080}}, {"DUMMY2", {3840, 0, 1920, 1080}}};
    const Case cases[] = {
        {{"DUMMY1", "set-position", "100", "2000"},
         {{"DUMMY0", {0, 0, 1920, 1080}}, {"DUMMY1", {100, 2000, 1920, 1080}}},
         2020,
         3080},
        {{"DUMMY1", "left-of", "DUMMY0"},
         {{"DUMMY0", {1920, 0, 1920, 1080}}, {"DUMMY1", {0, 0, 1920, 1080}}},
         3840,
         1080},
        {{"DUMMY1", "below", "DUMMY0"},
         {{"DUMMY0", {0, 0, 1920, 1080}}, {"DUMMY1", {0, 1080, 1920, 1080}}},
         1920,
         2160},
        {{"DUMMY0", "above", "DUMMY1"},
         {{"DUMMY0", {0, 0, 1920, 1080}}, {"DUMMY1", {0, 1080, 1920, 1080}}},
         1920,
         2160},
        {{"DUMMY0", "right-of", "DUMMY1"},
         {{"DUMMY0", {1920, 0, 1920, 1080}}, {"DUMMY1", {0, 0, 1920, 1080}}},
         3840,
         1080},
        // An X screen starts at 0,0: a layout reaching left of it moves in whole.
        {{"DUMMY1", "set-position", "-1920", "-50"},
         {{"DUMMY0", {1920, 50, 1920, 1080}}, {"DUMMY1", {0, 0, 1920, 1080}}},
         3840,
         1130},
        // A smaller mode: the output to its right follows its edge.
        {{"DUMMY0", "set-mode", "1280x1024@60.02"},
         {{"DUMMY0", {0, 0, 1280, 1024}}, {"DUMMY1", {1280, 0, 1920, 1080}}},
         3200,
         1080},
        {{"DUMMY1", "set-mode", "2048x1536"},
         {{"DUMMY0", {0, 0, 1920, 1080}}, {"DUMMY1", {1920, 0, 2048, 1536}}},
         3968,
         1536},
        // A mirror placed against its own source mirrors no more.
        {{"DUMMY1", "above", "DUMMY0"},
         {{"DUMMY0", {0, 1080, 1920, 1080}}, {"DUMMY1", {0, 0, 1920, 1080}}},
         1920,
         2160,
         mirror},
        {{"DUMMY1", "left-of", "DUMMY0"},
         {{"DUMMY0", {1920, 0, 1920, 1080}}, {"DUMMY1", {0, 0, 1920, 1080}}},
         3840,
         1080,
         mirror},
        // Placed where it is, an output leaves nothing to close up.
        {{"DUMMY1", "right-of", "DUMMY0"}, rowAreas, 5760, 1080, row},
        {{"DUMMY1", "left-of", "DUMMY2"}, rowAreas, 5760, 1080, row},
    };
    for (const Case &c : cases) {
        SetUp();
        for (const std::vector<std::string> &args : c.before)
            ASSERT_EQ(run(args), (Result{0, "", ""})) << args[1];
        EXPECT_EQ(run(c.args), (Result{0, "", ""})) << c.args[1];
        const XScreen after = screen();
        EXPECT_EQ(areas(after), c.areas) << c.args[1];
        EXPECT_EQ(after.width, c.width) << c.args[1];
        EXPECT_EQ(after.height, c.height) << c.args[1];
        // And the library reads back what the server shows.
        for (const auto &[name, area] : c.areas) {
            const QJsonObject report = json(name);
            EXPECT_EQ(report["position"].toObject(), (QJsonObject{{"x", area.x}, {"y", area.y}})) << name;
            EXPECT_EQ(report["mode"].toObject()["id"].toString().toStdString(),
                      std::to_string(after[name].mode))
                << name;
        }
    }
}

TEST_F(X11Layout, TheScreenIsTheBoundingBoxOfTheOutputsFromTheOrigin)
{
    // DUMMY0 and DUMMY1 side by side, DUMMY2 below DUMMY0; the top row goes.
    // Without DUMMY0 the other two meet at a corner only: DUMMY1 closes up.
    xrandr(display(), {"--output", "DUMMY2", "--mode", "1920x1080", "--pos", "0x1080"});
    EXPECT_EQ(run({"DUMMY0", "set-enabled", "false"}), (Result{0, "", ""}));
    XScreen after = screen();
    EXPECT_EQ(areas(after), (std::map<std::string, Area>{{"DUMMY1", {0, 0, 1920, 1080}},
                                                         {"DUMMY2", {0, 1080, 1920, 1080}}}));
    EXPECT_EQ(std::pair(after.width, after.height), std::pair(1920, 2160));
    EXPECT_EQ(run({"DUMMY1", "set-enabled", "false"}), (Result{0, "", ""}));
    after = screen();
    EXPECT_EQ(areas(after), (std::map<std::string, Area>{{"DUMMY2", {0, 0, 1920, 1080}}}));
    EXPECT_EQ(std::pair(after.width, after.height), std::pair(1920, 1080));

    // Left away from the origin by another client, the layout goes back
    // there with the next change, whatever it changes.
    xrandr(display(), {"--output", "DUMMY2", "--pos", "100x50"});
    EXPECT_EQ(run({"DUMMY2", "set-brightness", "50%"}), (Result{0, "", ""}));
    after = screen();
    EXPECT_EQ(areas(after), (std::map<std::string, Area>{{"DUMMY2", {0, 0, 1920, 1080}}}));
    EXPECT_EQ(std::pair(after.width, after.height), std::pair(1920, 1080));
}

TEST_F(X11Layout, SetsTheModeItIsGiven)
{
    const uint32_t mode = randr().mode("1600x1200"); // the first of five rates
    ASSERT_NE(mode, 0u);
    EXPECT_EQ(run({"DUMMY1", "set-mode", std::to_string(mode)}), (Result{0, "", ""}));
    EXPECT_EQ(screen()["DUMMY1"].mode, mode);
    const Result listed = run({"DUMMY1", "list-modes"});
    EXPECT_NE(listed.out.find(std::to_string(mode) + ":1600x1200@85.00*\n"), std::string::npos) << listed;

    // By size and rate, and the rate's nearest neighbour is not taken.
    EXPECT_EQ(run({"DUMMY1", "set-mode", "1600x1200@65"}), (Result{0, "", ""}));
    const XScreen after = screen();
    const XOutput &output = after["DUMMY1"];
    const XMode *current = nullptr;
    for (const XMode &m : output.modes)
        current = m.current ? &m : current;
    ASSERT_TRUE(current);
    EXPECT_EQ(current->refresh, "65.00Hz");
    EXPECT_EQ(run({"DUMMY1", "set-mode", "1600x1200@66"}), (Result{1, "", "Unknown mode: 1600x1200@66\n"}));
}

TEST_F(X11Layout, EnablesAndDisablesOutputs)
{
    // Switched on: its first mode, right of the others.
    EXPECT_EQ(run({"DUMMY2", "set-enabled", "true"}), (Result{0, "", ""}));
    XScreen after = screen();
    const XMode &first = after["DUMMY2"].modes.front();
    EXPECT_EQ(areas(after)["DUMMY2"], (Area{3840, 0, first.h[0], first.v[0]}));
    EXPECT_EQ(after["DUMMY2"].mode, first.id);
    EXPECT_EQ(after.width, 3840 + first.h[0]);
    EXPECT_EQ(json("DUMMY2")["priority"].toInt(), 3);

    EXPECT_EQ(run({"DUMMY2", "toggle-enabled"}), (Result{0, "", ""}));
    EXPECT_FALSE(screen()["DUMMY2"].on);
    EXPECT_EQ(run({"DUMMY1", "set-enabled", "false"}), (Result{0, "", ""}));
    after = screen();
    EXPECT_EQ(areas(after), (std::map<std::string, Area>{{"DUMMY0", {0, 0, 1920, 1080}}}));
    EXPECT_EQ(after.width, 1920);
    EXPECT_EQ(after.height, 1080);
    const QJsonObject off = json("DUMMY1");
    EXPECT_FALSE(off["enabled"].toBool());
    EXPECT_EQ(off["priority"].toInt(), 0);

    // The last one on stays on; a disabled output takes no new place or
    // shape, whoever switched it off: nothing is sent.
    // DUMMY1 switched off here, DUMMY2 by xrandr (the fixture).
    SetUp();
    ASSERT_EQ(run({"DUMMY1", "set-enabled", "false"}), (Result{0, "", ""}));
    const std::string before = screen().text;
    const std::string lastOn = "DUMMY0: disabling it leaves no connected output enabled";
    const std::vector<std::pair<std::vector<std::string>, std::string>> refusals = {
        {{"DUMMY0", "set-enabled", "false"}, lastOn},
        {{"DUMMY0", "toggle-enabled"}, lastOn},
    };
    const std::vector<std::vector<std::string>> changes = {{"set-position", "0", "0"},
                                                           {"set-position", "100", "100"},
                                                           {"set-mode", "1920x1080"},
                                                           {"set-scale", "200%"},
                                                           {"set-rotation", "normal"},
                                                           {"below", "DUMMY0"},
                                                           {"right-of", "DUMMY0"},
                                                           {"above", "DUMMY0"},
                                                           {"left-of", "DUMMY0"},
                                                           {"set-replica-of", "DUMMY0"},
                                                           {"set-primary"}};
    std::vector<std::pair<std::vector<std::string>, std::string>> all = refusals;
    for (const char *output : {"DUMMY1", "DUMMY2"}) {
        for (const std::vector<std::string> &change : changes) {
            std::vector<std::string> args = {output};
            args.insert(args.end(), change.begin(), change.end());
            all.push_back({args, std::string(output) + " is disabled: enable it first (set-enabled true)"});
        }
    }
    for (const auto &[args, reason] : all) {
        EXPECT_EQ(run(args), (Result{1, "", "Failed to apply output configuration: " + reason + "\n"}))
            << args[0] << " " << args[1];
        EXPECT_EQ(screen().text, before) << args[0] << " " << args[1];
    }
}

TEST_F(X11Layout, ASwitchedOnOutputComesBackAsItWas)
{
    // Steps run by dispctl, or by xrandr where the first word is "xrandr".
    struct Case {
        const char *what;
        std::vector<std::vector<std::string>> steps;
        Area area;           // DUMMY1's once switched on
        std::string refresh; // of its mode
        bool known;          // whether its report knew while it was off
    };
    const std::vector<std::string> off = {"DUMMY1", "set-enabled", "false"};
    const std::vector<std::string> on = {"DUMMY1", "set-enabled", "true"};
    const std::vector<std::string> smaller = {"DUMMY1", "set-mode", "1280x1024@60.02"};
    const std::vector<std::string> offElsewhere = {"xrandr", "--output", "DUMMY1", "--off"};
    const XMode first = screen()["DUMMY1"].modes.front();
    const Case cases[] = {
        {"its mode and its place", {smaller, off}, {1920, 0, 1280, 1024}, "60.02Hz", true},
        {"its place taken: right of the layout",
         {smaller, off, {"DUMMY2", "set-enabled", "true"}, {"DUMMY2", "set-mode", "1920x1080"}},
         {3840, 0, 1280, 1024},
         "60.02Hz",
         true},
        {"switched off elsewhere: its first mode, right of the layout",
         {smaller, offElsewhere},
         {1920, 0, first.h[0], first.v[0]},
         first.refresh,
         false},
        {"on again, its record goes",
         {smaller, off, on, offElsewhere},
         {1920, 0, first.h[0], first.v[0]},
         first.refresh,
         false},
    };
    for (const Case &c : cases) {
        SetUp();
        for (const std::vector<std::string> &step : c.steps) {
            if (step[0] == "xrandr")
                xrandr(display(), std::vector<std::string>(step.begin() + 1, step.end()));
            else
                ASSERT_EQ(run(step), (Result{0, "", ""})) << c.what << ": " << step[1];
        }
        const QJsonObject report = json("DUMMY1");
        EXPECT_FALSE(report["enabled"].toBool()) << c.what;
        EXPECT_EQ(report["position"].isObject(), c.known) << c.what;
        EXPECT_EQ(report["mode"].isObject(), c.known) << c.what;
        EXPECT_EQ(run(on), (Result{0, "", ""})) << c.what;
        const XScreen after = screen();
        EXPECT_EQ(areas(after)["DUMMY1"], c.area) << c.what;
        const XMode *mode = nullptr;
        for (const XMode &m : after["DUMMY1"].modes)
            mode = m.current ? &m : mode;
        ASSERT_TRUE(mode) << c.what;
        EXPECT_EQ(mode->refresh, c.refresh) << c.what;
    }

    // What it had cannot be kept: it stays on, nothing sent.
    SetUp();
    support::TempDir shared;
    std::filesystem::create_directory(shared.file("dispor"));
    std::filesystem::permissions(shared.file("dispor"),
                                 std::filesystem::perms::owner_all | std::filesystem::perms::others_all);
    const std::string before = screen().text;
    EXPECT_EQ(run(off, {{"XDG_RUNTIME_DIR", shared.path()}}),
              (Result{1, "",
                      "Failed to apply output configuration: DUMMY1: cannot keep what it has for when it is "
                      "enabled again: " +
                          shared.file("dispor") + ": refusing a directory that others can write to\n"}));
    EXPECT_EQ(screen().text, before);
}

TEST_F(X11Layout, PrimaryOutputIsPriorityOne)
{
    EXPECT_EQ(run({"DUMMY1", "set-primary"}), (Result{0, "", ""}));
    XScreen after = screen();
    EXPECT_TRUE(after["DUMMY1"].primary);
    EXPECT_FALSE(after["DUMMY0"].primary);
    EXPECT_EQ(json("DUMMY1")["priority"].toInt(), 1);
    EXPECT_EQ(json("DUMMY0")["priority"].toInt(), 2);
    EXPECT_EQ(run({"primary-output", "get-name"}), (Result{0, "DUMMY1\n", ""}));

    EXPECT_EQ(run({"DUMMY1", "set-priority", "2"}), (Result{0, "", ""}));
    after = screen();
    EXPECT_TRUE(after["DUMMY0"].primary);
    EXPECT_FALSE(after["DUMMY1"].primary);

    // A disabled output is outside the ranking: refused, nothing changes.
    const std::string before = screen().text;
    EXPECT_EQ(
        run({"DUMMY2", "set-primary"}),
        (Result{1, "",
                "Failed to apply output configuration: DUMMY2 is disabled: enable it first (set-enabled "
                "true)\n"}));
    EXPECT_EQ(screen().text, before);
    EXPECT_TRUE(screen()["DUMMY0"].primary);
    EXPECT_EQ(json("DUMMY2")["priority"].toInt(), 0);
}

TEST_F(X11Layout, PrioritiesTheServerCannotKeepAreRefused)
{
    xrandr(display(), {"--output", "DUMMY2", "--mode", "1920x1080", "--right-of", "DUMMY1"});
    const std::string before = screen().text;
    const auto refusal = [](const std::string &output) {
        return Result{1, "",
                      "Failed to apply output configuration: " + output +
                          ": cannot change the priority: X11 keeps one primary output and no ranking\n"};
    };
    const struct {
        std::vector<std::string> args;
        Result result;
    } cases[] = {
        {{"DUMMY2", "set-priority", "2"}, refusal("DUMMY2")}, // no rank behind the primary to give
        {{"DUMMY0", "set-priority", "3"}, refusal("DUMMY0")}, // it would read 2 behind DUMMY1
        {{"DUMMY1", "set-priority", "2"}, Result{0, "", ""}}, // as it reads
        {{"DUMMY0", "set-priority", "1"}, Result{0, "", ""}},
        {{"DUMMY2", "set-priority", "3"}, Result{0, "", ""}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(run(c.args), c.result) << c.args[0] << " " << c.args[2];
        EXPECT_EQ(screen().text, before) << c.args[0] << " " << c.args[2];
    }
    EXPECT_EQ(run({"DUMMY2", "set-priority", "1"}), (Result{0, "", ""}));
    EXPECT_TRUE(screen()["DUMMY2"].primary);
    EXPECT_EQ(json("DUMMY0")["priority"].toInt(), 2);
    EXPECT_EQ(json("DUMMY1")["priority"].toInt(), 3);
}

TEST_F(X11Layout, WithoutAPrimaryNoOutputIsPriorityOne)
{
    const auto primaries = [] {
        std::vector<std::string> names;
        for (const auto &[name, output] : screen().outputs) {
            if (output.primary)
                names.push_back(name);
        }
        return names;
    };
    xrandr(display(), {"--noprimary"});
    EXPECT_FALSE(json("DUMMY0")["primary"].toBool());
    EXPECT_EQ(json("DUMMY0")["priority"].toInt(), 2);
    EXPECT_EQ(json("DUMMY1")["priority"].toInt(), 3);
    EXPECT_EQ(run({"primary-output", "get-name"}), (Result{1, "", "Unknown output: primary-output\n"}));

    // A request that does not rank an output first leaves the primary alone:
    // it is done where it asks for the rank the output reads, else refused.
    EXPECT_EQ(run({"DUMMY1", "set-priority", "3"}), (Result{0, "", ""}));
    EXPECT_EQ(primaries(), std::vector<std::string>{});
    EXPECT_EQ(
        run({"DUMMY1", "set-priority", "2"}),
        (Result{1, "",
                "Failed to apply output configuration: DUMMY1: cannot change the priority: X11 keeps one "
                "primary output and no ranking\n"}));
    EXPECT_EQ(primaries(), std::vector<std::string>{});
    EXPECT_EQ(run({"DUMMY1", "set-priority", "1"}), (Result{0, "", ""}));
    EXPECT_EQ(primaries(), std::vector<std::string>{"DUMMY1"});

    // Switched off, the primary is still the server's, and nobody else's.
    xrandr(display(), {"--output", "DUMMY1", "--off"});
    EXPECT_EQ(primaries(), std::vector<std::string>{"DUMMY1"});
    EXPECT_FALSE(json("DUMMY0")["primary"].toBool());
    EXPECT_EQ(json("DUMMY0")["priority"].toInt(), 2);
    EXPECT_EQ(run({"primary-output", "get-name"}), (Result{1, "", "Unknown output: primary-output\n"}));
    EXPECT_EQ(run({"DUMMY0", "set-position", "0", "0"}), (Result{0, "", ""}));
    EXPECT_EQ(primaries(), std::vector<std::string>{"DUMMY1"});
}

TEST_F(X11Layout, MirrorsAnotherOutput)
{
    EXPECT_EQ(run({"DUMMY1", "set-replica-of", "DUMMY0"}), (Result{0, "", ""}));
    XScreen after = screen();
    EXPECT_EQ(areas(after),
              (std::map<std::string, Area>{{"DUMMY0", {0, 0, 1920, 1080}}, {"DUMMY1", {0, 0, 1920, 1080}}}));
    EXPECT_EQ(after["DUMMY1"].mode, after["DUMMY0"].mode);
    EXPECT_EQ(after.width, 1920);
    EXPECT_EQ(json("DUMMY1")["replicaOf"].toInt(), std::stoi(id("DUMMY0")));
    EXPECT_EQ(json("DUMMY0")["replicaOf"].toInt(), 0);

    // The replica follows its source's mode.
    EXPECT_EQ(run({"DUMMY0", "set-mode", "1280x1024@60.02"}), (Result{0, "", ""}));
    after = screen();
    EXPECT_EQ(areas(after),
              (std::map<std::string, Area>{{"DUMMY0", {0, 0, 1280, 1024}}, {"DUMMY1", {0, 0, 1280, 1024}}}));
    EXPECT_EQ(json("DUMMY1")["replicaOf"].toInt(), std::stoi(id("DUMMY0")));

    // Refused before anything is changed.
    const std::string before = screen().text;
    EXPECT_EQ(run({"DUMMY1", "set-replica-of", "DUMMY1"}), (Result{1, "", "DUMMY1 cannot mirror itself\n"}));
    EXPECT_EQ(
        run({"DUMMY1", "set-replica-of", "DUMMY2"}),
        (Result{1, "",
                "Failed to apply output configuration: DUMMY1: cannot mirror DUMMY2, which is disabled\n"}));
    EXPECT_EQ(
        run({"DUMMY1", "set-mode", "1920x1080"}),
        (Result{1, "",
                "Failed to apply output configuration: DUMMY1: the output mirrors DUMMY0 and shows what it "
                "shows; stop mirroring first\n"}));
    EXPECT_EQ(screen().text, before);

    // No longer a mirror: right of its former source.
    EXPECT_EQ(run({"DUMMY1", "set-replica-of", "none"}), (Result{0, "", ""}));
    after = screen();
    EXPECT_EQ(areas(after)["DUMMY1"], (Area{1280, 0, 1280, 1024}));
    EXPECT_EQ(json("DUMMY1")["replicaOf"].toInt(), 0);

    // Moved away on its own, a replica stops mirroring too.
    EXPECT_EQ(run({"DUMMY1", "set-replica-of", "DUMMY0"}), (Result{0, "", ""}));
    EXPECT_EQ(run({"DUMMY1", "set-position", "0", "1024"}), (Result{0, "", ""}));
    EXPECT_EQ(areas(screen())["DUMMY1"], (Area{0, 1024, 1280, 1024}));
    EXPECT_EQ(json("DUMMY1")["replicaOf"].toInt(), 0);
}

TEST_F(X11Layout, MirroringKeepsItsDirectionAndTheOrigin)
{
    // The output at the origin mirrors the one right of it: the layout
    // starts at the origin still, with nothing left uncovered.
    EXPECT_EQ(run({"DUMMY0", "set-replica-of", "DUMMY1"}), (Result{0, "", ""}));
    XScreen after = screen();
    EXPECT_EQ(areas(after),
              (std::map<std::string, Area>{{"DUMMY0", {0, 0, 1920, 1080}}, {"DUMMY1", {0, 0, 1920, 1080}}}));
    EXPECT_EQ(after.width, 1920);
    EXPECT_EQ(json("DUMMY0")["replicaOf"].toInt(), std::stoi(id("DUMMY1")));
    EXPECT_EQ(json("DUMMY1")["replicaOf"].toInt(), 0);
    // The source has nothing to end; the replica ends it.
    EXPECT_EQ(run({"DUMMY1", "set-replica-of", "none"}), (Result{0, "", ""}));
    EXPECT_EQ(json("DUMMY0")["replicaOf"].toInt(), std::stoi(id("DUMMY1")));
    EXPECT_EQ(run({"DUMMY0", "set-replica-of", "none"}), (Result{0, "", ""}));
    after = screen();
    EXPECT_EQ(areas(after), (std::map<std::string, Area>{{"DUMMY0", {1920, 0, 1920, 1080}},
                                                         {"DUMMY1", {0, 0, 1920, 1080}}}));
    EXPECT_EQ(json("DUMMY0")["replicaOf"].toInt(), 0);

    // Whichever has the higher id: the replica names its source, and a
    // third output may mirror that source.
    SetUp();
    EXPECT_EQ(run({"DUMMY2", "set-enabled", "true"}), (Result{0, "", ""}));
    EXPECT_EQ(run({"DUMMY1", "set-replica-of", "DUMMY2"}), (Result{0, "", ""}));
    after = screen();
    EXPECT_EQ(after["DUMMY1"].x, after["DUMMY2"].x);
    EXPECT_EQ(after["DUMMY0"].x, 0);
    EXPECT_EQ(after["DUMMY2"].x, 1920); // the place DUMMY1 left is closed up
    EXPECT_EQ(json("DUMMY1")["replicaOf"].toInt(), std::stoi(id("DUMMY2")));
    EXPECT_EQ(json("DUMMY2")["replicaOf"].toInt(), 0);
    EXPECT_EQ(run({"DUMMY0", "set-replica-of", "DUMMY2"}), (Result{0, "", ""}));
    after = screen();
    EXPECT_EQ(areas(after).size(), 3u);
    for (const auto &[name, area] : areas(after))
        EXPECT_EQ((std::pair{area.x, area.y}), (std::pair{0, 0})) << name;
    EXPECT_EQ(after.width, after["DUMMY2"].width);
    EXPECT_EQ(json("DUMMY0")["replicaOf"].toInt(), std::stoi(id("DUMMY2")));
    EXPECT_EQ(json("DUMMY1")["replicaOf"].toInt(), std::stoi(id("DUMMY2")));

    // Mirrors made by another client: the primary is the source.
    SetUp();
    xrandr(display(), {"--output", "DUMMY1", "--same-as", "DUMMY0"});
    EXPECT_EQ(json("DUMMY1")["replicaOf"].toInt(), std::stoi(id("DUMMY0")));
    EXPECT_EQ(json("DUMMY0")["replicaOf"].toInt(), 0);
}

TEST_F(X11Layout, AMirrorInTheWaySaysSo)
{
    EXPECT_EQ(run({"DUMMY1", "set-replica-of", "DUMMY0"}), (Result{0, "", ""}));
    const std::string before = screen().text;
    const std::string failed = "Failed to apply output configuration: ";
    EXPECT_EQ(
        run({"DUMMY0", "set-enabled", "false"}),
        (Result{1, "",
                failed + "DUMMY0: cannot be disabled while DUMMY1 mirrors it; end that mirror first\n"}));
    EXPECT_EQ(
        run({"DUMMY0", "set-replica-of", "DUMMY1"}),
        (Result{1, "",
                failed + "DUMMY0: cannot mirror DUMMY1, which mirrors DUMMY0; end that mirror first\n"}));
    EXPECT_EQ(screen().text, before);
}

TEST_F(X11Layout, AnotherClientsMirrorIsNotReadFromAnOldMark)
{
    EXPECT_EQ(run({"DUMMY1", "set-replica-of", "DUMMY0"}), (Result{0, "", ""}));
    // Another client ends that mirror and makes the opposite one, with
    // DUMMY1 primary: it is the source now.
    xrandr(display(), {"--output", "DUMMY1", "--pos", "1920x0", "--primary"});
    xrandr(display(), {"--output", "DUMMY0", "--same-as", "DUMMY1"});
    EXPECT_EQ(json("DUMMY0")["replicaOf"].toInt(), std::stoi(id("DUMMY1")));
    EXPECT_EQ(json("DUMMY1")["replicaOf"].toInt(), 0);
}

TEST_F(X11Layout, RefusesAPlaceNextToADisconnectedOutput)
{
    // A disconnected output has no mode and no size, so no edge to share.
    const std::string before = screen().text;
    for (const char *side : {"right-of", "below", "left-of"}) {
        EXPECT_EQ(run({"DUMMY1", side, "DUMMY3"}),
                  (Result{1, "", "Output DUMMY3 has no place in the layout\n"}))
            << side;
        EXPECT_EQ(screen().text, before) << side;
    }
}

} // namespace
} // namespace x11
