// dispctl end to end on sway 1.10 and labwc 0.8 (wlroots 0.18, output
// management version 4): the same steps on both, each read back with
// wlr-randr and, on sway, with swaymsg too; a refusal leaves the compositor
// as it was. One compositor per test, used for all its steps.

#include "wlroots.h"

#include "support/tree.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <iterator>
#include <sstream>
#include <utility>

#include <unistd.h>

namespace modern {

// For the test names ctest lists.
void PrintTo(Kind kind, std::ostream *os)
{
    *os << nameOf(kind);
}

} // namespace modern

namespace {

using e2e::Result;
using modern::Kind;
using modern::Wlroots;

// Both start with two 1280x720 outputs side by side, HEADLESS-2 on the left.
const std::string start = "HEADLESS-1 on 1280,0 1280x720@0 normal 1 vrr:off\n"
                          "HEADLESS-2 on 0,0 1280x720@0 normal 1 vrr:off\n";

const std::string failed = "Failed to apply output configuration: ";

// Three outputs: HEADLESS-3, HEADLESS-2 and HEADLESS-1 in a row.
const std::string row = "HEADLESS-1 on 2560,0 1280x720@0 normal 1 vrr:off\n"
                        "HEADLESS-2 on 1280,0 1280x720@0 normal 1 vrr:off\n"
                        "HEADLESS-3 on 0,0 1280x720@0 normal 1 vrr:off\n";

class Wlroots18 : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override
    {
        if (support::modernTree().empty())
            GTEST_SKIP() << "the Debian 13 tree has not been made (scripts/modern-tree)";
        std::string why;
        m_bed = Wlroots::start(GetParam(), &why, outputs());
        ASSERT_TRUE(m_bed) << why;
        ASSERT_EQ(view(), outputs() == 2 ? start : row);
    }

    virtual int outputs() const { return 2; }

    // The compositor's view, the same through both of sway's oracles but
    // for a scale sway keeps in 1/120 steps and tells in 1/256 (1.2 shown
    // as 1.19922).
    std::string view() const
    {
        const std::string randr = m_bed->randr();
        if (m_bed->kind() == Kind::Sway) {
            EXPECT_EQ(roundedScales(m_bed->swayView()), roundedScales(randr))
                << "swaymsg and wlr-randr disagree";
        }
        return randr;
    }

    static std::string roundedScales(const std::string &lines)
    {
        std::istringstream in(lines);
        std::string rounded;
        for (std::string line; std::getline(in, line);) {
            std::istringstream words(line);
            std::vector<std::string> word{std::istream_iterator<std::string>(words), {}};
            if (word.size() > 5)
                word[5] = std::to_string(std::lround(std::stod(word[5]) * 100)) + "%";
            for (const std::string &w : word)
                rounded += w + ' ';
            rounded += '\n';
        }
        return rounded;
    }

    struct Step {
        std::vector<std::string> args;
        Result result;
        std::string layout;       // afterwards
        std::string logical = {}; // and in the compositor's own layout, where places matter
    };

    void runSteps(const std::vector<Step> &steps) const
    {
        for (const Step &step : steps) {
            std::string line;
            for (const std::string &arg : step.args)
                line += arg + ' ';
            SCOPED_TRACE(line);
            EXPECT_EQ(m_bed->run(step.args), step.result);
            EXPECT_EQ(view(), step.layout) << m_bed->log();
            if (!step.logical.empty()) {
                EXPECT_EQ(m_bed->logicalLayout(), step.logical);
            }
        }
    }

    std::unique_ptr<Wlroots> m_bed;
};

