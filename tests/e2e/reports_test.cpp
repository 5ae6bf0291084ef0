// The text and JSON reports of one output, through "self", over fixtures
// that switch capabilities and settings on and off.

#include "expected_help.h"
#include "harness.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string G = "\x1b[01;32m";
const std::string R = "\x1b[01;31m";
const std::string Y = "\x1b[01;33m";
const std::string B = "\x1b[01;34m";
const std::string X = "\x1b[0;0m";

// A labelled line from the eighth line of the block on.
std::string line(const std::string &label, const std::string &value)
{
    return Y + "\t" + label + ": " + X + value + "\n";
}

std::string document(const std::string &outputs)
{
    return R"({"outputs": [)" + outputs + "]}";
}

const std::string oneMode = R"("modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}],
    "currentModeId": "1", "preferredModeId": "1")";

// Nothing but what an output must have.
const std::string bare = document(R"({"id": 1, "name": "DP-1", "priority": 1, )" + oneMode + "}");

const std::string bareText =
    G + "Output: " + X + "1 DP-1 \n" + "\t" + G + "enabled" + X + "\n" + "\t" + G + "connected" + X + "\n" +
    "\t" + G + "priority 1" + X + "\n" + "\t" + Y + "Unknown" + X + "\n" + "\t" + Y +
    "replication source:" + X + "0\n" + "\t" + B + "Modes: " + X + " 1:" + G + "1920x1080@60.00*" + X +
    "! \n" + Y + "\tCustom modes:" + X + " None\n" + line("Geometry", "0,0 1920x1080") + line("Scale", "1") +
    line("Rotation", "1") + line("Overscan", "0") + line("Vrr", "incapable") + line("RgbRange", "unknown") +
    line("HDR", "incapable") + line("Wide Color Gamut", "incapable") + line("ICC profile", "incapable") +
    line("Color profile source", "incapable") + line("Brightness control", "unsupported") + Y +
    "\tColor resolution: unknown\n" + line("Allow EDR", "unsupported") +
    line("Sharpness control", "unsupported") + line("Automatic brightness", "unsupported") +
    line("Auto Rotate Policy", "incapable") + line("Disabling", "unsupported") +
    line("Adaptive backlight modulation", "unsupported");

const std::string bareMode = R"({
            "current": true,
            "id": "1",
            "preferred": true,
            "refreshRate": 60,
            "resolution": {
                "height": 1080,
                "width": 1920
            }
        })";

const std::string bareJson = R"({
    "abm": 0,
    "autoBrightness": false,
    "autoRotate": "in-tablet-mode",
    "brightness": 1,
    "capabilities": [
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
        "preferred": true,
        "refreshRate": 60,
        "resolution": {
            "height": 1080,
            "width": 1920
        }
    },
    "modes": [
        {
            "current": true,
            "id": "1",
            "preferred": true,
            "refreshRate": 60,
            "resolution": {
                "height": 1080,
                "width": 1920
            }
        }
    ],
    "name": "DP-1",
    "overscan": 0,
    "position": {
        "x": 0,
        "y": 0
    },
    "primary": true,
    "priority": 1,
    "replicaOf": 0,
    "rgbRange": "automatic",
    "rotation": "normal",
    "scale": 1,
    "sdrBrightness": 200,
    "sdrGamut": 0,
    "sharpness": 0,
    "uuid": "",
    "vrrPolicy": "automatic",
    "wcg": false
}
)";

const std::string allCapabilities =
    R"(["overscan", "vrr", "rgb-range", "hdr", "wcg", "auto-rotate", "icc", "brightness",
        "builtin-color-profile", "ddc-ci", "maxbpc", "edr", "sharpness", "custom-modes",
        "auto-brightness", "hdr-icc", "abm", "disable"])";

