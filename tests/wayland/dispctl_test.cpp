// dispctl end to end on the Wayland backend, against the test compositor:
// what it reports, what it applies and reads back, and what it refuses.

#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <tuple>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

using e2e::Result;
using wayland_test::Compositor;
using wayland_test::run;

const std::vector<std::string> twoMonitors = {
    "--max-size", "2560x1600",                              //
    "--output",   "DP-1:1920x1080@60000:Dell:U2720:ABC123", //
    "--output",   "HDMI-A-1:1280x1024@75025:LG:Flat:XY9",   //
};

const std::string randrStart = "DP-1 on 0,0 1920x1080 normal 1.000000\n"
                               "HDMI-A-1 on 1920,0 1280x1024 normal 1.000000\n";

// Stable across runs and releases: scripts name outputs by them.
constexpr const char *dpId = "27651";
constexpr const char *dpUuid = "84b07c32-008b-5ecf-808a-b339774fd918";
constexpr const char *hdmiId = "30140";
constexpr const char *hdmiUuid = "451a7b68-e2bc-57d1-abeb-0f6bda790f09";

std::string textBlock(const std::string &header, const std::string &type, const std::string &modes,
                      const std::string &geometry)
{
    return "\x1b[01;32mOutput: \x1b[0;0m" + header +
           "\n"
           "\t\x1b[01;32menabled\x1b[0;0m\n"
           "\t\x1b[01;32mconnected\x1b[0;0m\n"
           "\t\x1b[01;32mpriority 0\x1b[0;0m\n"
           "\t\x1b[01;33m" +
           type +
           "\x1b[0;0m\n"
           "\t\x1b[01;33mreplication source:\x1b[0;0m0\n"
           "\t\x1b[01;34mModes: \x1b[0;0m " +
           modes +
           " \n"
           "\x1b[01;33m\tCustom modes:\x1b[0;0m None\n"
           "\x1b[01;33m\tGeometry: \x1b[0;0m" +
           geometry +
           "\n"
           "\x1b[01;33m\tScale: \x1b[0;0m1\n"
           "\x1b[01;33m\tRotation: \x1b[0;0m1\n"
           "\x1b[01;33m\tOverscan: \x1b[0;0m0\n"
           "\x1b[01;33m\tVrr: \x1b[0;0mincapable\n"
           "\x1b[01;33m\tRgbRange: \x1b[0;0munknown\n"
           "\x1b[01;33m\tHDR: \x1b[0;0mincapable\n"
           "\x1b[01;33m\tWide Color Gamut: \x1b[0;0mincapable\n"
           "\x1b[01;33m\tICC profile: \x1b[0;0mincapable\n"
           "\x1b[01;33m\tColor profile source: \x1b[0;0mincapable\n"
           "\x1b[01;33m\tBrightness control: \x1b[0;0munsupported\n"
           "\x1b[01;33m\tColor resolution: unknown\n"
           "\x1b[01;33m\tAllow EDR: \x1b[0;0munsupported\n"
           "\x1b[01;33m\tSharpness control: \x1b[0;0munsupported\n"
           "\x1b[01;33m\tAutomatic brightness: \x1b[0;0munsupported\n"
           "\x1b[01;33m\tAuto Rotate Policy: \x1b[0;0mincapable\n"
           "\x1b[01;33m\tDisabling: \x1b[0;0msupported\n"
           "\x1b[01;33m\tAdaptive backlight modulation: \x1b[0;0munsupported\n";
}

const char *const hdmiJson = R"({
    "abm": 0,
    "autoBrightness": false,
    "autoRotate": "in-tablet-mode",
    "brightness": 1,
    "capabilities": [
        "custom-modes",
        "disable"
    ],
    "colorPowerTradeoff": "prefer-efficiency",
    "colorProfileSource": "sRGB",
    "connected": true,
    "customModes": [
    ],
    "ddcCiAllowed": false,
    "dimming": 1,
    "edrPolicy": "never",
    "enabled": true,
    "hdr": false,
    "hdrColorProfileSource": "EDID",
    "hdrIccProfilePath": "",
    "iccProfilePath": "",
    "maxbpc": 0,
    "mode": {
        "current": true,
        "id": "1",
        "preferred": false,
        "refreshRate": 75.0250015258789,
        "resolution": {
            "height": 1024,
            "width": 1280
        }
    },
    "modes": [
        {
            "current": true,
            "id": "1",
            "preferred": false,
            "refreshRate": 75.0250015258789,
            "resolution": {
                "height": 1024,
                "width": 1280
            }
        }
    ],
    "name": "HDMI-A-1",
    "overscan": 0,
    "position": {
        "x": 1920,
        "y": 0
    },
    "primary": false,
    "priority": 0,
    "replicaOf": 0,
    "rgbRange": "automatic",
    "rotation": "normal",
    "scale": 1,
    "sdrBrightness": 200,
    "sdrGamut": 0,
    "sharpness": 0,
    "uuid": "451a7b68-e2bc-57d1-abeb-0f6bda790f09",
    "vrrPolicy": "never",
    "wcg": false
}
)";

const std::string refusedByCompositor =
    "Failed to apply output configuration: the compositor refused the output configuration\n";

struct Step {
    std::vector<std::string> args;
    Result result;
    std::string layout; // afterwards
};

// Each step read back with wlr-randr.
void runSteps(const Compositor &compositor, const std::vector<Step> &steps)
{
    for (const Step &step : steps) {
        std::string line;
        for (const std::string &arg : step.args)
            line += arg + ' ';
        SCOPED_TRACE(line);
        EXPECT_EQ(run(compositor, step.args), step.result);
        EXPECT_EQ(wayland_test::wlrRandr(compositor), step.layout);
    }
}

