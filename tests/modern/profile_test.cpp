// dispctl-profile end to end on sway 1.10: a layout saved, changed with
// swaymsg and applied back; and watch following outputs created and
// unplugged. Every layout is read back with swaymsg, sway's own view.
//
// sway's headless outputs all report make, model and serial "Unknown":
// alike, so the profiles name them by connector. A created output gets
// the next number of the compositor's life (HEADLESS-3 unplugged, the next
// is HEADLESS-4), so its profile fits a fresh sway's HEADLESS-3 only. The
// modes are set to 60 Hz by sway's config: a saved refresh of 0, which
// headless outputs report otherwise, is refused when the profile is read.

#include "wlroots.h"

#include "support/tree.h"

#include <gtest/gtest.h>

#include <csignal>
#include <iostream>

#include <unistd.h>

namespace {

using e2e::Result;
using modern::Kind;
using modern::Wlroots;

const std::string sixtyHertz = "output * mode 1280x720@60Hz\n";

class SwayProfile : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (support::modernTree().empty())
            GTEST_SKIP() << "the Debian 13 tree has not been made (scripts/modern-tree)";
    }

    std::unique_ptr<Wlroots> startSway() const
    {
        std::string why;
        std::unique_ptr<Wlroots> bed = Wlroots::start(Kind::Sway, &why, 2, sixtyHertz);
        EXPECT_TRUE(bed) << why;
        return bed;
    }

    support::Env env(const Wlroots &bed) const
    {
        return support::merged(bed.env(), {{"XDG_CONFIG_HOME", m_config.path()}});
    }

    Result profile(const Wlroots &bed, const std::vector<std::string> &args) const
    {
        return e2e::runProgram(PROFILE_BINARY, args, env(bed));
    }

    // Each command through swaymsg; "" when all succeeded.
    static std::string swaymsg(const Wlroots &bed, const std::vector<std::vector<std::string>> &commands)
    {
        std::string failed;
        for (const std::vector<std::string> &command : commands)
            failed += bed.swaymsg(command);
        return failed;
    }

    // sway's view once it is wanted, polled until the deadline; what it
    // was then, and how long it took.
    static std::pair<std::string, double> awaitView(const Wlroots &bed, const std::string &wanted,
                                                    double start, double seconds)
    {
        std::string view = bed.swayView();
        while (view != wanted && support::now() < start + seconds) {
            ::usleep(10000);
            view = bed.swayView();
        }
        return {view, support::now() - start};
    }

    support::TempDir m_config;
};

TEST_F(SwayProfile, ApplyRestoresTheSavedLayout)
{
    const std::unique_ptr<Wlroots> bed = startSway();
    ASSERT_TRUE(bed);
    const std::string saved = bed->swayView();
    ASSERT_EQ(saved, "HEADLESS-1 on 1280,0 1280x720@60 normal 1 vrr:off\n"
                     "HEADLESS-2 on 0,0 1280x720@60 normal 1 vrr:off\n");
    ASSERT_EQ(profile(*bed, {"save", "desk"}), (Result{0, "", ""}));
    const std::string json = e2e::readFile(m_config.path() + "/dispctl/profiles/desk.json");
    EXPECT_NE(json.find(R"("connector": "HEADLESS-1")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("connector": "HEADLESS-2")"), std::string::npos) << json;
    EXPECT_EQ(json.find("Unknown"), std::string::npos) << json;

    struct Change {
        const char *what;
        std::vector<std::vector<std::string>> commands;
        std::string dryRun;
    };
    // sway names rotations clockwise: its "90" is the protocol's 270.
    const Change changes[] = {
        // HEADLESS-2, not yet placed by anyone, is put beside it by sway.
        {"moved",
         {{"output", "HEADLESS-1", "pos", "0", "720"}},
         "HEADLESS-1: position 0,720 -> 1280,0\nHEADLESS-2: position 1280,720 -> 0,0\n"},
        {"scaled", {{"output", "HEADLESS-2", "scale", "2"}}, "HEADLESS-2: scale 2 -> 1\n"},
        {"turned", {{"output", "HEADLESS-1", "transform", "90"}}, "HEADLESS-1: rotation 270 -> normal\n"},
        {"all three",
         {{"output", "HEADLESS-2", "scale", "1.5"},
          {"output", "HEADLESS-1", "transform", "180"},
          {"output", "HEADLESS-1", "pos", "0", "480"}},
         "HEADLESS-1: position 0,480 -> 1280,0\nHEADLESS-1: rotation 180 -> normal\n"
         "HEADLESS-2: scale 1.5 -> 1\n"},
    };
    for (const Change &change : changes) {
        SCOPED_TRACE(change.what);
        ASSERT_EQ(swaymsg(*bed, change.commands), "");
        const std::string changed = bed->swayOutputs();
        ASSERT_NE(bed->swayView(), saved);
        EXPECT_EQ(profile(*bed, {"apply", "desk", "--dry-run"}), (Result{0, change.dryRun, ""}));
        EXPECT_EQ(bed->swayOutputs(), changed);
        EXPECT_EQ(profile(*bed, {"apply", "desk"}), (Result{0, "", ""}));
        EXPECT_EQ(bed->swayView(), saved) << bed->log();
    }
}