// Every capability, HDR on with all three overrides, ids that sort
// differently as text and as numbers, a quarter turn and a scale.
const std::string full =
    document(R"({"id": 7, "name": "HDMI-A-2", "uuid": "u-7", "type": "HDMI", "priority": 1,
    "pos": {"x": 1920, "y": 0},
    "modes": [{"id": "10", "width": 1280, "height": 720, "refreshRate": 50.0},
              {"id": "2", "width": 2560, "height": 1440, "refreshRate": 59.94},
              {"id": "1", "width": 2560, "height": 1440, "refreshRate": 144.0}],
    "currentModeId": "2", "preferredModeId": "1",
    "scale": 1.25, "rotation": "90", "overscan": 5,
    "capabilities": )" +
             allCapabilities + R"(,
    "hdrEnabled": true, "wcgEnabled": true, "automaticBrightness": true, "ddcCiAllowed": false,
    "sdrBrightness": 350, "sdrGamutWideness": 0.875, "brightness": 0.125, "dimming": 0.625, "sharpness": 0.375,
    "maxPeakBrightness": 0, "maxAverageBrightness": 603.25, "minBrightness": 0.0123456789,
    "maxPeakBrightnessOverride": 800, "maxAverageBrightnessOverride": 450.5, "minBrightnessOverride": 500,
    "hdrIccProfilePath": "/profiles/hdr.icc", "hdrColorProfileSource": "ICC", "colorProfileSource": "ICC",
    "colorPowerPreference": "prefer-accuracy", "rgbRange": "full", "vrrPolicy": "always",
    "autoRotatePolicy": "always", "edrPolicy": "always", "abmLevel": 3,
    "maxBitsPerColor": 0, "automaticMaxBitsPerColorLimit": 12, "bitsPerColorRange": {"min": 6, "max": 16}})");

const std::string fullText =
    G + "Output: " + X + "7 HDMI-A-2 u-7\n" + "\t" + G + "enabled" + X + "\n" + "\t" + G + "connected" + X +
    "\n" + "\t" + G + "priority 1" + X + "\n" + "\t" + Y + "HDMI" + X + "\n" + "\t" + Y +
    "replication source:" + X + "0\n" + "\t" + B + "Modes: " + X + " 1:2560x1440@144.00! " + " 2:" + G +
    "2560x1440@59.94*" + X + " " + " 10:1280x720@50.00 \n" + Y + "\tCustom modes:" + X + " None\n" +
    line("Geometry", "1920,0 1152x2048") + line("Scale", "1.25") + line("Rotation", "2") +
    line("Overscan", "5") + line("Vrr", "Always") + line("RgbRange", "Full") + line("HDR", "enabled") + Y +
    "\t\tSDR brightness: " + X + "350 nits\n" + Y + "\t\tSDR gamut wideness: " + X + "88%\n" + Y +
    "\t\tPeak brightness: " + X + "unknown" + Y + ", overridden with: " + X + "800 nits\n" + Y +
    "\t\tMax average brightness: " + X + "603.25 nits" + Y + ", overridden with: " + X + "450.5 nits\n" + Y +
    "\t\tMin brightness: " + X + "0.0123457 nits" + Y + ", overridden with: " + X + "0.05 nits\n" + Y +
    "\t\tHDR color profile source: " + X + "ICC\n" + Y + "\t\tHDR ICC profile: " + X + "/profiles/hdr.icc\n" +
    line("Wide Color Gamut", "enabled") + line("ICC profile", "none") + line("Color profile source", "ICC") +
    line("Color power preference", "prefer accuracy") +
    line("Brightness control", "supported, set to 13% and dimming to 63%") + line("DDC/CI", "disallowed") +
    line("Color resolution", "automatic (12), range: [6; 16] bits per color") + line("Allow EDR", "always") +
    line("Sharpness control", "supported, set to 38%") + line("Automatic brightness", "supported, enabled") +
    line("Auto Rotate Policy", "always") + line("Disabling", "supported") +
    line("Adaptive backlight modulation", "supported, set to 3");

std::string modeJson(const std::string &indent, const char *current, const char *id, const char *preferred,
                     const char *rate, int height, int width)
{
    std::ostringstream s;
    s << "{\n"
      << indent << "    \"current\": " << current << ",\n"
      << indent << "    \"id\": \"" << id << "\",\n"
      << indent << "    \"preferred\": " << preferred << ",\n"
      << indent << "    \"refreshRate\": " << rate << ",\n"
      << indent << "    \"resolution\": {\n"
      << indent << "        \"height\": " << height << ",\n"
      << indent << "        \"width\": " << width << "\n"
      << indent << "    }\n"
      << indent << "}";
    return s.str();
}