TEST(WaylandReports, OutputsAsTheCompositorHasThem)
{
    const Compositor compositor = Compositor::ours(twoMonitors);
    const std::string dpText = textBlock(std::string(dpId) + " DP-1 " + dpUuid, "DisplayPort",
                                         "1:\x1b[01;32m1920x1080@60.00*\x1b[0;0m", "0,0 1920x1080");
    const std::string hdmiText = textBlock(std::string(hdmiId) + " HDMI-A-1 " + hdmiUuid, "HDMI",
                                           "1:\x1b[01;32m1280x1024@75.03*\x1b[0;0m", "1920,0 1280x1024");

    EXPECT_EQ(run(compositor, {"list-outputs"}), (Result{0, dpText + hdmiText, ""}));
    EXPECT_EQ(run(compositor, {"list-outputs", "--names"}), (Result{0, "DP-1\nHDMI-A-1\n", ""}));
    EXPECT_EQ(run(compositor, {"list-outputs", "--disabled", "--names"}), (Result{0, "", ""}));
    EXPECT_EQ(run(compositor, {"HDMI-A-1", "--json"}), (Result{0, hdmiJson, ""}));
    EXPECT_EQ(run(compositor, {"DP-1", "list-modes"}), (Result{0, "1:1920x1080@60.00*\n", ""}));

    // The JSON list holds the same objects as the single reports.
    const Result listed = run(compositor, {"list-outputs", "--json"});
    ASSERT_EQ(listed.status, 0);
    const QJsonArray array = QJsonDocument::fromJson(QByteArray::fromStdString(listed.out)).array();
    ASSERT_EQ(array.size(), 2);
    EXPECT_EQ(
        array[0].toObject(),
        QJsonDocument::fromJson(QByteArray::fromStdString(run(compositor, {"DP-1", "--json"}).out)).object());
    EXPECT_EQ(array[1].toObject(), QJsonDocument::fromJson(hdmiJson).object());

    // Outputs are found by id and uuid as well as by name.
    for (const char *spec : {dpId, dpUuid})
        EXPECT_EQ(run(compositor, {spec, "get-name"}), (Result{0, "DP-1\n", ""})) << spec;
    EXPECT_EQ(run(compositor, {hdmiUuid, "get-name"}), (Result{0, "HDMI-A-1\n", ""}));
    EXPECT_EQ(run(compositor, {"primary-output", "get-name"}),
              (Result{1, "", "Unknown output: primary-output\n"}));
}

TEST(WaylandReports, IdsAndUuidsDoNotDependOnOrder)
{
    // The same monitors in the other order, one on another connector, and a
    // panel that tells no make, model or serial number.
    const Compositor compositor = Compositor::ours({
        "--output", "eDP-1:1366x768@60000",                  //
        "--output", "HDMI-A-1:1280x1024@75025:LG:Flat:XY9",  //
        "--output", "DP-2:1920x1080@60000:Dell:U2720:ABC123" //
    });
    EXPECT_EQ(run(compositor, {hdmiId, "get-name"}), (Result{0, "HDMI-A-1\n", ""}));
    EXPECT_EQ(run(compositor, {hdmiUuid, "get-name"}), (Result{0, "HDMI-A-1\n", ""}));
    // A monitor keeps its uuid on another connector; the id goes with the name.
    EXPECT_EQ(run(compositor, {dpUuid, "get-name"}), (Result{0, "DP-2\n", ""}));
    EXPECT_EQ(run(compositor, {dpId, "get-name"}),
              (Result{1, "", std::string("Unknown output: ") + dpId + "\n"}));
    const Result panel = run(compositor, {"eDP-1"});
    ASSERT_EQ(panel.status, 0);
    EXPECT_EQ(panel.out.substr(0, panel.out.find('\n')),
              "\x1b[01;32mOutput: \x1b[0;0m21102 eDP-1 75c86e52-38ac-5f11-b79f-b6b566f77ce3");
    EXPECT_EQ(run(compositor, {"list-outputs", "--names"}), (Result{0, "eDP-1\nDP-2\nHDMI-A-1\n", ""}));
}

TEST(WaylandApply, Positioning)
{
    const Compositor compositor = Compositor::ours(twoMonitors);
    runSteps(compositor,
             {
                 {{"HDMI-A-1", "left-of", "DP-1"},
                  {0, "", ""},
                  "DP-1 on 1280,0 1920x1080 normal 1.000000\nHDMI-A-1 on 0,0 1280x1024 normal 1.000000\n"},
                 {{"HDMI-A-1", "below", "DP-1"},
                  {0, "", ""},
                  "DP-1 on 0,0 1920x1080 normal 1.000000\nHDMI-A-1 on 0,1080 1280x1024 normal 1.000000\n"},
                 {{"HDMI-A-1", "above", "DP-1"},
                  {0, "", ""},
                  "DP-1 on 0,1024 1920x1080 normal 1.000000\nHDMI-A-1 on 0,0 1280x1024 normal 1.000000\n"},
                 {{"HDMI-A-1", "right-of", "DP-1"},
                  {0, "", ""},
                  "DP-1 on 0,0 1920x1080 normal 1.000000\nHDMI-A-1 on 1920,0 1280x1024 normal 1.000000\n"},
                 {{"DP-1", "set-position", "100", "50"},
                  {0, "", ""},
                  "DP-1 on 100,50 1920x1080 normal 1.000000\nHDMI-A-1 on 1920,0 1280x1024 normal 1.000000\n"},
                 {{"DP-1", "set-position", "0", "0"}, {0, "", ""}, randrStart},
             });
}