TEST_P(Wlroots18, ReportsTheOutputsAsTheCompositorHasThem)
{
    EXPECT_EQ(m_bed->run({"list-outputs", "--names"}), (Result{0, "HEADLESS-1\nHEADLESS-2\n", ""}));
    // Found without being named: the compositor offers output management.
    EXPECT_EQ(m_bed->run({"list-outputs", "--names"}, {{"DISPOR_BACKEND", std::nullopt}}),
              (Result{0, "HEADLESS-1\nHEADLESS-2\n", ""}));
    EXPECT_EQ(m_bed->run({"HEADLESS-1", "list-modes"}), (Result{0, "1:1280x720@0.00*\n", ""}));
    // Found by the id and uuid their names give.
    EXPECT_EQ(m_bed->run({"3526", "get-name"}), (Result{0, "HEADLESS-1\n", ""}));
    EXPECT_EQ(m_bed->run({"90525e5b-d3ac-5d91-aec9-4a23f9678f7d", "get-name"}),
              (Result{0, "HEADLESS-1\n", ""}));
    const Result text = m_bed->run({"HEADLESS-2"});
    EXPECT_NE(text.out.find("\tVrr: \x1b[0;0mNever\n"), std::string::npos) << text;

    // The JSON list, in wlr-randr's terms, is what wlr-randr says.
    const Result listed = m_bed->run({"list-outputs", "--json"});
    ASSERT_EQ(listed.status, 0) << listed;
    std::string lines;
    for (const QJsonValue &value : QJsonDocument::fromJson(QByteArray::fromStdString(listed.out)).array()) {
        const QJsonObject output = value.toObject();
        const QJsonObject mode = output["mode"].toObject();
        const QJsonObject size = mode["resolution"].toObject();
        const QJsonObject position = output["position"].toObject();
        lines += output["name"].toString().toStdString() + " on " + std::to_string(position["x"].toInt()) +
                 "," + std::to_string(position["y"].toInt()) + " " + std::to_string(size["width"].toInt()) +
                 "x" + std::to_string(size["height"].toInt()) + "@" +
                 std::to_string(mode["refreshRate"].toInt()) + " " +
                 output["rotation"].toString().toStdString() + " " + std::to_string(output["scale"].toInt()) +
                 " vrr:" + (output["vrrPolicy"].toString() == "never" ? "off" : "on") + "\n";
        EXPECT_EQ(output["capabilities"].toArray(), QJsonArray({"vrr", "custom-modes", "disable"}));
    }
    EXPECT_EQ(lines, view());

    // Without the compositor's bus service (the runs have no session bus):
    // sway names its focused output over its IPC; without that, both tell
    // the focused window's output through foreign-toplevel management.
    const std::string noBus = "Not connected to D-Bus server; ";
    if (GetParam() == Kind::Sway) {
        for (const std::string name : {"HEADLESS-1", "HEADLESS-2"}) {
            ASSERT_EQ(m_bed->swaymsg({"focus", "output", name}), "");
            EXPECT_EQ(m_bed->run({"active-output", "get-name"}, {{"SWAYSOCK", m_bed->swaySocket()}}),
                      (Result{0, name + "\n", ""}));
        }
        EXPECT_EQ(m_bed->run({"active-output", "get-name"}, {{"SWAYSOCK", m_bed->swaySocket() + "-gone"}}),
                  (Result{1, "",
                          "Failed to determine active output: " + noBus + "cannot connect to sway's socket " +
                              m_bed->swaySocket() +
                              "-gone: No such file or directory\n"
                              "Unknown output: active-output\n"}));
    }
    EXPECT_EQ(m_bed->run({"active-output", "get-name"}),
              (Result{1, "",
                      "Failed to determine active output: " + noBus +
                          "no window has the focus, and 2 outputs are enabled\n"
                          "Unknown output: active-output\n"}));
    // identify: a label on each output while it runs (grim's pictures
    // differ from those before), none once it ended after its 5 s;
    // before any window is open, whose drawing would change them too.
    const std::vector<std::string> names = {"HEADLESS-1", "HEADLESS-2"};
    std::vector<std::string> before;
    for (const std::string &name : names)
        before.push_back(m_bed->picture(name));
    const double begun = support::now();
    const int identify = m_bed->start({"identify"});
    for (size_t i = 0; i < names.size(); ++i) {
        bool shown = false;
        while (!shown && support::now() < begun + 4)
            shown = m_bed->picture(names[i]) != before[i];
        EXPECT_TRUE(shown) << names[i];
    }
    EXPECT_EQ(support::waitStatus(identify), 0);
    EXPECT_GE(support::now() - begun, 5.0);
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(m_bed->picture(names[i]), before[i]) << names[i];
    if (GetParam() == Kind::Sway) {
        // A window focused on the second output, as sway itself tells.
        ASSERT_EQ(m_bed->swaymsg({"focus", "output", "HEADLESS-1"}), "");
        m_bed->startClient({"foot"});
        std::string focused;
        for (const double deadline = support::now() + 10; support::now() < deadline; ::usleep(50000)) {
            if ((focused = m_bed->swayFocusedWindow()) != "none")
                break;
        }
        ASSERT_EQ(focused, "HEADLESS-1");
        EXPECT_EQ(m_bed->run({"active-output", "get-name"}), (Result{0, "HEADLESS-1\n", ""}));
    }

    EXPECT_EQ(view(), start);
}