const std::string fullJson = R"({
    "abm": 3,
    "autoBrightness": true,
    "autoRotate": "always",
    "brightness": 0.125,
    "capabilities": [
        "overscan",
        "vrr",
        "rgb-range",
        "hdr",
        "wcg",
        "auto-rotate",
        "icc",
        "brightness",
        "builtin-color-profile",
        "ddc-ci",
        "maxbpc",
        "edr",
        "sharpness",
        "custom-modes",
        "auto-brightness",
        "hdr-icc",
        "disable",
        "abm"
    ],
    "colorPowerTradeoff": "prefer-accuracy",
    "colorProfileSource": "ICC",
    "connected": true,
    "customModes": [
    ],
    "ddcCiAllowed": false,
    "dimming": 0.625,
    "edrPolicy": "always",
    "enabled": true,
    "hdr": true,
    "hdrColorProfileSource": "ICC",
    "hdrIccProfilePath": "/profiles/hdr.icc",
    "iccProfilePath": "",
    "maxAverageBrightnessOverride": 450.5,
    "maxPeakBrightnessOverride": 800,
    "maxbpc": 0,
    "minBrightnessOverride": 500,
    "mode": )" + modeJson("    ", "true", "2", "false", "59.939998626708984", 1440, 2560) +
                             R"(,
    "modes": [
        )" + modeJson("        ", "false", "1", "true", "144", 1440, 2560) +
                             R"(,
        )" + modeJson("        ", "false", "10", "false", "50", 720, 1280) +
                             R"(,
        )" + modeJson("        ", "true", "2", "false", "59.939998626708984", 1440, 2560) +
                             R"(
    ],
    "name": "HDMI-A-2",
    "overscan": 5,
    "position": {
        "x": 1920,
        "y": 0
    },
    "primary": true,
    "priority": 1,
    "replicaOf": 0,
    "rgbRange": "full",
    "rotation": "90",
    "scale": 1.25,
    "sdrBrightness": 350,
    "sdrGamut": 0.875,
    "sharpness": 38,
    "uuid": "u-7",
    "vrrPolicy": "always",
    "wcg": true
}
)";

std::vector<std::string> splitLines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    return lines;
}

// A one-output document: DP-1 (id 1, primary) with these keys.
std::string single(const std::string &keys)
{
    return document(R"({"id": 1, "name": "DP-1", "priority": 1)" + (keys.empty() ? "" : ", " + keys) + "}");
}

std::string withMode(const std::string &keys)
{
    return single(oneMode + (keys.empty() ? "" : ", " + keys));
}

QJsonObject selfJson(const std::string &doc)
{
    e2e::VirtualSet set(doc);
    const e2e::Result r = e2e::run(set, {"DP-1", "--json"});
    EXPECT_EQ(r.status, 0) << r;
    return QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
}

TEST(TextReport, BareOutput)
{
    e2e::VirtualSet set(bare);
    EXPECT_EQ(e2e::run(set, {"DP-1"}), (e2e::Result{0, bareText, ""}));
    EXPECT_EQ(e2e::run(set, {"DP-1", "self"}), (e2e::Result{0, bareText, ""}));
}

TEST(TextReport, EverythingCapable)
{
    e2e::VirtualSet set(full);
    EXPECT_EQ(e2e::run(set, {"HDMI-A-2"}), (e2e::Result{0, fullText, ""}));
}

// NO_COLOR set and not empty takes every escape sequence out of the text
// report and the help, and nothing else; set but empty, it changes nothing.
TEST(TextReport, NoColor)
{
    const auto plain = [](const std::string &text) {
        return std::regex_replace(text, std::regex("\x1b\\[[0-9;]*m"), "");
    };
    e2e::VirtualSet set(full);
    const std::pair<const char *, bool> cases[] = {{"1", true}, {"", false}};
    for (const auto &[value, wanted] : cases) {
        SCOPED_TRACE(std::string("NO_COLOR=") + value);
        const e2e::Env env{{"NO_COLOR", value}};
        EXPECT_EQ(e2e::run(set, {"HDMI-A-2"}, env),
                  (e2e::Result{0, wanted ? plain(fullText) : fullText, ""}));
        EXPECT_EQ(e2e::run(set, {"help"}, env),
                  (e2e::Result{0, "", wanted ? plain(expectedHelp()) : expectedHelp()}));
    }
}