TEST(WaylandApply, CustomModesAreKeptAndOffered)
{
    const Compositor compositor = Compositor::ours(twoMonitors);
    const std::string wide =
        "DP-1 on 0,0 2560x1440 normal 1.000000\nHDMI-A-1 on 2560,0 1280x1024 normal 1.000000\n";
    const std::string failed = "Failed to apply output configuration: DP-1: ";
    const std::string list = "0: 2560x1440@59.95Hz\n1: 1920x1080@60.00Hz\n2: 3840x2160@60.00Hz\n";
    runSteps(
        compositor,
        {
            // Added to the list, not switched to.
            {{"DP-1", "add-custom-mode", "2560x1440@59.95"}, {0, "", ""}, randrStart},
            {{"DP-1", "add-custom-mode", "2560x1440@59.95"}, {0, "", ""}, randrStart},
            {{"DP-1", "add-custom-mode", "1920x1080@60"}, {0, "", ""}, randrStart},
            // Beyond the compositor's limit, but only listed.
            {{"DP-1", "add-custom-mode", "3840x2160@60"}, {0, "", ""}, randrStart},
            {{"DP-1", "add-custom-mode", "712.75", "3840", "4160", "4576", "5312", "2160", "2163", "2168",
              "2237"},
             {1, "",
              failed +
                  "the compositor takes a custom mode as a size and refresh rate; explicit timings cannot be "
                  "given\n"},
             randrStart},
            {{"DP-1", "add-custom-mode", "1600x900@60", "--reduced-blanking"},
             {1, "",
              failed +
                  "the compositor takes a custom mode as a size and refresh rate; reduced blanking cannot be "
                  "asked for\n"},
             randrStart},
            {{"DP-1", "list-custom-modes"}, {0, "", list}, randrStart},
            {{"DP-1", "list-modes"},
             {0,
              "1:1920x1080@60.00*\ncustom-1920x1080@60.00:1920x1080@60.00\ncustom-2560x1440@59.95:2560x1440@"
              "59.95\n"
              "custom-3840x2160@60.00:3840x2160@60.00\n",
              ""},
             randrStart},
            // Chosen, by id or by size and rate: the neighbour moves along.
            {{"DP-1", "set-mode", "custom-2560x1440@59.95"}, {0, "", ""}, wide},
            {{"DP-1", "set-mode", "1920x1080@60"}, {0, "", ""}, randrStart},
            {{"DP-1", "set-mode", "2560x1440"}, {0, "", ""}, wide},
            {{"DP-1", "set-mode", "custom-3840x2160@60.00"}, {1, "", refusedByCompositor}, wide},
            {{"DP-1", "list-custom-modes"}, {0, "", list}, wide},
            {{"HDMI-A-1", "list-custom-modes"}, {0, "", ""}, wide},
            {{"DP-1", "remove-custom-mode", "3"}, {1, "", "Invalid mode index: 3\n"}, wide},
            // Removing the one in use keeps the output as it is.
            {{"DP-1", "remove-custom-mode", "0"}, {0, "", ""}, wide},
            {{"DP-1", "list-custom-modes"}, {0, "", "0: 1920x1080@60.00Hz\n1: 3840x2160@60.00Hz\n"}, wide},
        });
    // Kept for the session beside the compositor's socket, only for the user.
    const std::string file =
        compositor.runtimeDir() + "/dispor/wayland-" + compositor.socket() + "-custom-modes.json";
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(e2e::readFile(file))).object(),
              QJsonDocument::fromJson(R"({"DP-1": [
                  {"width": 1920, "height": 1080, "refreshRate": 60, "flags": 1},
                  {"width": 3840, "height": 2160, "refreshRate": 60, "flags": 1}]})")
                  .object());
    // A file that is no list of custom modes stops every command.
    e2e::writeFile(file, "[]");
    EXPECT_EQ(run(compositor, {"DP-1", "list-custom-modes"}),
              (Result{1, "", "dispor: " + file + ": not an object of custom mode lists\n"}));
}