TEST_P(Wlroots18, ChangesAreHeld)
{
    const std::string wide = "HEADLESS-1 on 1920,0 1280x720@0 normal 1 vrr:off\n"
                             "HEADLESS-2 on 0,0 1920x1080@60 normal 1 vrr:off\n";
    runSteps({
        // labwc leaves HEADLESS-2 to its own layout, which moves it along.
        {{"HEADLESS-1", "set-position", "1280", "100"},
         {0, "", ""},
         "HEADLESS-1 on 1280,100 1280x720@0 normal 1 vrr:off\nHEADLESS-2 on 0,0 1280x720@0 normal 1 "
         "vrr:off\n"},
        // The layout starts at the origin.
        {{"HEADLESS-2", "below", "HEADLESS-1"},
         {0, "", ""},
         "HEADLESS-1 on 0,0 1280x720@0 normal 1 vrr:off\nHEADLESS-2 on 0,720 1280x720@0 normal 1 vrr:off\n"},
        {{"HEADLESS-2", "above", "HEADLESS-1"},
         {0, "", ""},
         "HEADLESS-1 on 0,720 1280x720@0 normal 1 vrr:off\nHEADLESS-2 on 0,0 1280x720@0 normal 1 vrr:off\n"},
        {{"HEADLESS-2", "right-of", "HEADLESS-1"},
         {0, "", ""},
         "HEADLESS-1 on 0,0 1280x720@0 normal 1 vrr:off\nHEADLESS-2 on 1280,0 1280x720@0 normal 1 vrr:off\n"},
        {{"HEADLESS-2", "left-of", "HEADLESS-1"}, {0, "", ""}, start},
        // Headless outputs take any size; the neighbour moves along.
        {{"HEADLESS-2", "add-custom-mode", "1920x1080@60"}, {0, "", ""}, start},
        {{"HEADLESS-2", "set-mode", "1920x1080@60"},
         {0, "", ""},
         "HEADLESS-1 on 1920,0 1280x720@0 normal 1 vrr:off\nHEADLESS-2 on 0,0 1920x1080@60 normal 1 "
         "vrr:off\n"},
        {{"HEADLESS-2", "set-scale", "150%"},
         {0, "", ""},
         "HEADLESS-1 on 1280,0 1280x720@0 normal 1 vrr:off\nHEADLESS-2 on 0,0 1920x1080@60 normal 1.5 "
         "vrr:off\n"},
        {{"HEADLESS-2", "set-rotation", "left"},
         {0, "", ""},
         "HEADLESS-1 on 720,0 1280x720@0 normal 1 vrr:off\nHEADLESS-2 on 0,0 1920x1080@60 90 1.5 vrr:off\n"},
        {{"HEADLESS-2", "set-rotation", "flipped270"},
         {0, "", ""},
         "HEADLESS-1 on 720,0 1280x720@0 normal 1 vrr:off\nHEADLESS-2 on 0,0 1920x1080@60 flipped-270 1.5 "
         "vrr:off\n"},
        {{"HEADLESS-2", "set-scale", "125%"},
         {0, "", ""},
         "HEADLESS-1 on 864,0 1280x720@0 normal 1 vrr:off\nHEADLESS-2 on 0,0 1920x1080@60 flipped-270 1.25 "
         "vrr:off\n"},
        {{"HEADLESS-2", "set-rotation", "normal"},
         {0, "", ""},
         "HEADLESS-1 on 1536,0 1280x720@0 normal 1 vrr:off\nHEADLESS-2 on 0,0 1920x1080@60 normal 1.25 "
         "vrr:off\n"},
        {{"HEADLESS-2", "set-scale", "100%"}, {0, "", ""}, wide},
        // The list is the library's; removing the mode in use changes nothing.
        {{"HEADLESS-2", "list-custom-modes"}, {0, "", "0: 1920x1080@60.00Hz\n"}, wide},
        {{"HEADLESS-2", "remove-custom-mode", "0"}, {0, "", ""}, wide},
        {{"HEADLESS-2", "list-custom-modes"}, {0, "", ""}, wide},
    });
}

