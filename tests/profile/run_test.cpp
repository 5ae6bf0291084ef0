#include "runs.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

namespace {

using runs::Bed;
using runs::edited;
using support::Result;

mode_t modeOf(const std::string &path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

const char *const savedDocked = R"({
    "outputs": [
        {
            "enabled": true,
            "make": "BOE",
            "mode": {
                "height": 1080,
                "refresh": 60,
                "width": 1920
            },
            "model": "NE135FBM",
            "position": {
                "x": 0,
                "y": 0
            },
            "priority": 1,
            "rotation": "normal",
            "scale": 1,
            "serial": ""
        },
        {
            "enabled": true,
            "make": "Dell",
            "mode": {
                "height": 2160,
                "refresh": 60,
                "width": 3840
            },
            "model": "U2720Q",
            "position": {
                "x": 1920,
                "y": 0
            },
            "priority": 2,
            "rotation": "normal",
            "scale": 1.5,
            "serial": "7XK1",
            "vrr": "automatic"
        }
    ],
    "version": 1
}
)";

TEST(Profile, SaveChangeApplyRestoresTheLayout)
{
    const Bed bed;
    // A profiles directory others may enter is narrowed.
    std::filesystem::create_directories(bed.profiles());
    ::chmod(bed.profiles().c_str(), 0755);
    EXPECT_EQ(bed.run({"save", "docked"}), (Result{0, "", ""}));
    EXPECT_EQ(modeOf(bed.profiles()), 0700u);
    EXPECT_EQ(modeOf(bed.profiles() + "/docked.json"), 0600u);
    EXPECT_EQ(bed.run({"show", "docked"}), (Result{0, savedDocked, ""}));

    // Undocked and back: the monitor came up at another mode and place,
    // as primary, at 100%.
    std::string moved = edited(runs::docked, "DP-1",
                               {{"pos", R"({"x": 0, "y": 1080})"},
                                {"currentModeId", "\"2\""},
                                {"scale", "1"},
                                {"priority", "1"},
                                {"vrrPolicy", "\"always\""}});
    moved = edited(moved, "eDP-1", {{"priority", "2"}});
    bed.replaceDocument(moved);
    const std::string before = bed.document();
    EXPECT_EQ(bed.run({"apply", "docked", "--dry-run"}),
              (Result{0,
                      "eDP-1: priority 2 -> 1\n"
                      "DP-1: mode 2560x1440@59.95 -> 3840x2160@60.00\n"
                      "DP-1: position 0,1080 -> 1920,0\n"
                      "DP-1: scale 1 -> 1.5\n"
                      "DP-1: priority 1 -> 2\n"
                      "DP-1: vrr always -> automatic\n",
                      ""}));
    EXPECT_EQ(bed.document(), before);

    EXPECT_EQ(bed.run({"apply", "docked"}), (Result{0, "", ""}));
    EXPECT_EQ(bed.field("DP-1", "pos"), R"({"x":1920,"y":0})");
    EXPECT_EQ(bed.field("DP-1", "currentModeId"), R"("1")");
    EXPECT_EQ(bed.field("DP-1", "scale"), "1.5");
    EXPECT_EQ(bed.field("DP-1", "priority"), "2");
    // The document leaves out a default: automatic.
    EXPECT_EQ(bed.field("DP-1", "vrrPolicy"), "");
    EXPECT_EQ(bed.field("eDP-1", "priority"), "1");
    // Applied again, nothing is left to change.
    EXPECT_EQ(bed.run({"apply", "docked", "--dry-run"}), (Result{0, "", ""}));

    EXPECT_EQ(bed.run({"save", "docked"}), (Result{1, "", "Profile docked exists; --force replaces it\n"}));
    EXPECT_EQ(bed.run({"save", "docked", "--force"}), (Result{0, "", ""}));
    EXPECT_EQ(bed.run({"remove", "docked"}), (Result{0, "", ""}));
    EXPECT_EQ(bed.run({"remove", "docked"}), (Result{1, "", "Unknown profile: docked\n"}));
}