TEST(WaylandApply, EnablingAndDisabling)
{
    const Compositor compositor = Compositor::ours(twoMonitors);
    const std::string turned =
        "DP-1 on 0,0 1920x1080 90 1.500000\nHDMI-A-1 on 720,0 1280x1024 normal 1.000000\n";
    const std::string dpOff = "DP-1 off\nHDMI-A-1 on 720,0 1280x1024 normal 1.000000\n";
    const Result disabled = {
        1, "",
        "Failed to apply output configuration: DP-1 is disabled: enable it first (set-enabled true)\n"};
    // Without the compositor's bus service (the runs have no session bus),
    // the active output is the only one enabled; with two, it is not known.
    const std::string noBus = "Not connected to D-Bus server; ";
    runSteps(compositor,
             {
                 {{"DP-1", "set-rotation", "left"},
                  {0, "", ""},
                  "DP-1 on 0,0 1920x1080 90 1.000000\nHDMI-A-1 on 1080,0 1280x1024 normal 1.000000\n"},
                 {{"DP-1", "set-scale", "150%"}, {0, "", ""}, turned},
                 {{"DP-1", "set-enabled", "false"}, {0, "", ""}, dpOff},
                 {{"active-output", "get-name"}, {0, "HDMI-A-1\n", ""}, dpOff},
                 {{"DP-1", "set-enabled", "false"}, {0, "", ""}, dpOff},
                 {{"HDMI-A-1", "toggle-enabled"},
                  {1, "",
                   "Failed to apply output configuration: HDMI-A-1: disabling it leaves no connected output "
                   "enabled\n"},
                  dpOff},
                 // What the compositor would drop is refused.
                 {{"DP-1", "set-scale", "200%"}, disabled, dpOff},
                 {{"DP-1", "set-rotation", "normal"}, disabled, dpOff},
                 {{"DP-1", "set-position", "0", "0"}, disabled, dpOff},
                 // Its custom modes are the library's to keep; switching to one is not.
                 {{"DP-1", "add-custom-mode", "1280x720@60"}, {0, "", ""}, dpOff},
                 {{"DP-1", "set-mode", "1280x720@60"}, disabled, dpOff},
                 // Enabled again with what it had, where it was: free, and
                 // joined to the other.
                 {{"DP-1", "toggle-enabled"}, {0, "", ""}, turned},
                 {{"DP-1", "left-of", "HDMI-A-1"}, {0, "", ""}, turned},
                 {{"active-output", "set-enabled", "false"},
                  {1, "",
                   "Failed to determine active output: " + noBus +
                       "on this desktop the active output is known only when exactly one output is enabled, "
                       "and 2 are\n"
                       "Unknown output: active-output\n"},
                  turned},
                 // Labels on both, for 5 s (identify_test.cpp).
                 {{"identify"}, {0, "", ""}, turned},
             });
    EXPECT_EQ(run(compositor, {"DP-1", "set-enabled", "false"}).status, 0);
    EXPECT_EQ(run(compositor, {"list-outputs", "--disabled", "--names"}), (Result{0, "DP-1\n", ""}));
    EXPECT_EQ(run(compositor, {"list-outputs", "--enabled", "--names"}), (Result{0, "HDMI-A-1\n", ""}));
}

// A compositor that accepts a configuration and holds something else: the
// run says so, per output, sets the outputs back, and exits 1. An output
// reported on without a wl_output is dark, and counts as off.
TEST(WaylandApply, WhatTheCompositorDoesNotHoldIsReported)
{
    std::vector<std::string> faulty = twoMonitors;
    faulty.insert(faulty.end(), {"--ignore-custom-modes", "--misreport-enabled"});
    const Compositor compositor = Compositor::ours(faulty);
    const std::string failed = "Failed to apply output configuration: ";
    const std::string lit = "DP-1 0,0 1920x1080\nHDMI-A-1 1920,0 1280x1024\n";
    runSteps(
        compositor,
        {
            {{"DP-1", "add-custom-mode", "1024x768@60"}, {0, "", ""}, randrStart},
            // The mode stays; the neighbour that moved for it goes back.
            {{"DP-1", "set-mode", "1024x768@60"},
             {1, "",
              failed + "DP-1: the compositor accepted the mode \"1024x768@60\" but keeps \"1920x1080@60\"; "
                       "the outputs were set back as they were\n"},
             randrStart},
            // Switched off, still reported on, and dark.
            {{"DP-1", "set-enabled", "false"}, {0, "", ""}, randrStart},
            {{"HDMI-A-1", "set-position", "1920", "0"}, {0, "", ""}, randrStart},
            {{"list-outputs", "--enabled", "--names"}, {0, "HDMI-A-1\n", ""}, randrStart},
        });
    EXPECT_EQ(wayland_test::logicalLayout(compositor), "HDMI-A-1 1920,0 1280x1024\n");
    // Named, it is lit again, where it was.
    EXPECT_EQ(run(compositor, {"DP-1", "set-enabled", "true"}), (Result{0, "", ""}));
    EXPECT_EQ(wayland_test::wlrRandr(compositor), randrStart);
    EXPECT_EQ(wayland_test::logicalLayout(compositor), lit);

    // A change confirmed, then no answer: not known, not failed.
    std::vector<std::string> stalling = twoMonitors;
    stalling.push_back("--stall-after-apply");
    const Compositor stalled = Compositor::ours(stalling);
    EXPECT_EQ(
        run(stalled, {"HDMI-A-1", "set-rotation", "left"}),
        (Result{1, "",
                failed + "the change was sent and confirmed, but the compositor did not answer the read-back "
                         "within 10 s; it may be in effect\n"}));
    EXPECT_EQ(wayland_test::wlrRandr(stalled),
              "DP-1 on 0,0 1920x1080 normal 1.000000\nHDMI-A-1 on 1920,0 1280x1024 90 1.000000\n");
}

// Where the compositor's own layout puts them after each step, so that no
// step leaves a gap or an overlap, and a repeated step changes nothing.
TEST(WaylandApply, FractionalScalesMeetTheCompositorsLayout)
{
    const Compositor compositor = Compositor::ours(twoMonitors);
    const auto step = [&compositor](const std::string &scale, const std::string &randr,
                                    const std::string &logical) {
        SCOPED_TRACE(scale);
        EXPECT_EQ(run(compositor, {"DP-1", "set-scale", scale}), (Result{0, "", ""}));
        EXPECT_EQ(wayland_test::wlrRandr(compositor), randr);
        EXPECT_EQ(wayland_test::logicalLayout(compositor), logical);
    };
    for (int repeat = 0; repeat < 2; ++repeat) {
        step("110%", "DP-1 on 0,0 1920x1080 normal 1.101562\nHDMI-A-1 on 1742,0 1280x1024 normal 1.000000\n",
             "DP-1 0,0 1742x980\nHDMI-A-1 1742,0 1280x1024\n");
        step("160%", "DP-1 on 0,0 1920x1080 normal 1.601562\nHDMI-A-1 on 1198,0 1280x1024 normal 1.000000\n",
             "DP-1 0,0 1198x674\nHDMI-A-1 1198,0 1280x1024\n");
        step("160%", "DP-1 on 0,0 1920x1080 normal 1.601562\nHDMI-A-1 on 1198,0 1280x1024 normal 1.000000\n",
             "DP-1 0,0 1198x674\nHDMI-A-1 1198,0 1280x1024\n");
        step("130%", "DP-1 on 0,0 1920x1080 normal 1.300781\nHDMI-A-1 on 1476,0 1280x1024 normal 1.000000\n",
             "DP-1 0,0 1476x830\nHDMI-A-1 1476,0 1280x1024\n");
        step("100%", randrStart, "DP-1 0,0 1920x1080\nHDMI-A-1 1920,0 1280x1024\n");
    }
}