TEST(TextReport, ModeIdsSortByValueInEveryLocale)
{
    e2e::VirtualSet set(single(R"("modes": [
        {"id": "10", "width": 800, "height": 600, "refreshRate": 60.0},
        {"id": "9", "width": 1024, "height": 768, "refreshRate": 75.0},
        {"id": "2", "width": 1280, "height": 720, "refreshRate": 60.0},
        {"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0},
        {"id": "100", "width": 640, "height": 480, "refreshRate": 59.94}],
        "currentModeId": "9", "preferredModeId": "1")"));
    const std::string modes = "\t" + B + "Modes: " + X + " 1:1920x1080@60.00!  2:1280x720@60.00  9:" + G +
                              "1024x768@75.00*" + X + "  10:800x600@60.00  100:640x480@59.94 ";
    for (const char *locale : {"C", "POSIX", "C.UTF-8"}) {
        SCOPED_TRACE(locale);
        const e2e::Result r = e2e::run(set, {"DP-1"}, {{"LC_ALL", locale}});
        ASSERT_EQ(r.status, 0) << r;
        const std::vector<std::string> lines = splitLines(r.out);
        ASSERT_GT(lines.size(), 6u);
        EXPECT_EQ(lines[6], modes);

        // The JSON report keeps the mode map's text order.
        const e2e::Result json = e2e::run(set, {"DP-1", "--json"}, {{"LC_ALL", locale}});
        const QJsonArray array = QJsonDocument::fromJson(QByteArray::fromStdString(json.out))
                                     .object()
                                     .value(QStringLiteral("modes"))
                                     .toArray();
        std::vector<std::string> ids;
        for (const QJsonValue &mode : array)
            ids.push_back(mode.toObject().value(QStringLiteral("id")).toString().toStdString());
        EXPECT_EQ(ids, (std::vector<std::string>{"1", "10", "100", "2", "9"}));
    }
}

// Ids that are not plain numbers: digit runs still compare by value, the
// rest by character, and ids equal by value keep a fixed order.
TEST(TextReport, MixedModeIdsSortNaturally)
{
    e2e::VirtualSet set(single(R"("modes": [
        {"id": "x", "width": 640, "height": 480, "refreshRate": 60.0},
        {"id": "m10", "width": 800, "height": 600, "refreshRate": 60.0},
        {"id": "m9", "width": 800, "height": 600, "refreshRate": 50.0},
        {"id": "m09", "width": 800, "height": 600, "refreshRate": 30.0},
        {"id": "10", "width": 1280, "height": 720, "refreshRate": 60.0},
        {"id": "1a", "width": 1920, "height": 1080, "refreshRate": 60.0}])"));
    const std::string modes =
        "\t" + B + "Modes: " + X +
        " 1a:1920x1080@60.00  10:1280x720@60.00  m09:800x600@30.00  m9:800x600@50.00  m10:800x600@60.00 "
        " x:640x480@60.00 ";
    for (const char *locale : {"C", "C.UTF-8"}) {
        SCOPED_TRACE(locale);
        const e2e::Result r = e2e::run(set, {"DP-1"}, {{"LC_ALL", locale}});
        ASSERT_EQ(r.status, 0) << r;
        const std::vector<std::string> lines = splitLines(r.out);
        ASSERT_GT(lines.size(), 6u);
        EXPECT_EQ(lines[6], modes);
    }
}

TEST(TextReport, LinesFollowCapabilitiesAndSettings)
{
    struct Case {
        std::string keys;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    };
    const std::string sdr = Y + "\t\tSDR brightness: " + X;
    const std::vector<Case> cases = {
        {R"("hdrEnabled": true)", {line("HDR", "incapable")}, {sdr + "200 nits"}},
        {R"("capabilities": ["hdr"], "hdrEnabled": false)", {line("HDR", "disabled")}, {sdr + "200 nits"}},
        {R"("capabilities": ["hdr"], "hdrEnabled": true, "maxPeakBrightness": 1000, "maxAverageBrightness": 400,
            "minBrightness": 0.05, "sdrGamutWideness": 0.5)",
         {line("HDR", "enabled"), sdr + "200 nits", Y + "\t\tSDR gamut wideness: " + X + "50%",
          Y + "\t\tPeak brightness: " + X + "1000 nits", Y + "\t\tMax average brightness: " + X + "400 nits",
          Y + "\t\tMin brightness: " + X + "0.05 nits",
          Y + "\t\tHDR color profile source: " + X + "incapable"},
         {Y + "\t\tHDR ICC profile: " + X + "none"}},
        {R"("capabilities": ["hdr", "hdr-icc"], "hdrEnabled": true, "maxAverageBrightnessOverride": 300)",
         {Y + "\t\tMax average brightness: " + X + "unknown" + Y + ", overridden with: " + X + "300 nits",
          Y + "\t\tPeak brightness: " + X + "unknown", Y + "\t\tMin brightness: " + X + "0 nits",
          Y + "\t\tHDR color profile source: " + X + "EDID", Y + "\t\tHDR ICC profile: " + X + "none"},
         {}},
        {R"("capabilities": ["hdr-icc"], "hdrEnabled": true)",
         {line("HDR", "incapable")},
         {Y + "\t\tHDR ICC profile: " + X + "none"}},
        {R"("capabilities": ["wcg"])", {line("Wide Color Gamut", "disabled")}, {}},
        {R"("wcgEnabled": true)", {line("Wide Color Gamut", "incapable")}, {}},
        {R"("capabilities": ["icc"], "iccProfilePath": "/profiles/office.icc")",
         {line("ICC profile", "/profiles/office.icc"), line("Color profile source", "sRGB"),
          line("Color power preference", "prefer efficiency and performance")},
         {}},
        {R"("capabilities": ["icc"])", {line("ICC profile", "none")}, {}},
        {R"("capabilities": ["builtin-color-profile"], "colorProfileSource": "EDID",
            "colorPowerPreference": "prefer-accuracy")",
         {line("ICC profile", "incapable"), line("Color profile source", "EDID"),
          line("Color power preference", "prefer accuracy")},
         {}},
        {R"("colorProfileSource": "ICC", "colorPowerPreference": "prefer-accuracy")",
         {line("Color profile source", "incapable")},
         {line("Color power preference", "prefer accuracy")}},
        {R"("capabilities": ["brightness"], "brightness": 0.005, "dimming": 0.994)",
         {line("Brightness control", "supported, set to 1% and dimming to 99%")},
         {}},
        {R"("capabilities": ["brightness"])",
         {line("Brightness control", "supported, set to 100% and dimming to 100%")},
         {}},
        {R"("capabilities": ["ddc-ci"], "ddcCiAllowed": true)", {line("DDC/CI", "allowed")}, {}},
        {R"("capabilities": ["ddc-ci"])", {line("DDC/CI", "disallowed")}, {}},
        {R"("ddcCiAllowed": true)", {}, {line("DDC/CI", "allowed"), line("DDC/CI", "disallowed")}},
        {R"("capabilities": ["maxbpc"], "maxBitsPerColor": 10, "bitsPerColorRange": {"min": 8, "max": 12})",
         {line("Color resolution", "10 bits per color, range: [8; 12] bits per color")},
         {}},
        {R"("maxBitsPerColor": 10)", {Y + "\tColor resolution: unknown"}, {}},
        {R"("capabilities": ["edr"])", {line("Allow EDR", "never")}, {}},
        {R"("edrPolicy": "always")", {line("Allow EDR", "unsupported")}, {}},
        {R"("capabilities": ["sharpness"], "sharpness": 0.5)",
         {line("Sharpness control", "supported, set to 50%")},
         {}},
        {R"("capabilities": ["auto-brightness"])", {line("Automatic brightness", "supported, disabled")}, {}},
        {R"("capabilities": ["auto-rotate"])", {line("Auto Rotate Policy", "inTabletMode")}, {}},
        {R"("capabilities": ["auto-rotate"], "autoRotatePolicy": "never")",
         {line("Auto Rotate Policy", "never")},
         {}},
        {R"("capabilities": ["vrr"])", {line("Vrr", "Automatic")}, {}},
        {R"("capabilities": ["vrr"], "vrrPolicy": "never")", {line("Vrr", "Never")}, {}},
        {R"("vrrPolicy": "always")", {line("Vrr", "incapable")}, {}},
        {R"("capabilities": ["rgb-range"])", {line("RgbRange", "Automatic")}, {}},
        {R"("capabilities": ["rgb-range"], "rgbRange": "limited")", {line("RgbRange", "Limited")}, {}},
        {R"("capabilities": ["abm"])", {line("Adaptive backlight modulation", "supported, set to 0")}, {}},
        {R"("abmLevel": 2)", {line("Adaptive backlight modulation", "unsupported")}, {}},
        {R"("capabilities": ["disable"])", {line("Disabling", "supported")}, {}},
        {R"("type": "DisplayPort")", {"\t" + Y + "DisplayPort" + X}, {}},
        {R"("type": "TVSCART")", {"\t" + Y + "TVSCART" + X}, {}},
        {R"("type": "Panel", "uuid": "b0f1-77")",
         {G + "Output: " + X + "1 DP-1 b0f1-77", "\t" + Y + "Panel" + X},
         {}},
        {R"("scale": 2)", {line("Scale", "2"), line("Geometry", "0,0 960x540")}, {}},
        {R"("scale": 1.5)", {line("Scale", "1.5"), line("Geometry", "0,0 1280x720")}, {}},
        {R"("scale": 1.333333333)", {line("Scale", "1.33333")}, {}},
        {R"("rotation": "flipped270")", {line("Rotation", "128"), line("Geometry", "0,0 1080x1920")}, {}},
        {R"("rotation": "180", "pos": {"x": -1920, "y": 300})",
         {line("Rotation", "4"), line("Geometry", "-1920,300 1920x1080")},
         {}},
        {R"("overscan": 12, "capabilities": ["overscan"])", {line("Overscan", "12")}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.keys);
        e2e::VirtualSet set(withMode(c.keys));
        const e2e::Result r = e2e::run(set, {"DP-1"});
        ASSERT_EQ(r.status, 0) << r;
        EXPECT_EQ(r.err, "");
        const std::vector<std::string> lines = splitLines(r.out);
        // The cases are written as whole lines, some with their line break.
        const auto has = [&lines](std::string wanted) {
            if (!wanted.empty() && wanted.back() == '\n')
                wanted.pop_back();
            return std::find(lines.begin(), lines.end(), wanted) != lines.end();
        };
        for (const std::string &wanted : c.present)
            EXPECT_TRUE(has(wanted)) << wanted << "\n" << r.out;
        for (const std::string &unwanted : c.absent)
            EXPECT_FALSE(has(unwanted)) << unwanted << "\n" << r.out;
    }
}

