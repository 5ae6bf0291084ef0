#include "fixture.h"

#include "x11/x11_backend.h"

#include <dispor/dispor.h>

#include <QJsonArray>

#include <csignal>
#include <cstdlib>
#include <set>

namespace x11 {
namespace {

using e2e::Result;

class X11CustomModes : public X11Test {};

double rate(const XMode &mode)
{
    return std::stod(mode.refresh);
}

TEST_F(X11CustomModes, ResolutionFormGetsCvtTimings)
{
    EXPECT_EQ(run({"DUMMY1", "add-custom-mode", "1000x700@60"}), (Result{0, "", ""}));
    EXPECT_EQ(run({"DUMMY1", "add-custom-mode", "1000x700@60"}), (Result{0, "", ""})); // already there
    EXPECT_EQ(run({"DUMMY1", "add-custom-mode", "1000x700@60", "--reduced-blanking"}), (Result{0, "", ""}));
    EXPECT_EQ(run({"DUMMY1", "list-custom-modes"}),
              (Result{0, "", "0: 1000x700@60.00Hz\n1: 1000x700@60.00Hz +reduced-blanking\n"}));

    const XOutput output = screen()["DUMMY1"];
    const XMode *normal = output.findMode("dispor:1000x700@60:f1");
    const XMode *reduced = output.findMode("dispor:1000x700@60:f3");
    ASSERT_TRUE(normal && reduced);
    EXPECT_EQ(normal->h[0], 1000);
    EXPECT_EQ(normal->v[0], 700);
    EXPECT_NEAR(rate(*normal), 60, 0.5);
    EXPECT_NEAR(rate(*reduced), 60, 0.5);
    // CVT marks its timings by polarity; reduced blanking is much shorter.
    EXPECT_EQ(normal->flags, "-HSync +VSync");
    EXPECT_EQ(reduced->flags, "+HSync -VSync");
    EXPECT_EQ(reduced->h[3] - reduced->h[0], 160);
    EXPECT_GT(normal->h[3] - normal->h[0], 160);
    EXPECT_FALSE(screen()["DUMMY0"].findMode("dispor:1000x700@60:f1"));

    // Offered as modes of the output, by their XIDs, at the rate asked for.
    const Result modes = run({"DUMMY1", "list-modes"});
    EXPECT_NE(modes.out.find(std::to_string(normal->id) + ":1000x700@60.00\n"), std::string::npos) << modes;
    const QJsonArray custom = json("DUMMY1")["customModes"].toArray();
    ASSERT_EQ(custom.size(), 2);
    EXPECT_EQ(custom[0].toObject()["resolution"].toObject(), (QJsonObject{{"height", 700}, {"width", 1000}}));
    EXPECT_EQ(custom[1].toObject()["refreshRate"].toDouble(), 60.0);
}

TEST_F(X11CustomModes, ACustomModeIsSetByWhatItWasMadeFrom)
{
    // CVT gives 59.95 Hz for 1600x900@60; the mode is still 1600x900@60.
    EXPECT_EQ(run({"DUMMY1", "add-custom-mode", "1600x900@60"}), (Result{0, "", ""}));
    const uint32_t id = randr().mode("dispor:1600x900@60:f1");
    ASSERT_NE(id, 0u);
    EXPECT_NE(screen()["DUMMY1"].findMode("dispor:1600x900@60:f1")->refresh, "60.00Hz");
    EXPECT_EQ(run({"DUMMY1", "list-custom-modes"}), (Result{0, "", "0: 1600x900@60.00Hz\n"}));
    const std::string line = std::to_string(id) + ":1600x900@60.00";
    const Result modes = run({"DUMMY1", "list-modes"});
    EXPECT_NE(modes.out.find(line + "\n"), std::string::npos) << modes;

    // By size and rate, by id, and by the line list-modes shows.
    for (int form = 0; form < 3; ++form) {
        SetUp();
        EXPECT_EQ(run({"DUMMY1", "add-custom-mode", "1600x900@60"}), (Result{0, "", ""}));
        const uint32_t made = randr().mode("dispor:1600x900@60:f1");
        const std::string word = std::vector<std::string>{"1600x900@60", std::to_string(made),
                                                          std::to_string(made) + ":1600x900@60.00"}[form];
        EXPECT_EQ(run({"DUMMY1", "set-mode", word}), (Result{0, "", ""}))
            << word << run({"DUMMY1", "list-modes"});
        // The server may name the current mode by one of its own with the
        // same timings (Xorg's dummy driver has a CVT 1600x900 too).
        const XScreen after = screen();
        const XMode *custom = after["DUMMY1"].findMode("dispor:1600x900@60:f1");
        const XMode *current = nullptr;
        for (const XMode &mode : after["DUMMY1"].modes)
            current = mode.id == after["DUMMY1"].mode ? &mode : current;
        ASSERT_TRUE(custom && current) << word;
        EXPECT_EQ(std::tuple(current->clock, std::vector<int>(current->h, current->h + 4),
                             std::vector<int>(current->v, current->v + 4)),
                  std::tuple(custom->clock, std::vector<int>(custom->h, custom->h + 4),
                             std::vector<int>(custom->v, custom->v + 4)))
            << word;
    }
}

TEST_F(X11CustomModes, ACustomModeHasTheWidthTheServerKeeps)
{
    // CVT widths are multiples of 8: asked as 1700 wide, the mode is 1696
    // wide, and named, listed and set so.
    const std::pair<std::vector<std::string>, Result> steps[] = {
        {{"add-custom-mode", "1700x900@60"}, {0, "", ""}},
        {{"add-custom-mode", "1700x900@60"}, {0, "", ""}}, // there already
        {{"add-custom-mode", "1696x900@60"}, {0, "", ""}}, // the same mode
        {{"list-custom-modes"}, {0, "", "0: 1696x900@60.00Hz\n"}},
        {{"set-mode", "1700x900@60"}, {1, "", "Unknown mode: 1700x900@60\n"}},
        {{"set-mode", "1696x900@60"}, {0, "", ""}},
    };
    for (const auto &[args, result] : steps) {
        std::vector<std::string> line = {"DUMMY1"};
        line.insert(line.end(), args.begin(), args.end());
        EXPECT_EQ(run(line), result) << args[0] << " " << args.back();
    }
    const XScreen after = screen();
    const XMode *made = after["DUMMY1"].findMode("dispor:1696x900@60:f1");
    ASSERT_TRUE(made);
    EXPECT_EQ(made->h[0], 1696);
    EXPECT_FALSE(after["DUMMY1"].findMode("dispor:1700x900@60:f1"));
    EXPECT_EQ(after["DUMMY1"].mode, made->id);
    const Result modes = run({"DUMMY1", "list-modes"});
    EXPECT_NE(modes.out.find(std::to_string(made->id) + ":1696x900@60.00*\n"), std::string::npos) << modes;
}

TEST_F(X11CustomModes, TimingsFormIsTakenAsGiven)
{
    EXPECT_EQ(run({"DUMMY1", "add-custom-mode", "712.75", "3840", "4160", "4576", "5312", "2160", "2163",
                   "2168", "2237", "-hsync", "+vsync"}),
              (Result{0, "", ""}));
    EXPECT_EQ(run({"DUMMY1", "list-custom-modes"}), (Result{0, "", "0: 3840x2160@59.98Hz\n"}));
    const XOutput output = screen()["DUMMY1"];
    ASSERT_EQ(output.modes.size() > 0, true);
    const XMode *mode = nullptr;
    for (const XMode &m : output.modes)
        mode = m.name.rfind("dispor:3840x2160@", 0) == 0 ? &m : mode;
    ASSERT_TRUE(mode);
    EXPECT_EQ(mode->clock, "712.750MHz");
    EXPECT_EQ(std::vector<int>(mode->h, mode->h + 4), (std::vector<int>{3840, 4160, 4576, 5312}));
    EXPECT_EQ(std::vector<int>(mode->v, mode->v + 4), (std::vector<int>{2160, 2163, 2168, 2237}));
    EXPECT_EQ(mode->flags, "-HSync +VSync");

    // In use it cannot go; once another mode shows, it goes from the server.
    EXPECT_EQ(run({"DUMMY1", "set-mode", std::to_string(mode->id)}), (Result{0, "", ""}));
    EXPECT_EQ(screen()["DUMMY1"].mode, mode->id);
    EXPECT_EQ(
        run({"DUMMY1", "remove-custom-mode", "0"}),
        (Result{
            1, "",
            "Failed to apply output configuration: DUMMY1: the custom mode 3840x2160@59.98 is the output's "
            "current mode; set another mode first\n"}));
    EXPECT_NE(randr().mode(mode->name), 0u);
    EXPECT_EQ(run({"DUMMY1", "set-mode", "1920x1080"}), (Result{0, "", ""}));
    EXPECT_EQ(run({"DUMMY1", "remove-custom-mode", "0"}), (Result{0, "", ""}));
    EXPECT_EQ(run({"DUMMY1", "list-custom-modes"}), (Result{0, "", ""}));
    EXPECT_EQ(randr().mode(mode->name), 0u);
}

TEST_F(X11CustomModes, ASharedModeIsDestroyedWithItsLastOutput)
{
    EXPECT_EQ(run({"DUMMY0", "add-custom-mode", "1000x700@60"}), (Result{0, "", ""}));
    EXPECT_EQ(run({"DUMMY1", "add-custom-mode", "1000x700@60"}), (Result{0, "", ""}));
    EXPECT_EQ(run({"DUMMY1", "add-custom-mode", "800x500@75"}), (Result{0, "", ""}));
    EXPECT_EQ(run({"DUMMY1", "add-custom-mode", "904x600@50"}), (Result{0, "", ""}));
    XScreen now = screen();
    ASSERT_TRUE(now["DUMMY0"].findMode("dispor:1000x700@60:f1") &&
                now["DUMMY1"].findMode("dispor:1000x700@60:f1"));
    EXPECT_EQ(now["DUMMY0"].findMode("dispor:1000x700@60:f1")->id,
              now["DUMMY1"].findMode("dispor:1000x700@60:f1")->id);

    EXPECT_EQ(run({"DUMMY1", "remove-custom-mode", "0"}), (Result{0, "", ""}));
    EXPECT_EQ(run({"DUMMY1", "list-custom-modes"}),
              (Result{0, "", "0: 800x500@75.00Hz\n1: 904x600@50.00Hz\n"}));
    now = screen();
    EXPECT_FALSE(now["DUMMY1"].findMode("dispor:1000x700@60:f1"));
    EXPECT_TRUE(now["DUMMY0"].findMode("dispor:1000x700@60:f1"));
    EXPECT_NE(randr().mode("dispor:1000x700@60:f1"), 0u);

    EXPECT_EQ(run({"DUMMY0", "remove-custom-mode", "0"}), (Result{0, "", ""}));
    EXPECT_EQ(randr().mode("dispor:1000x700@60:f1"), 0u);
    EXPECT_NE(randr().mode("dispor:800x500@75:f1"), 0u);
    EXPECT_EQ(run({"DUMMY1", "remove-custom-mode", "2"}), (Result{1, "", "Invalid mode index: 2\n"}));
}

// In the process, through the library: an apply that fails half way leaves
// the server as it was.
TEST_F(X11CustomModes, AFailedApplyRestoresThePreviousConfiguration)
{
    ::setenv("DISPOR_BACKEND", "x11", 1);
    ::setenv("DISPLAY", display().c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", runtimeDir().c_str(), 1);
    const auto change = [](const Dispor::ConfigPtr &config) {
        Dispor::OutputPtr first, second, third;
        for (const Dispor::OutputPtr &output : config->outputs()) {
            if (output->name() == u"DUMMY0")
                first = output;
            if (output->name() == u"DUMMY1")
                second = output;
            if (output->name() == u"DUMMY2")
                third = output;
        }
        second->setPos({0, 1080});
        third->setEnabled(true);
        first->setBrightness(0.5);
        config->setOutputPriority(second, 1);
        second->setCustomModes({{1000, 700, 60.0f, 1, std::nullopt}});
    };
    const std::string before = screen().text;
    const std::string undone = "; the outputs were set back as they were";
    struct Case {
        std::set<std::string> failing; // the steps the hook fails
        std::string error;
    };
    const Case cases[] = {
        {{"layout"}, "the step \"layout\" failed" + undone},
        {{"primary"}, "the step \"primary\" failed" + undone},
        {{"gamma"}, "the step \"gamma\" failed" + undone},
        {{"removals"}, "the step \"removals\" failed" + undone},
        // All of it done, then found wanting.
        {{"read-back"}, "the step \"read-back\" failed" + undone},
        {{"layout", "undo"},
         "the step \"layout\" failed; setting the outputs back failed too (the step \"undo\" failed): they "
         "now "
         "hold DUMMY1: the custom mode \"dispor:1000x700@60:f1\" listed"},
    };
    for (const Case &c : cases) {
        SetUp();
        Dispor::GetConfigOperation fetch;
        ASSERT_TRUE(fetch.exec());
        change(fetch.config());
        Dispor::X11::setStepHook([&c](const char *step) { return !c.failing.count(step); });
        Dispor::SetConfigOperation apply(fetch.config());
        EXPECT_FALSE(apply.exec()) << c.error;
        EXPECT_EQ(apply.errorString().toStdString(), c.error);
        Dispor::X11::setStepHook({});
        EXPECT_EQ(screen().text == before, !c.failing.count("undo")) << c.error;
    }

    // Sent and confirmed, but not read back in time: it may be in effect.
    SetUp();
    Dispor::GetConfigOperation stalled;
    ASSERT_TRUE(stalled.exec());
    change(stalled.config());
    Dispor::X11::setStepHook([](const char *step) {
        if (std::string(step) == "read-back")
            ::kill(server().pid(), SIGSTOP);
        return true;
    });
    Dispor::SetConfigOperation late(stalled.config());
    EXPECT_FALSE(late.exec());
    Dispor::X11::setStepHook({});
    ::kill(server().pid(), SIGCONT);
    EXPECT_EQ(
        late.errorString().toStdString(),
        "the change was sent and confirmed, but the X server did not answer the read-back within 3 s; it "
        "may be in effect");
    EXPECT_EQ(screen()["DUMMY1"].y, 1080);
    SetUp();

    Dispor::GetConfigOperation fetch;
    ASSERT_TRUE(fetch.exec());
    change(fetch.config());
    Dispor::SetConfigOperation apply(fetch.config());
    EXPECT_TRUE(apply.exec()) << apply.errorString().toStdString();
    const XScreen after = screen();
    EXPECT_EQ(after["DUMMY1"].y, 1080);
    EXPECT_TRUE(after["DUMMY1"].primary);
    EXPECT_TRUE(after["DUMMY2"].on);
    EXPECT_EQ(after["DUMMY0"].properties.at("Brightness"), "0.50");
    EXPECT_TRUE(after["DUMMY1"].findMode("dispor:1000x700@60:f1"));
    ::unsetenv("DISPLAY");
    ::unsetenv("XDG_RUNTIME_DIR");
    ::unsetenv("DISPOR_BACKEND");
}

volatile sig_atomic_t terminations = 0;

// A SIGTERM that comes during an apply (here from the step hook, as a user's
// would between two requests) waits for its end, then acts as it would have.
TEST_F(X11CustomModes, ASignalWaitsForTheEndOfTheApply)
{
    ::setenv("DISPOR_BACKEND", "x11", 1);
    ::setenv("DISPLAY", display().c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", runtimeDir().c_str(), 1);
    struct sigaction count = {}, previous = {};
    count.sa_handler = [](int) { terminations = terminations + 1; };
    sigemptyset(&count.sa_mask);
    ASSERT_EQ(::sigaction(SIGTERM, &count, &previous), 0);
    terminations = 0;

    Dispor::GetConfigOperation fetch;
    ASSERT_TRUE(fetch.exec());
    for (const Dispor::OutputPtr &output : fetch.config()->outputs()) {
        if (output->name() == u"DUMMY1")
            output->setPos({0, 1080});
        if (output->name() == u"DUMMY2")
            output->setEnabled(true);
    }
    int seenDuring = -1;
    Dispor::X11::setStepHook([&seenDuring](const char *step) {
        if (std::string(step) == "layout") {
            ::raise(SIGTERM);
            seenDuring = terminations;
        }
        return true;
    });
    Dispor::SetConfigOperation apply(fetch.config());
    EXPECT_TRUE(apply.exec()) << apply.errorString().toStdString();
    Dispor::X11::setStepHook({});
    EXPECT_EQ(seenDuring, 0);
    EXPECT_EQ(terminations, 1);
    const XScreen after = screen();
    EXPECT_EQ(after["DUMMY1"].y, 1080);
    EXPECT_TRUE(after["DUMMY2"].on);

    ::sigaction(SIGTERM, &previous, nullptr);
    ::unsetenv("DISPLAY");
    ::unsetenv("XDG_RUNTIME_DIR");
    ::unsetenv("DISPOR_BACKEND");
}

} // namespace
} // namespace x11