// The compositor's own layout (xdg-output) and its output management
// (wlr-randr, and swaymsg on sway) have the outputs side by side after every
// fractional scale, repeated or not. labwc keeps the scale in 1/256 steps and
// truncates the size over it, as the backend computes; sway keeps it in
// 1/120 steps and tells it a step lower, and the outputs are placed once
// more where its sizes end.
class Wlroots18Scales : public Wlroots18 {};

TEST_P(Wlroots18Scales, FractionalScalesMeetTheCompositorsLayout)
{
    struct Step {
        std::string scale;
        int width, height; // HEADLESS-2's logical size
        std::string shown; // its scale as wlr-randr shows it
        std::string kept;  // and as swaymsg does
    };
    const bool sway = GetParam() == Kind::Sway;
    const std::vector<Step> steps = {
        {"110%", sway ? 1163 : 1161, sway ? 654 : 653, sway ? "1.09766" : "1.10156", "1.1"},
        {"160%", sway ? 800 : 799, sway ? 450 : 449, sway ? "1.59766" : "1.60156", "1.6"},
        {"160%", sway ? 800 : 799, sway ? 450 : 449, sway ? "1.59766" : "1.60156", "1.6"},
        {"130%", 984, 553, sway ? "1.29688" : "1.30078", "1.3"},
        {"100%", 1280, 720, "1", "1"},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.scale);
        EXPECT_EQ(m_bed->run({"HEADLESS-2", "set-scale", step.scale}), (Result{0, "", ""}));
        const std::string x = std::to_string(step.width);
        EXPECT_EQ(m_bed->logicalLayout(), "HEADLESS-1 " + x + ",0 1280x720\nHEADLESS-2 0,0 " + x + "x" +
                                              std::to_string(step.height) + "\n");
        const auto shown = [&](const std::string &scale) {
            return "HEADLESS-1 on " + x +
                   ",0 1280x720@0 normal 1 vrr:off\nHEADLESS-2 on 0,0 1280x720@0 normal " + scale +
                   " vrr:off\n";
        };
        EXPECT_EQ(m_bed->randr(), shown(step.shown));
        if (sway) {
            EXPECT_EQ(m_bed->swayView(), shown(step.kept));
        }
    }
}