TEST(TextReport, HdrDisabledSkipsItsDetails)
{
    e2e::VirtualSet set(
        withMode(R"("capabilities": ["hdr", "hdr-icc", "wcg"], "maxPeakBrightnessOverride": 800)"));
    const e2e::Result r = e2e::run(set, {"DP-1"});
    ASSERT_EQ(r.status, 0) << r;
    const std::string hdrLines = line("HDR", "disabled") + line("Wide Color Gamut", "disabled");
    EXPECT_NE(r.out.find(hdrLines), std::string::npos) << r.out;
}

TEST(TextReport, AutomaticColorDepth)
{
    struct Case {
        const char *preference;
        int limit;
        const char *depth;
    };
    const Case cases[] = {
        {"prefer-efficiency", 8, "automatic (8)"},   {"prefer-efficiency", 0, "automatic (10)"},
        {"prefer-efficiency", 12, "automatic (10)"}, {"prefer-accuracy", 0, "automatic (16)"},
        {"prefer-accuracy", 12, "automatic (12)"},   {"prefer-accuracy", 16, "automatic (16)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.preference) + " " + std::to_string(c.limit));
        e2e::VirtualSet set(withMode(std::string(R"("capabilities": ["maxbpc"], "colorPowerPreference": ")") +
                                     c.preference + R"(", "automaticMaxBitsPerColorLimit": )" +
                                     std::to_string(c.limit) +
                                     R"(, "bitsPerColorRange": {"min": 6, "max": 16})"));
        const e2e::Result r = e2e::run(set, {"DP-1"});
        ASSERT_EQ(r.status, 0) << r;
        const std::vector<std::string> lines = splitLines(r.out);
        const std::string wanted =
            Y + "\tColor resolution: " + X + c.depth + ", range: [6; 16] bits per color";
        EXPECT_NE(std::find(lines.begin(), lines.end(), wanted), lines.end()) << r.out;
    }
}