TEST_F(SwayProfile, WatchAppliesTheProfileOfTheOutputsConnected)
{
    std::string two, three;
    {
        const std::unique_ptr<Wlroots> bed = startSway();
        ASSERT_TRUE(bed);
        ASSERT_EQ(swaymsg(*bed, {{"output", "HEADLESS-1", "pos", "0", "0"},
                                 {"output", "HEADLESS-2", "pos", "1280", "0"}}),
                  "");
        two = bed->swayView();
        ASSERT_EQ(two, "HEADLESS-1 on 0,0 1280x720@60 normal 1 vrr:off\n"
                       "HEADLESS-2 on 1280,0 1280x720@60 normal 1 vrr:off\n");
        ASSERT_EQ(profile(*bed, {"save", "two"}), (Result{0, "", ""}));
        ASSERT_EQ(swaymsg(*bed, {{"create_output"},
                                 {"output", "HEADLESS-3", "pos", "0", "0", "transform", "90"},
                                 {"output", "HEADLESS-1", "pos", "720", "0"},
                                 {"output", "HEADLESS-2", "pos", "2000", "0", "scale", "2"}}),
                  "");
        three = bed->swayView();
        ASSERT_EQ(three, "HEADLESS-1 on 720,0 1280x720@60 normal 1 vrr:off\n"
                         "HEADLESS-2 on 2000,0 1280x720@60 normal 2 vrr:off\n"
                         "HEADLESS-3 on 0,0 1280x720@60 270 1 vrr:off\n");
        ASSERT_EQ(profile(*bed, {"save", "three"}), (Result{0, "", ""}));
        const std::string json = e2e::readFile(m_config.path() + "/dispctl/profiles/three.json");
        EXPECT_NE(json.find(R"("connector": "HEADLESS-3")"), std::string::npos) << json;
    }

    // A fresh sway, whose first created output is HEADLESS-3 again.
    const std::unique_ptr<Wlroots> bed = startSway();
    ASSERT_TRUE(bed);
    const std::string start = bed->swayView();
    ASSERT_NE(start, two);
    support::Spawn spawn{PROFILE_BINARY, {"watch"}, support::merged(support::testEnvironment(), env(*bed))};
    const support::Child child = support::spawn(spawn);
    EXPECT_EQ(support::readLine(child.out, 5), "Applied profile two");
    EXPECT_EQ(awaitView(*bed, two, support::now(), 3).first, two);

    const std::string moved = "HEADLESS-1 on 0,720 1280x720@60 normal 1 vrr:off\n"
                              "HEADLESS-2 on 1280,0 1280x720@60 normal 1 vrr:off\n";
    // Numbered on: HEADLESS-3 is gone for good.
    const std::string fourth = moved + "HEADLESS-4 on 2560,0 1280x720@60 normal 1 vrr:off\n";
    struct Step {
        const char *what;
        std::vector<std::string> command;
        std::string line; // empty: none within a second
        std::string view;
    };
    const Step steps[] = {
        {"created", {"create_output"}, "Applied profile three", three},
        {"unplugged", {"output", "HEADLESS-3", "unplug"}, "Applied profile two", two},
        {"moved: the same outputs", {"output", "HEADLESS-1", "pos", "0", "720"}, "", moved},
        {"created anew",
         {"create_output"},
         "No profile matches the connected outputs (HEADLESS-1, HEADLESS-2, HEADLESS-4)",
         fourth},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.what);
        const double start = support::now();
        ASSERT_EQ(bed->swaymsg(step.command), "");
        if (step.line.empty()) {
            EXPECT_EQ(support::readLine(child.out, 1), "");
            EXPECT_EQ(bed->swayView(), step.view);
            continue;
        }
        // Reacted once both the layout and the line are there.
        EXPECT_EQ(awaitView(*bed, step.view, start, 3).first, step.view) << bed->log();
        EXPECT_EQ(support::readLine(child.out, 3), step.line);
        const double took = support::now() - start;
        EXPECT_LT(took, 1.5);
        std::cout << step.what << ": " << took << " s\n";
    }

    ::kill(child.pid, SIGTERM);
    Result result;
    support::drain(child.out, child.err, support::now() + 10, result.out, result.err);
    result.status = support::waitStatus(child.pid);
    EXPECT_EQ(result, (Result{0, "", ""}));
}

} // namespace