TEST(Profile, AutoChoosesTheBestMatchAndListMarksTheMatches)
{
    const Bed bed;
    ASSERT_EQ(bed.run({"save", "docked"}).status, 0);
    // The same outputs by connector: a weaker match.
    bed.writeProfile("byname", R"({"version": 1, "outputs": [
        {"connector": "eDP-1", "enabled": true, "mode": {"width": 1280, "height": 720, "refresh": 60},
         "position": {"x": 0, "y": 0}, "scale": 1, "rotation": "normal", "priority": 1},
        {"connector": "DP-1", "enabled": false}]})");
    bed.writeProfile("elsewhere",
                     R"({"version": 1, "outputs": [{"connector": "HDMI-A-1", "enabled": false}]})");
    bed.replaceDocument(edited(runs::docked, "DP-1", {{"pos", R"({"x": 0, "y": 1080})"}}));
    EXPECT_EQ(bed.run({"list"}), (Result{0, "byname (matches)\ndocked (matches)\nelsewhere\n", ""}));
    EXPECT_EQ(bed.run({"apply", "--auto", "--dry-run"}),
              (Result{0, "Profile docked\nDP-1: position 0,1080 -> 1920,0\n", ""}));
    EXPECT_EQ(bed.run({"apply", "--auto"}), (Result{0, "Applied profile docked\n", ""}));
    EXPECT_EQ(bed.field("DP-1", "pos"), R"({"x":1920,"y":0})");

    bed.writeProfile("docked2", support::readFile(bed.profiles() + "/docked.json"));
    const std::string before = bed.document();
    EXPECT_EQ(bed.run({"apply", "--auto"}),
              (Result{1, "", "Profiles docked and docked2 match the connected outputs equally well\n"}));
    EXPECT_EQ(bed.document(), before);
}

// Each is refused before anything is sent: the document stays as it was.
TEST(Profile, RefusalsChangeNothing)
{
    const Bed bed;
    ASSERT_EQ(bed.run({"save", "docked"}).status, 0);
    const std::string saved = support::readFile(bed.profiles() + "/docked.json");
    const auto withDp = [&](const std::string &from, const std::string &to) {
        std::string text = saved;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    bed.writeProfile("broken", "{");
    bed.writeProfile("old", R"({"version": 2, "outputs": []})");
    bed.writeProfile("away", R"({"version": 1, "outputs": [{"connector": "HDMI-A-1", "enabled": false}]})");
    bed.writeProfile("bigger", withDp(R"("width": 3840)", R"("width": 5120)"));
    bed.writeProfile("hdr", withDp(R"("vrr": "automatic")", R"("hdr": true)"));
    // Every output off: what only the server refuses.
    bed.writeProfile("dark", R"({"version": 1, "outputs": [
        {"make": "BOE", "model": "NE135FBM", "enabled": false},
        {"make": "Dell", "model": "U2720Q", "serial": "7XK1", "enabled": false}]})");
    bed.replaceDocument(edited(runs::docked, "DP-1", {{"pos", R"({"x": 0, "y": 1080})"}}));
    const std::string before = bed.document();

    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"apply", "nothere"}, "Unknown profile: nothere"},
        {{"apply", "broken"}, "Profile broken: malformed: not JSON (unterminated object at byte 1)"},
        {{"apply", "old"}, "Profile old: malformed: version 2 is not known (this program reads version 1)"},
        {{"apply", "away"}, "Profile away: HDMI-A-1 is not connected"},
        {{"apply", "bigger"}, "Profile bigger: DP-1: has no mode 5120x2160@60.00"},
        {{"apply", "hdr", "--dry-run"}, "Profile hdr: DP-1: cannot take HDR"},
        {{"apply", "dark"}, "Profile dark: eDP-1: disabling it leaves no connected output enabled"},
        {{"apply", "--auto"}, "Profile broken: malformed: not JSON (unterminated object at byte 1)"},
        {{"show", "broken"}, "Profile broken: malformed: not JSON (unterminated object at byte 1)"},
        {{"apply", "a/b"}, "Invalid profile name: a/b"},
        {{"save", ".hidden"}, "Invalid profile name: .hidden"},
        {{"save", ""}, "Invalid profile name: "},
        {{"save", "tab\tbed"}, "Invalid profile name: tab\\u0009bed"},
        {{"apply"}, "Missing argument: NAME"},
        {{"apply", "docked", "other"}, "Unexpected positional argument: other"},
        {{"apply", "--auto", "docked"}, "Unexpected positional argument: docked"},
        {{"save", "x", "--dry-run"}, "Unknown argument: --dry-run"},
        {{"list", "x"}, "Unexpected positional argument: x"},
        {{"frob"}, "Unknown verb: frob"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(bed.run(c.args), (Result{1, "", c.err + "\n"})) << c.args[0];
        EXPECT_EQ(bed.document(), before) << c.args[0];
    }
    EXPECT_EQ(bed.run({"list"}),
              // A profile matches by its outputs, whatever it sets them to.
              (Result{1, "away\nbigger (matches)\ndark (matches)\ndocked (matches)\nhdr (matches)\n",
                      "Profile broken: malformed: not JSON (unterminated object at byte 1)\n"
                      "Profile old: malformed: version 2 is not known (this program reads version 1)\n"}));
}

TEST(Profile, HelpAndVersion)
{
    const Bed bed;
    const Result help = bed.run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.err.find("  apply NAME|--auto [--dry-run]"), std::string::npos) << help.err;
    EXPECT_EQ(bed.run({}).status, 1);
    EXPECT_EQ(bed.run({"--version"}), (Result{0, "dispctl-profile " DISPCTL_PROFILE_VERSION "\n", ""}));
}

} // namespace