TEST_P(Wlroots18, RefusalsLeaveTheCompositorAsItWas)
{
    const std::string h1 = "HEADLESS-1: ";
    // 1280 px at 1.2, as each sizes it.
    const std::string x1 = GetParam() == Kind::Sway ? "1066" : "1067";
    runSteps({
        {{"HEADLESS-1", "set-vrr-policy", "automatic"},
         {1, "",
          failed + h1 +
              "the compositor switches adaptive sync only on or off, so the VRR policy \"automatic\" has "
              "no equivalent\n"},
         start},
        {{"HEADLESS-1", "set-primary"},
         {1, "", failed + h1 + "cannot change the priority: the compositor has no output priorities\n"},
         start},
        {{"HEADLESS-1", "set-replica-of", "HEADLESS-2"},
         {1, "", failed + h1 + "cannot change mirroring: the compositor has no mirroring\n"},
         start},
        {{"HEADLESS-1", "set-hdr", "true"},
         {1, "", failed + h1 + "cannot change HDR: the output has no HDR support\n"},
         start},
        {{"HEADLESS-1", "set-brightness", "50"},
         {1, "", failed + h1 + "cannot change the brightness: the output has no brightness control\n"},
         start},
        {{"HEADLESS-1", "add-custom-mode", "712.75", "3840", "4160", "4576", "5312", "2160", "2163", "2168",
          "2237"},
         {1, "",
          failed + h1 +
              "the compositor takes a custom mode as a size and refresh rate; explicit timings cannot be "
              "given\n"},
         start},
        {{"HEADLESS-1", "set-enabled", "false"},
         {0, "", ""},
         "HEADLESS-1 off\nHEADLESS-2 on 0,0 1280x720@0 normal 1 vrr:off\n"},
        {{"list-outputs", "--disabled", "--names"},
         {0, "HEADLESS-1\n", ""},
         "HEADLESS-1 off\nHEADLESS-2 on 0,0 1280x720@0 normal 1 vrr:off\n"},
        {{"HEADLESS-2", "toggle-enabled"},
         {1, "", failed + "HEADLESS-2: disabling it leaves no connected output enabled\n"},
         "HEADLESS-1 off\nHEADLESS-2 on 0,0 1280x720@0 normal 1 vrr:off\n"},
        {{"HEADLESS-1", "set-scale", "200%"},
         {1, "", failed + "HEADLESS-1 is disabled: enable it first (set-enabled true)\n"},
         "HEADLESS-1 off\nHEADLESS-2 on 0,0 1280x720@0 normal 1 vrr:off\n"},
        // Its own place, no longer joined, gives way to the layout rule.
        {{"HEADLESS-2", "set-scale", "120%"},
         {0, "", ""},
         "HEADLESS-1 off\nHEADLESS-2 on 0,0 1280x720@0 normal 1.19922 vrr:off\n"},
        {{"HEADLESS-1", "toggle-enabled"},
         {0, "", ""},
         "HEADLESS-1 on " + x1 +
             ",0 1280x720@0 normal 1 vrr:off\nHEADLESS-2 on 0,0 1280x720@0 normal 1.19922 "
             "vrr:off\n",
         "HEADLESS-1 " + x1 + ",0 1280x720\nHEADLESS-2 0,0 " + x1 + "x600\n"},
        {{"HEADLESS-2", "set-scale", "100%"}, {0, "", ""}, start},
    });
}

TEST_P(Wlroots18, AdaptiveSyncAndPower)
{
    // sway takes adaptive sync for a headless output and keeps it off;
    // labwc refuses it.
    const std::string notKept = GetParam() == Kind::Sway
                                    ? failed +
                                          "HEADLESS-1: the compositor accepted the VRR policy \"always\" but "
                                          "keeps \"never\"; the outputs were set back as they were\n"
                                    : failed + "the compositor refused the output configuration\n";
    runSteps({
        {{"HEADLESS-1", "set-vrr-policy", "always"}, {1, "", notKept}, start},
        {{"HEADLESS-1", "set-vrr-policy", "never"}, {0, "", ""}, start},
        // Powered off is not disabled.
        {{"off"}, {0, "", ""}, start},
    });
    // Powered off, sway takes a scale and keeps the old one: the neighbour
    // that moved is set back too. labwc holds it.
    const bool sway = GetParam() == Kind::Sway;
    runSteps(
        {{{"HEADLESS-2", "set-scale", "200%"},
          {sway, "",
           sway ? failed + "HEADLESS-2: the compositor accepted the scale \"2\" but keeps \"1\"; the outputs "
                           "were set back as they were\n"
                : ""},
          sway ? start
               : "HEADLESS-1 on 640,0 1280x720@0 normal 1 vrr:off\nHEADLESS-2 on 0,0 1280x720@0 normal 2 "
                 "vrr:off\n"},
         {{"HEADLESS-2", "set-scale", "100%"}, {0, "", ""}, start}});
    runSteps({{{"on"}, {0, "", ""}, start}});
    if (GetParam() == Kind::Sway) {
        EXPECT_EQ(m_bed->swayPower(), "HEADLESS-1:on HEADLESS-2:on");
    }
}

class Wlroots18Row : public Wlroots18 {
protected:
    int outputs() const override { return 3; }
};