TEST(WaylandApply, RotationAndScale)
{
    const Compositor compositor = Compositor::ours(twoMonitors);
    runSteps(
        compositor,
        {
            {{"HDMI-A-1", "set-rotation", "left"},
             {0, "", ""},
             "DP-1 on 0,0 1920x1080 normal 1.000000\nHDMI-A-1 on 1920,0 1280x1024 90 1.000000\n"},
            {{"HDMI-A-1", "set-rotation", "flipped270"},
             {0, "", ""},
             "DP-1 on 0,0 1920x1080 normal 1.000000\nHDMI-A-1 on 1920,0 1280x1024 flipped-270 1.000000\n"},
            {{"HDMI-A-1", "set-rotation", "inverted"},
             {0, "", ""},
             "DP-1 on 0,0 1920x1080 normal 1.000000\nHDMI-A-1 on 1920,0 1280x1024 180 1.000000\n"},
            {{"HDMI-A-1", "set-rotation", "flipped"},
             {0, "", ""},
             "DP-1 on 0,0 1920x1080 normal 1.000000\nHDMI-A-1 on 1920,0 1280x1024 flipped 1.000000\n"},
            {{"HDMI-A-1", "set-rotation", "normal"}, {0, "", ""}, randrStart},
            {{"DP-1", "set-scale", "150%"},
             {0, "", ""},
             "DP-1 on 0,0 1920x1080 normal 1.500000\nHDMI-A-1 on 1280,0 1280x1024 normal 1.000000\n"},
            {{"DP-1", "set-scale", "125%"},
             {0, "", ""},
             "DP-1 on 0,0 1920x1080 normal 1.250000\nHDMI-A-1 on 1536,0 1280x1024 normal 1.000000\n"},
            {{"DP-1", "set-scale", "200"},
             {0, "", ""},
             "DP-1 on 0,0 1920x1080 normal 2.000000\nHDMI-A-1 on 960,0 1280x1024 normal 1.000000\n"},
            {{"DP-1", "set-scale", "100%"}, {0, "", ""}, randrStart},
        });
}

TEST(WaylandApply, WhatTheProtocolCannotCarryIsRefused)
{
    const Compositor compositor = Compositor::ours(twoMonitors);
    const std::string failed = "Failed to apply output configuration: DP-1: ";
    const std::string needs = failed + "cannot change ";
    runSteps(
        compositor,
        {
            {{"DP-1", "set-primary"},
             {1, "", failed + "cannot change the priority: the compositor has no output priorities\n"},
             randrStart},
            {{"DP-1", "set-priority", "2"},
             {1, "", failed + "cannot change the priority: the compositor has no output priorities\n"},
             randrStart},
            {{"DP-1", "set-replica-of", "HDMI-A-1"},
             {1, "", failed + "cannot change mirroring: the compositor has no mirroring\n"},
             randrStart},
            {{"DP-1", "set-vrr-policy", "always"},
             {1, "", needs + "the VRR policy: the output has no VRR support\n"},
             randrStart},
            {{"DP-1", "set-hdr", "true"},
             {1, "", needs + "HDR: the output has no HDR support\n"},
             randrStart},
            {{"DP-1", "set-brightness", "50"},
             {1, "", needs + "the brightness: the output has no brightness control\n"},
             randrStart},
            {{"DP-1", "set-color-profile-source", "ICC"},
             {1, "",
              needs + "the colour profile source: the output takes no ICC profile and has no built-in colour "
                      "profile\n"},
             randrStart},
            {{"DP-1", "set-color-power-tradeoff", "prefer-accuracy"},
             {1, "",
              failed +
                  "cannot change the colour/power trade-off: the compositor has no colour/power setting\n"},
             randrStart},
            {{"DP-1", "set-maxbpc", "8"},
             {1, "",
              needs + "the maximum bits per colour: the output has no setting for the bits per colour\n"},
             randrStart},
        });
}