TEST(TextReport, CustomModes)
{
    e2e::VirtualSet set(withMode(R"("capabilities": ["custom-modes"], "customModes": [
        {"width": 2560, "height": 1080, "refreshRate": 75.0, "flags": 1},
        {"width": 1920, "height": 1200, "refreshRate": 59.95, "flags": 3}])"));
    const e2e::Result r = e2e::run(set, {"DP-1"});
    ASSERT_EQ(r.status, 0) << r;
    const std::string wanted = Y + "\tCustom modes:" + X + "\n" + "\t\t0: 2560x1080@75.00\n" +
                               "\t\t1: 1920x1200@59.95 (reduced blanking)\n" + Y + "\tGeometry: ";
    EXPECT_NE(r.out.find(wanted), std::string::npos) << r.out;
}

TEST(TextReport, OutputsWithoutModesOrCurrentMode)
{
    // No modes at all: the label alone.
    {
        e2e::VirtualSet set(single(R"("size": {"width": 1024, "height": 768})"));
        const e2e::Result r = e2e::run(set, {"DP-1"});
        ASSERT_EQ(r.status, 0) << r;
        const std::vector<std::string> lines = splitLines(r.out);
        ASSERT_GT(lines.size(), 8u);
        EXPECT_EQ(lines[6], "\t" + B + "Modes: " + X);
        EXPECT_EQ(lines[8], Y + "\tGeometry: " + X + "0,0 1024x768");
    }
    // Neither a size nor a mode: nothing to show but an empty area.
    {
        e2e::VirtualSet set(single(""));
        const e2e::Result r = e2e::run(set, {"DP-1"});
        ASSERT_EQ(r.status, 0) << r;
        const std::vector<std::string> lines = splitLines(r.out);
        ASSERT_GT(lines.size(), 8u);
        EXPECT_EQ(lines[8], Y + "\tGeometry: " + X + "0,0 0x0");
    }
    // A disabled, disconnected output with modes but none current.
    {
        e2e::VirtualSet set(document(R"(
            {"id": 1, "name": "eDP-1", "priority": 1, )" +
                                     oneMode + R"(},
            {"id": 2, "name": "DP-1", "enabled": false, "connected": false, "size": {"width": 1920, "height": 1080},
             "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}], "preferredModeId": "1"})"));
        const e2e::Result r = e2e::run(set, {"DP-1"});
        ASSERT_EQ(r.status, 0) << r;
        const std::vector<std::string> lines = splitLines(r.out);
        ASSERT_GT(lines.size(), 6u);
        EXPECT_EQ(lines[1], "\t" + R + "disabled" + X);
        EXPECT_EQ(lines[2], "\t" + R + "disconnected" + X);
        EXPECT_EQ(lines[3], "\t" + R + "priority 0" + X);
        EXPECT_EQ(lines[6], "\t" + B + "Modes: " + X + " 1:1920x1080@60.00! ");
    }
}

TEST(TextReport, ReplicationSource)
{
    e2e::VirtualSet set(document(R"(
        {"id": 1, "name": "eDP-1", "priority": 1, )" +
                                 oneMode + R"(},
        {"id": 2, "name": "DP-1", "priority": 2, "replicationSource": 1, )" +
                                 oneMode + "}"));
    const e2e::Result r = e2e::run(set, {"DP-1"});
    ASSERT_EQ(r.status, 0) << r;
    const std::vector<std::string> lines = splitLines(r.out);
    ASSERT_GT(lines.size(), 5u);
    EXPECT_EQ(lines[3], "\t" + G + "priority 2" + X);
    EXPECT_EQ(lines[5], "\t" + Y + "replication source:" + X + "1");
}

TEST(JsonReport, BareOutput)
{
    e2e::VirtualSet set(bare);
    EXPECT_EQ(e2e::run(set, {"DP-1", "--json"}), (e2e::Result{0, bareJson, ""}));
    EXPECT_EQ(e2e::run(set, {"DP-1", "self", "--json", "--json"}), (e2e::Result{0, bareJson, ""}));
}

TEST(JsonReport, EverythingCapable)
{
    e2e::VirtualSet set(full);
    EXPECT_EQ(e2e::run(set, {"u-7", "--json"}), (e2e::Result{0, fullJson, ""}));
}

TEST(JsonReport, Variants)
{
    struct Case {
        std::string keys;
        const char *key;
        QJsonValue value; // undefined: the key is absent
    };
    const std::vector<Case> cases = {
        {"", "minBrightnessOverride", QJsonValue(QJsonValue::Undefined)},
        {"", "maxPeakBrightnessOverride", QJsonValue(QJsonValue::Undefined)},
        {"", "maxAverageBrightnessOverride", QJsonValue(QJsonValue::Undefined)},
        {R"("minBrightnessOverride": 500)", "minBrightnessOverride", 500},
        {R"("minBrightnessOverride": 500)", "maxPeakBrightnessOverride", QJsonValue(QJsonValue::Undefined)},
        {R"("maxPeakBrightnessOverride": 1000.5)", "maxPeakBrightnessOverride", 1000.5},
        {R"("maxPeakBrightnessOverride": null)", "maxPeakBrightnessOverride",
         QJsonValue(QJsonValue::Undefined)},
        {R"("maxAverageBrightnessOverride": 0)", "maxAverageBrightnessOverride", 0},
        {R"("rotation": "90")", "rotation", "90"},
        {R"("rotation": "180")", "rotation", "180"},
        {R"("rotation": "270")", "rotation", "270"},
        {R"("rotation": "flipped")", "rotation", "flipped"},
        {R"("rotation": "flipped90")", "rotation", "flipped90"},
        {R"("rotation": "flipped180")", "rotation", "flipped180"},
        {R"("rotation": "flipped270")", "rotation", "flipped270"},
        {R"("colorPowerPreference": "prefer-accuracy")", "colorPowerTradeoff", "prefer-accuracy"},
        {R"("colorProfileSource": "EDID")", "colorProfileSource", "EDID"},
        {R"("hdrColorProfileSource": "sRGB")", "hdrColorProfileSource", "sRGB"},
        {R"("edrPolicy": "always")", "edrPolicy", "always"},
        {R"("vrrPolicy": "never")", "vrrPolicy", "never"},
        {R"("rgbRange": "limited")", "rgbRange", "limited"},
        {R"("autoRotatePolicy": "never")", "autoRotate", "never"},
        {R"("sharpness": 0.5)", "sharpness", 50},
        {R"("sharpness": 0.125)", "sharpness", 13},
        {R"("sharpness": 1)", "sharpness", 100},
        {R"("brightness": 0.125)", "brightness", 0.125},
        {R"("scale": 1.75)", "scale", 1.75},
        {R"("sdrBrightness": 480)", "sdrBrightness", 480},
        {R"("maxBitsPerColor": 10)", "maxbpc", 10},
        {R"("abmLevel": 4)", "abm", 4},
        {R"("overscan": 3)", "overscan", 3},
        {R"("pos": {"x": -1920, "y": 40})", "position", QJsonObject{{"x", -1920}, {"y", 40}}},
        {R"("capabilities": ["abm", "disable", "overscan"])", "capabilities",
         QJsonArray{"overscan", "disable", "abm"}},
        {R"("customModes": [{"width": 1920, "height": 1080, "refreshRate": 50.0, "flags": 1}])",
         "customModes",
         QJsonArray{QJsonObject{{"refreshRate", 50},
                                {"resolution", QJsonObject{{"height", 1080}, {"width", 1920}}}}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.keys + " -> " + c.key);
        const QJsonObject object = selfJson(withMode(c.keys));
        EXPECT_EQ(object.value(QLatin1StringView(c.key)), c.value);
    }
}

TEST(JsonReport, PrimaryAndCurrentMode)
{
    e2e::VirtualSet set(document(R"(
        {"id": 1, "name": "eDP-1", "priority": 1, )" +
                                 oneMode + R"(},
        {"id": 2, "name": "DP-1", "priority": 2, )" +
                                 oneMode + R"(},
        {"id": 3, "name": "HDMI-A-1", "enabled": false, "size": {"width": 1920, "height": 1080},
         "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}]})"));
    struct Case {
        const char *output;
        bool primary;
        int priority;
    };
    for (const Case &c : {Case{"eDP-1", true, 1}, Case{"DP-1", false, 2}, Case{"HDMI-A-1", false, 0}}) {
        SCOPED_TRACE(c.output);
        const e2e::Result r = e2e::run(set, {c.output, "--json"});
        ASSERT_EQ(r.status, 0) << r;
        const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
        EXPECT_EQ(object.value("primary"), c.primary);
        EXPECT_EQ(object.value("priority"), c.priority);
    }
    // Without a current mode, "mode" is null and no mode is current.
    const e2e::Result r = e2e::run(set, {"HDMI-A-1", "--json"});
    EXPECT_NE(r.out.find("\n    \"mode\": null,\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("\"current\": true"), std::string::npos) << r.out;
}

} // namespace