// What an output had comes back when it is enabled again; a disabled one
// takes no change; a placement where the output already is moves nothing.
TEST_P(Wlroots18Row, NothingIsLostAtTheEdges)
{
    const std::string rowLaidOut =
        "HEADLESS-1 2560,0 1280x720\nHEADLESS-2 1280,0 1280x720\nHEADLESS-3 0,0 1280x720\n";
    const std::string turned = "HEADLESS-1 on 1760,0 1280x720@0 normal 1 vrr:off\n"
                               "HEADLESS-2 on 480,0 1280x720@0 normal 1 vrr:off\n"
                               "HEADLESS-3 on 0,0 1280x720@0 270 1.5 vrr:off\n";
    const std::string turnedLaidOut =
        "HEADLESS-1 1760,0 1280x720\nHEADLESS-2 480,0 1280x720\nHEADLESS-3 0,0 480x853\n";
    const std::string thirdOff = "HEADLESS-1 on 1760,0 1280x720@0 normal 1 vrr:off\n"
                                 "HEADLESS-2 on 480,0 1280x720@0 normal 1 vrr:off\nHEADLESS-3 off\n";
    const std::string middleOff = "HEADLESS-1 on 480,0 1280x720@0 normal 1 vrr:off\nHEADLESS-2 off\n"
                                  "HEADLESS-3 on 0,0 1280x720@0 270 1.5 vrr:off\n";
    const std::string disabled = failed + "HEADLESS-2 is disabled: enable it first (set-enabled true)\n";
    std::vector<Step> steps = {
        {{"HEADLESS-2", "right-of", "HEADLESS-3"}, {0, "", ""}, row, rowLaidOut},
        {{"HEADLESS-2", "left-of", "HEADLESS-1"}, {0, "", ""}, row, rowLaidOut},
        {{"HEADLESS-3", "set-rotation", "270"},
         {0, "", ""},
         "HEADLESS-1 on 2000,0 1280x720@0 normal 1 vrr:off\nHEADLESS-2 on 720,0 1280x720@0 normal 1 vrr:off\n"
         "HEADLESS-3 on 0,0 1280x720@0 270 1 vrr:off\n"},
        {{"HEADLESS-3", "set-scale", "150%"}, {0, "", ""}, turned, turnedLaidOut},
        {{"HEADLESS-3", "set-enabled", "false"}, {0, "", ""}, thirdOff},
        {{"HEADLESS-3", "set-enabled", "true"}, {0, "", ""}, turned, turnedLaidOut},
        // Powered off, then off and on again: nothing to report.
        {{"off"}, {0, "", ""}, turned},
        {{"HEADLESS-3", "set-enabled", "false"}, {0, "", ""}, thirdOff},
        {{"HEADLESS-3", "set-enabled", "true"}, {0, "", ""}, turned},
        {{"on"}, {0, "", ""}, turned, turnedLaidOut},
        {{"HEADLESS-2", "set-enabled", "false"}, {0, "", ""}, middleOff},
    };
    for (const std::vector<std::string> &change : std::vector<std::vector<std::string>>{
             {"set-rotation", "normal"},
             {"set-position", "0", "0"},
             {"set-scale", "150%"},
             {"set-mode", "1280x720"},
             {"below", "HEADLESS-1"},
             {"right-of", "HEADLESS-1"},
             {"above", "HEADLESS-1"},
             {"left-of", "HEADLESS-1"},
         }) {
        std::vector<std::string> args = {"HEADLESS-2"};
        args.insert(args.end(), change.begin(), change.end());
        steps.push_back({args, {1, "", disabled}, middleOff});
    }
    // Its own place is taken: right of the others.
    steps.push_back(
        {{"HEADLESS-2", "set-enabled", "true"},
         {0, "", ""},
         "HEADLESS-1 on 480,0 1280x720@0 normal 1 vrr:off\nHEADLESS-2 on 1760,0 1280x720@0 normal 1 "
         "vrr:off\nHEADLESS-3 on 0,0 1280x720@0 270 1.5 vrr:off\n",
         "HEADLESS-1 480,0 1280x720\nHEADLESS-2 1760,0 1280x720\nHEADLESS-3 0,0 480x853\n"});
    runSteps(steps);
}

const auto testName = [](const ::testing::TestParamInfo<Kind> &info) { return modern::nameOf(info.param); };
INSTANTIATE_TEST_SUITE_P(Compositors, Wlroots18, ::testing::Values(Kind::Sway, Kind::Labwc), testName);
INSTANTIATE_TEST_SUITE_P(Compositors, Wlroots18Scales, ::testing::Values(Kind::Sway, Kind::Labwc), testName);
INSTANTIATE_TEST_SUITE_P(Compositors, Wlroots18Row, ::testing::Values(Kind::Sway, Kind::Labwc), testName);

} // namespace