TEST(WaylandPower, OffAndOnReadBack)
{
    const Compositor compositor = Compositor::ours(twoMonitors);
    const std::vector<std::string> names = {"DP-1", "HDMI-A-1"};
    const auto powerObjects = [&compositor] {
        const std::string log = compositor.log();
        size_t count = 0;
        for (size_t at = log.find("power object\n"); at != std::string::npos;
             at = log.find("power object\n", at + 1))
            ++count;
        return count;
    };
    // Queries and changes leave power control to other clients.
    EXPECT_EQ(run(compositor, {"list-outputs", "--names"}).status, 0);
    EXPECT_EQ(run(compositor, {"DP-1", "set-position", "0", "0"}).status, 0);
    EXPECT_EQ(powerObjects(), 0u);
    EXPECT_EQ(run(compositor, {"off"}), (Result{0, "", ""}));
    EXPECT_EQ(powerObjects(), 2u);
    EXPECT_EQ(wayland_test::power(compositor, names), "DP-1:off HDMI-A-1:off");
    // Powered off is not disabled.
    EXPECT_EQ(wayland_test::wlrRandr(compositor), randrStart);
    EXPECT_EQ(run(compositor, {"off"}), (Result{0, "", ""}));
    EXPECT_EQ(run(compositor, {"on"}), (Result{0, "", ""}));
    EXPECT_EQ(wayland_test::power(compositor, names), "DP-1:on HDMI-A-1:on");

    // A disabled output has no power to switch; the others do.
    ASSERT_EQ(run(compositor, {"HDMI-A-1", "set-enabled", "false"}).status, 0);
    EXPECT_EQ(run(compositor, {"off"}), (Result{0, "", ""}));
    EXPECT_EQ(wayland_test::power(compositor, names), "DP-1:off HDMI-A-1:on");
    EXPECT_EQ(run(compositor, {"on"}), (Result{0, "", ""}));
    EXPECT_EQ(wayland_test::power(compositor, names), "DP-1:on HDMI-A-1:on");
}

TEST(WaylandPower, RefusedWithoutPowerManagement)
{
    // Without the protocol; with it, neither taken nor answered (phoc, wayfire).
    for (const std::string fault : {"--no-power", "--ignore-power"}) {
        std::vector<std::string> arguments = twoMonitors;
        arguments.push_back(fault);
        const Compositor compositor = Compositor::ours(arguments);
        const std::string reason =
            fault == "--no-power"
                ? "the compositor offers no output power management (zwlr_output_power_manager_v1), so it "
                  "cannot switch display power"
                : "the Wayland compositor \"" + compositor.socket() +
                      "\" answers, but did not switch the power of \"DP-1\", \"HDMI-A-1\" within 2 s";
        // Outputs already on need no switch.
        for (const char *command : {"off", "on"}) {
            if (fault == "--ignore-power" && command == std::string("on"))
                continue;
            const Result result = run(compositor, {command});
            EXPECT_EQ(result.status, 1) << command;
            EXPECT_EQ(result.out, "") << command;
            const std::string line = "Failed to switch display power: " + reason + "\n";
            EXPECT_TRUE(result.err.size() >= line.size() && result.err.ends_with(line)) << result;
        }
    }
}

TEST(WaylandBackendChoice, WaylandFirstWhereOutputManagementAnswers)
{
    const Compositor compositor = Compositor::ours(twoMonitors);
    e2e::TempDir dir;
    const e2e::Env automatic = {{"DISPOR_BACKEND", std::nullopt},
                                {"DISPOR_VIRTUAL_STATE", dir.file("set.json")}};
    EXPECT_EQ(run(compositor, {"list-outputs", "--names"}, automatic), (Result{0, "DP-1\nHDMI-A-1\n", ""}));
    EXPECT_EQ(run(compositor, {"list-outputs", "--names"},
                  {{"DISPOR_BACKEND", ""}, {"DISPOR_VIRTUAL_STATE", dir.file("set.json")}}),
              (Result{0, "DP-1\nHDMI-A-1\n", ""}));

    const Compositor bare = Compositor::ours({"--no-management", "--output", "DP-1:1920x1080@60000"});
    // Without output management the choice finds nothing else here, and says so.
    EXPECT_EQ(
        run(bare, {"list-outputs", "--names"}, automatic),
        (Result{1, "",
                "dispor: found no display service to configure (the Wayland compositor \"" + bare.socket() +
                    "\" offers no output management (zwlr_output_manager_v1); cannot connect to the session "
                    "bus at \"unix:path=/nonexistent/bus\": No such file or directory; DISPLAY is not set); "
                    "DISPOR_BACKEND=virtual selects the simulated display set\n"}));
    EXPECT_EQ(run(bare, {"list-outputs"}),
              (Result{1, "",
                      "dispor: the Wayland compositor \"" + bare.socket() +
                          "\" offers no output management (zwlr_output_manager_v1)\n"}));

    // A compositor not reached, chosen and found: one line, the value
    // escaped, and nothing of libwayland's own on standard error.
    const std::string cannot = "cannot connect to the Wayland compositor \"";
    const std::string longName = "\x1b[31m" + std::string(120, 'x') + "\n";
    const std::string longShown = "\\u001b[31m" + std::string(120, 'x') + "\\u000a";
    const std::string tooLong = "\": its socket's path would be ";
    const std::string holds = " bytes long, more than the 107 a socket's path can hold";
    const std::string longest = "/" + std::string(106, 'x'); // libwayland tries it
    const wayland_test::ErringCompositor erring(dir.file("erring"), "bad\x1b[31m name\nnext");
    struct Case {
        e2e::Env env;
        std::string chosen;
        std::string found; // where the automatic choice words it otherwise
    };
    const Case cases[] = {
        {{{"WAYLAND_DISPLAY", "no-such-socket"}}, cannot + "no-such-socket\": No such file or directory", ""},
        {{{"WAYLAND_DISPLAY", std::nullopt}},
         "WAYLAND_DISPLAY is not set, so no Wayland compositor can be reached",
         "WAYLAND_DISPLAY is not set"},
        {{{"WAYLAND_DISPLAY", longName}},
         cannot + longShown + tooLong + std::to_string(compositor.runtimeDir().size() + 1 + longName.size()) +
             holds,
         ""},
        {{{"WAYLAND_DISPLAY", longest + "y"}}, cannot + longest + "y" + tooLong + "108" + holds, ""},
        {{{"WAYLAND_DISPLAY", longest}}, cannot + longest + "\": No such file or directory", ""},
        {{{"XDG_RUNTIME_DIR", std::nullopt}},
         cannot + compositor.socket() + "\": XDG_RUNTIME_DIR is not set",
         ""},
        {{{"XDG_RUNTIME_DIR", "run"}},
         cannot + compositor.socket() + "\": XDG_RUNTIME_DIR is not an absolute path",
         ""},
        // libwayland takes the connection WAYLAND_SOCKET names instead.
        {{{"WAYLAND_DISPLAY", longName}, {"WAYLAND_SOCKET", "99"}},
         cannot + longShown + "\": Bad file descriptor",
         ""},
        {{{"WAYLAND_DISPLAY", dir.file("erring")}},
         "the compositor closed the connection for protocol error 0 on wl_registry "
         "(libwayland: wl_registry@2: error 0: bad\\u001b[31m name\\u000anext)",
         ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.chosen);
        EXPECT_EQ(run(compositor, {"list-outputs"}, c.env), (Result{1, "", "dispor: " + c.chosen + "\n"}));
        e2e::Env env = automatic;
        env.insert(c.env.begin(), c.env.end());
        EXPECT_EQ(
            run(compositor, {"list-outputs"}, env),
            (Result{1, "",
                    "dispor: found no display service to configure (" +
                        (c.found.empty() ? c.chosen : c.found) +
                        "; cannot connect to the session bus at \"unix:path=/nonexistent/bus\": No such "
                        "file or directory; DISPLAY is not set); DISPOR_BACKEND=virtual selects the "
                        "simulated display set\n"}));
    }
}

