#include "runs.h"

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <iostream>

#include <unistd.h>

namespace {

using runs::Bed;
using runs::edited;

// Long enough for a change to be read and settled (half a second) on a
// slow machine; a change not handled by then joins the next one's burst,
// which the step after it still checks.
constexpr double handled = 1.5;

struct Step {
    const char *what;
    std::string document;
    bool onError;                                         // the line comes on standard error
    std::string line;                                     // empty: no line at all
    std::vector<std::array<const char *, 3>> checks = {}; // output, key, value afterwards
};

TEST(Watch, AppliesTheMatchingProfileWhenTheConnectedSetChanges)
{
    const Bed bed;
    ASSERT_EQ(bed.run({"save", "docked"}).status, 0);
    const std::string three = runs::appended(support::readFile(bed.profiles() + "/docked.json"), R"({
        "connector": "HDMI-A-1", "enabled": true, "mode": {"width": 1920, "height": 1080, "refresh": 60},
        "position": {"x": 4480, "y": 0}, "scale": 1, "rotation": "normal", "priority": 3})");
    bed.writeProfile("three", three);

    support::Spawn spawn{PROFILE_BINARY, {"watch"}, support::merged(support::testEnvironment(), bed.env())};
    const support::Child child = support::spawn(spawn);
    EXPECT_EQ(support::readLine(child.out, 10), "Applied profile docked");

    const std::string plugged = edited(runs::docked, "HDMI-A-1", {{"connected", "true"}});
    const std::string moved = edited(runs::docked, "DP-1", {{"pos", R"({"x": 0, "y": 1080})"}});
    const std::string noMode =
        edited(plugged, "HDMI-A-1",
               {{"modes", R"([{"id": "1", "width": 1280, "height": 720, "refreshRate": 60}])"}});
    const std::string undocked =
        edited(moved, "DP-1", {{"connected", "false"}, {"enabled", "false"}, {"priority", "0"}});
    const std::vector<Step> steps = {
        {"plugged",
         plugged,
         false,
         "Applied profile three",
         {{"HDMI-A-1", "priority", "3"}, {"HDMI-A-1", "pos", R"({"x":4480,"y":0})"}}},
        {"unplugged", runs::docked, false, "Applied profile docked"},
        {"moved by the user: the same outputs", moved, false, "", {{"DP-1", "pos", R"({"x":0,"y":1080})"}}},
        {"plugged, but the profile asks a mode it lacks", noMode, true,
         "Profile three: HDMI-A-1: has no mode 1920x1080@60.00"},
        {"unplugged again", moved, false, "Applied profile docked", {{"DP-1", "pos", R"({"x":1920,"y":0})"}}},
        {"undocked", undocked, false, "No profile matches the connected outputs (eDP-1)"},
    };
    for (const Step &step : steps) {
        const double start = support::now();
        bed.replaceDocument(step.document);
        const int stream = step.onError ? child.err : child.out;
        if (step.line.empty()) {
            EXPECT_EQ(support::readLine(child.out, handled), "") << step.what;
        } else {
            EXPECT_EQ(support::readLine(stream, 5), step.line) << step.what;
            const double reaction = support::now() - start;
            EXPECT_LT(reaction, 1.0) << step.what;
            std::cout << step.what << ": " << reaction << " s\n";
        }
        for (const auto &[output, key, value] : step.checks)
            EXPECT_EQ(bed.field(output, key), value) << step.what;
    }

    ::kill(child.pid, SIGTERM);
    std::string out, err;
    support::drain(child.out, child.err, support::now() + 10, out, err);
    EXPECT_EQ(support::waitStatus(child.pid), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
}

} // namespace