TEST(WaylandPhoc, RoundTrips)
{
    const Compositor compositor = Compositor::phoc("");
    if (compositor.socket().empty())
        GTEST_SKIP() << "phoc cannot be run here";
    const Result names = run(compositor, {"list-outputs", "--names"});
    ASSERT_EQ(names.status, 0);
    const std::string first = names.out.substr(0, names.out.find('\n'));
    const std::string second = first == "HEADLESS-1" ? "HEADLESS-2" : "HEADLESS-1";

    const std::vector<std::pair<std::vector<std::string>, std::string>> steps = {
        {{second, "right-of", first}, "1280,0 1280x720 normal 1.000000\n"},
        {{second, "add-custom-mode", "1024x768@50"}, "1280,0 1280x720 normal 1.000000\n"},
        {{second, "set-mode", "1024x768@50"}, "1024x768"},
        {{second, "set-rotation", "90"}, " 90 "},
        {{second, "set-scale", "200%"}, " 90 2.000000\n"},
        {{second, "set-rotation", "flipped180"}, " flipped-180 2.000000\n"},
        {{second, "set-scale", "150%"}, " flipped-180 1.500000\n"},
    };
    for (const auto &[args, part] : steps) {
        SCOPED_TRACE(args[1] + " " + args[2]);
        EXPECT_EQ(run(compositor, args), (Result{0, "", ""}));
        const std::string lines = wayland_test::wlrRandr(compositor);
        const size_t at = lines.find(second + " on ");
        ASSERT_NE(at, std::string::npos) << lines;
        const std::string line = lines.substr(at, lines.find('\n', at) - at + 1);
        EXPECT_NE(line.find(part), std::string::npos) << line;
    }
    const std::string lines = wayland_test::wlrRandr(compositor);
    EXPECT_NE(lines.find(first + " on 0,0 1280x720 normal 1.000000\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find(second + " on 1280,0 1024x768 flipped-180 1.500000\n"), std::string::npos) << lines;
}

// phoc's own layout (xdg-output) has the outputs side by side after every
// scale, and a repeated scale moves nothing.
TEST(WaylandPhoc, ScalesLeaveNoGap)
{
    const Compositor compositor = Compositor::phoc("");
    if (compositor.socket().empty())
        GTEST_SKIP() << "phoc cannot be run here";
    ASSERT_EQ(run(compositor, {"HEADLESS-2", "add-custom-mode", "2560x1440@60"}).status, 0);
    ASSERT_EQ(run(compositor, {"HEADLESS-2", "set-mode", "2560x1440@60"}), (Result{0, "", ""}));
    std::string previous;
    for (const std::string scale : {"110%", "160%", "160%", "125%", "130%", "100%"}) {
        SCOPED_TRACE(scale);
        const std::string before = wayland_test::logicalLayout(compositor);
        EXPECT_EQ(run(compositor, {"HEADLESS-2", "set-scale", scale}), (Result{0, "", ""}));
        const std::string after = wayland_test::logicalLayout(compositor);
        int x[2], y[2], w[2], h[2];
        ASSERT_EQ(std::sscanf(after.c_str(), "HEADLESS-1 %d,%d %dx%d\nHEADLESS-2 %d,%d %dx%d\n", &x[0], &y[0],
                              &w[0], &h[0], &x[1], &y[1], &w[1], &h[1]),
                  8)
            << after;
        EXPECT_TRUE(x[0] + w[0] == x[1] || x[1] + w[1] == x[0]) << after;
        EXPECT_EQ(std::min(x[0], x[1]), 0) << after;
        EXPECT_EQ(y[0], 0);
        EXPECT_EQ(y[1], 0);
        if (scale == previous) {
            EXPECT_EQ(after, before);
        }
        previous = scale;
    }
}

TEST(WaylandPhoc, AnUnansweredPowerSwitchNamesTheOutputs)
{
    const Compositor compositor = Compositor::phoc("");
    if (compositor.socket().empty())
        GTEST_SKIP() << "phoc cannot be run here";
    const Result result = run(compositor, {"off"});
    EXPECT_EQ(result.status, 1);
    const std::string line =
        "Failed to switch display power: the Wayland compositor \"" + compositor.socket() +
        "\" answers, but did not switch the power of \"HEADLESS-1\", \"HEADLESS-2\" within 2 s\n";
    EXPECT_TRUE(result.err.ends_with(line)) << result.err << "phoc's log:\n" << compositor.log();
}

} // namespace

namespace {

// The compositors hold what the layout rules make of a grid and a row: a
// resize undone gives back the grid, and an output switched off leaves no
// gap.
TEST(WaylandPhoc, ALayoutKeepsItsShape)
{
    const Compositor compositor = Compositor::phoc("", 4);
    if (compositor.socket().empty())
        GTEST_SKIP() << "phoc cannot be run here";
    const auto place = [&](const std::vector<std::pair<std::string, std::string>> &places) {
        for (const auto &[output, x] : places) {
            const size_t comma = x.find(',');
            ASSERT_EQ(
                run(compositor, {output, "set-position", x.substr(0, comma), x.substr(comma + 1)}).status, 0);
        }
    };
    const std::string on = " 1280x720 normal 1.000000\n";
    place({{"HEADLESS-1", "0,0"},
           {"HEADLESS-2", "1280,0"},
           {"HEADLESS-3", "0,720"},
           {"HEADLESS-4", "1280,720"}});
    const std::string grid = "HEADLESS-1 on 0,0" + on + "HEADLESS-2 on 1280,0" + on + "HEADLESS-3 on 0,720" +
                             on + "HEADLESS-4 on 1280,720" + on;
    ASSERT_EQ(wayland_test::wlrRandr(compositor), grid);
    // Growing: what hangs on the bottom edge follows it, then what hangs on
    // the right edge.
    ASSERT_EQ(run(compositor, {"HEADLESS-1", "add-custom-mode", "1920x1080@60"}).status, 0);
    EXPECT_EQ(run(compositor, {"HEADLESS-1", "set-mode", "1920x1080@60"}), (Result{0, "", ""}));
    EXPECT_EQ(wayland_test::wlrRandr(compositor), "HEADLESS-1 on 0,0 1920x1080 normal 1.000000\n"
                                                  "HEADLESS-2 on 1920,0" +
                                                      on + "HEADLESS-3 on 0,1080" + on +
                                                      "HEADLESS-4 on 1920,720" + on);
    ASSERT_EQ(run(compositor, {"HEADLESS-1", "add-custom-mode", "1280x720@60"}).status, 0);
    EXPECT_EQ(run(compositor, {"HEADLESS-1", "set-mode", "1280x720@60"}), (Result{0, "", ""}));
    EXPECT_EQ(wayland_test::wlrRandr(compositor), grid);
    // phoc refuses to switch a headless output off, and darkens it all the
    // same: it is lit again.
    const std::string laidOut =
        "HEADLESS-1 0,0 1280x720\nHEADLESS-2 1280,0 1280x720\nHEADLESS-3 0,720 1280x720\n";
    EXPECT_EQ(
        run(compositor, {"HEADLESS-4", "set-enabled", "false"}),
        (Result{1, "",
                "Failed to apply output configuration: the compositor refused the output configuration; the "
                "outputs were set back as they were\n"}));
    EXPECT_EQ(wayland_test::logicalLayout(compositor), laidOut + "HEADLESS-4 1280,720 1280x720\n");
    // Darkened by another client, it counts as off: no change to another
    // output lights it. Named, it goes right of the others.
    ASSERT_EQ(
        e2e::runProgram("/usr/bin/wlr-randr", {"--output", "HEADLESS-4", "--off"}, compositor.env()).status,
        1);
    EXPECT_EQ(run(compositor, {"HEADLESS-1", "set-rotation", "normal"}), (Result{0, "", ""}));
    EXPECT_EQ(wayland_test::logicalLayout(compositor), laidOut);
    EXPECT_EQ(run(compositor, {"HEADLESS-4", "set-enabled", "true"}), (Result{0, "", ""}));
    EXPECT_EQ(wayland_test::logicalLayout(compositor), laidOut + "HEADLESS-4 2560,0 1280x720\n");

    // phoc refuses to switch a headless output off; our compositor does.
    const Compositor row =
        Compositor::ours({"--output", "A-1:1280x720@60000", "--output", "A-2:1280x720@60000", "--output",
                          "A-3:1280x720@60000", "--output", "A-4:1280x720@60000"});
    for (const char *output : {"A-2", "A-3", "A-4"})
        ASSERT_EQ(run(row, {output, "right-of", std::string("A-") + char(output[2] - 1)}).status, 0);
    // Placed where it is, nothing moves.
    const std::string inRow =
        "A-1 on 0,0" + on + "A-2 on 1280,0" + on + "A-3 on 2560,0" + on + "A-4 on 3840,0" + on;
    for (const auto &[moved, side, reference] :
         {std::tuple{"A-2", "right-of", "A-1"}, {"A-3", "left-of", "A-4"}}) {
        EXPECT_EQ(run(row, {moved, side, reference}), (Result{0, "", ""}));
        EXPECT_EQ(wayland_test::wlrRandr(row), inRow);
    }
    EXPECT_EQ(run(row, {"A-2", "set-enabled", "false"}), (Result{0, "", ""}));
    EXPECT_EQ(wayland_test::wlrRandr(row),
              "A-1 on 0,0" + on + "A-2 off\nA-3 on 1280,0" + on + "A-4 on 2560,0" + on);
}

} // namespace
