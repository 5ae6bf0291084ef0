// The backend's own rules, without mutter: ids, uuids, types, ranking,
// scales, colour modes and levels, and what an apply sends.

#include "../../dispor/src/backend.h"
#include "../../dispor/src/gnome/model.h"
#include "../../dispor/src/gnome/readback.h"
#include "../../dispor/src/reach.h"

#include <gtest/gtest.h>

#include <QSet>

#include <climits>
#include <cmath>
#include <functional>

namespace {

using namespace Dispor::Gnome;
using Dispor::Output;

ModeState mode(const QString &id, int width, int height, QList<double> scales, bool current,
               bool preferred = false)
{
    return ModeState{id, width, height, 60, std::move(scales), current, preferred};
}

// DP-1 (2560x1440, primary) left of HDMI-1 (1920x1080 or 1280x720); eDP-1
// built in and off.
State threeMonitors()
{
    State state;
    state.monitors = {
        {"DP-1",
         "DEL",
         "U2720",
         "ABC",
         {mode("2560x1440@60", 2560, 1440, {1, 1.25, 1.495327115058899, 2}, true, true),
          mode("1920x1080@60", 1920, 1080, {1, 2}, false)},
         false,
         std::nullopt,
         std::nullopt,
         {}},
        {"HDMI-1",
         "GSM",
         "Flat",
         "9",
         {mode("1920x1080@60", 1920, 1080, {1, 2}, true, true), mode("1280x720@60", 1280, 720, {1}, false)},
         false,
         false,
         std::nullopt,
         {}},
        {"eDP-1",
         "BOE",
         "Panel",
         "",
         {mode("1920x1200@60", 1920, 1200, {1, 2}, false, true)},
         true,
         std::nullopt,
         std::nullopt,
         {}},
    };
    state.logical = {{0, 0, 1, 0, true, {"DP-1"}}, {2560, 0, 1, 0, false, {"HDMI-1"}}};
    return state;
}

// As mutter 48 reports it: DP-1 offers BT.2100, with a default luminance
// of 80 % there; HDMI-1 is dimmed to half; eDP-1 is on, with a backlight.
State modern()
{
    State state = threeMonitors();
    state.monitors[0].colorMode = state.monitors[1].colorMode = state.monitors[2].colorMode = 0;
    state.monitors[0].colorModes = {0, 1};
    state.monitors[1].colorModes = state.monitors[2].colorModes = {0};
    state.monitors[2].modes[0].current = true;
    state.logical.append({4480, 0, 1, 0, false, {"eDP-1"}});
    state.luminance = QList<LuminanceState>{{"DP-1", 0, 100, 100, true},
                                            {"DP-1", 1, 80, 80, true},
                                            {"HDMI-1", 0, 50, 100, false},
                                            {"eDP-1", 0, 100, 100, true}};
    state.backlight = QList<BacklightState>{{"eDP-1", true, 0, 255, 51}};
    return state;
}

// Mutter 48 with its feature "variable-refresh-rate": DP-1 lists a
// variable twin of its 2560x1440 mode (in it where variable is given);
// HDMI-1 reports underscanning, on where underscanning is given.
State varying(bool variable = false, bool underscanning = false)
{
    State state = modern();
    ModeState twin = state.monitors[0].modes[0];
    twin.id = "2560x1440@60+vrr";
    twin.variable = true;
    twin.preferred = false;
    twin.current = variable;
    state.monitors[0].modes[0].current = !variable;
    state.monitors[0].modes.append(twin);
    state.monitors[1].underscanning = underscanning;
    return state;
}

// DP-1 in BT.2100, at 40 of its 80 %.
State modernHdr()
{
    State state = modern();
    state.monitors[0].colorMode = 1;
    (*state.luminance)[1] = {"DP-1", 1, 40, 80, false};
    return state;
}

// eDP-1, off, for which mutter prefers 2.
State preferringTwo()
{
    State state = threeMonitors();
    state.monitors[2].modes[0].preferredScale = 2;
    return state;
}

// What the record keeps of eDP-1: its mode, turned right, below DP-1.
Dispor::RememberedOutputs panelRecord()
{
    QString uuid;
    for (const Output::Data &d : describe(threeMonitors(), 0)) {
        if (d.name == u"eDP-1")
            uuid = d.uuid;
    }
    return {{"eDP-1", {uuid, "1920x1200@60", {1920, 1200}, 60, 1, Output::Rotation::Right, {0, 1440}}}};
}

// HDMI-1 mirrors DP-1, both in 1920x1080.
State mirrored()
{
    State state = threeMonitors();
    state.monitors[0].modes[0].current = false;
    state.monitors[0].modes[1].current = true;
    state.logical = {{0, 0, 1, 0, true, {"DP-1", "HDMI-1"}}};
    return state;
}

Dispor::ConfigPtr fetched(const State &state, const Dispor::RememberedOutputs &records = {})
{
    Dispor::OutputList list;
    Dispor::ConfigOrigin origin;
    for (const Output::Data &d : describe(state, 0, records)) {
        origin.fetched.insert(d.id, d);
        list.insert(d.id, Dispor::OutputPtr::create(d));
    }
    auto config = Dispor::ConfigPtr::create(list);
    originOf(*config) = origin;
    return config;
}

Dispor::OutputPtr named(const Dispor::ConfigPtr &config, const QString &name)
{
    for (const Dispor::OutputPtr &output : config->outputs()) {
        if (output->name() == name)
            return output;
    }
    ADD_FAILURE() << "no output " << name.toStdString();
    return Dispor::OutputPtr::create(Output::Data{});
}

// "x,y scale transform [primary] connector:mode …" per logical monitor.
std::string text(const QList<LogicalSetting> &settings)
{
    QString all;
    for (const LogicalSetting &l : settings) {
        all += QString("%1,%2 %3 %4%5")
                   .arg(l.x)
                   .arg(l.y)
                   .arg(l.scale, 0, 'g', 16)
                   .arg(l.transform)
                   .arg(l.primary ? " primary" : "");
        for (const MonitorSetting &m : l.monitors)
            all += u' ' + m.connector + u':' + m.mode +
                   (m.underscanning ? (*m.underscanning ? "+u" : "-u") : "") +
                   (m.colorMode ? u"+c"_qs + QString::number(*m.colorMode) : QString());
        all += u'\n';
    }
    return all.toStdString();
}

// The logical monitors, then "luminance CONNECTOR MODE PERCENT|default" and
// "backlight CONNECTOR VALUE" lines.
std::string text(const Plan &plan)
{
    std::string all = plan.layout ? text(plan.logical) : "";
    for (const LuminanceSetting &l : plan.luminance) {
        all += "luminance " + l.connector.toStdString() + ' ' + std::to_string(l.colorMode) + ' ' +
               (l.luminance ? QString::number(*l.luminance).toStdString() : "default") + '\n';
    }
    for (const BacklightSetting &b : plan.backlight)
        all += "backlight " + b.connector.toStdString() + ' ' + std::to_string(b.value) + '\n';
    return all;
}

TEST(GnomeModel, Describe)
{
    State state = threeMonitors();
    const QMap<int, Output::Data> outputs = describe(state, 3);
    ASSERT_EQ(outputs.size(), 3);
    // Ids follow the connector, whatever the order.
    std::reverse(state.monitors.begin(), state.monitors.end());
    EXPECT_EQ(describe(state, 3).keys(), outputs.keys());
    QMap<QString, Output::Data> byName;
    for (const Output::Data &d : outputs)
        byName.insert(d.name, d);
    const Output::Data &dp = byName["DP-1"], &hdmi = byName["HDMI-1"], &edp = byName["eDP-1"];
    EXPECT_EQ(dp.type, Output::Type::DisplayPort);
    EXPECT_EQ(hdmi.type, Output::Type::HDMI);
    EXPECT_EQ(edp.type, Output::Type::Panel);
    EXPECT_EQ(dp.priority, 1u);
    EXPECT_EQ(hdmi.priority, 2u);
    EXPECT_EQ(edp.priority, 0u);
    EXPECT_FALSE(edp.enabled);
    EXPECT_EQ(edp.currentModeId, "");
    EXPECT_EQ(edp.preferredModeId, "1920x1200@60");
    EXPECT_EQ(hdmi.pos, QPoint(2560, 0));
    EXPECT_EQ(dp.currentModeId, "2560x1440@60");
    EXPECT_EQ(dp.sizing, Output::Data::Sizing::Unscaled);
    EXPECT_EQ(dp.dpms, Output::DpmsMode::Off);
    EXPECT_EQ(dp.capabilities, Output::Capabilities(Output::Capability::Disable));

    // Identical monitors keep distinct uuids; a mirror names its source.
    State twins = threeMonitors();
    twins.monitors[1].vendor = "DEL";
    twins.monitors[1].product = "U2720";
    twins.monitors[1].serial = "ABC";
    twins.logical = {{0, 0, 1, 1, true, {"HDMI-1", "DP-1"}}};
    twins.layoutMode = 1;
    const QMap<int, Output::Data> mirrored = describe(twins, 0);
    QMap<QString, Output::Data> twin;
    for (const Output::Data &d : mirrored)
        twin.insert(d.name, d);
    EXPECT_NE(twin["DP-1"].uuid, twin["HDMI-1"].uuid);
    EXPECT_EQ(twin["DP-1"].uuid.size(), 36);
    // The monitor's identity as mutter gives it.
    EXPECT_EQ((QStringList{twin["HDMI-1"].make, twin["HDMI-1"].model, twin["HDMI-1"].serialNumber}),
              (QStringList{"DEL", "U2720", "ABC"}));
    EXPECT_EQ(twin["DP-1"].replicationSource, twin["HDMI-1"].id);
    EXPECT_EQ(twin["HDMI-1"].replicationSource, 0);
    EXPECT_EQ(twin["HDMI-1"].priority, 1u);
    EXPECT_EQ(twin["DP-1"].rotation, Output::Rotation::Left);
    EXPECT_EQ(twin["DP-1"].sizing, Output::Data::Sizing::Rounded);
}

// A disabled monitor is what the record kept for it, while it is still its
// monitor's and its mode is offered; else its place and shape are unknown.
TEST(GnomeModel, DescribeWhatADisabledMonitorHad)
{
    using Rotation = Output::Rotation;
    const struct {
        const char *name;
        std::function<void(Dispor::Remembered &)> edit;
        bool known;
        double scale;
        Rotation rotation;
        QPoint pos;
    } cases[] = {
        {"kept", [](auto &) {}, true, 1, Rotation::Right, {0, 1440}},
        {"a scale no longer listed: mutter's preferred",
         [](auto &r) { r.scale = 1.5; },
         true,
         2,
         Rotation::Right,
         {0, 1440}},
        {"another monitor's", [](auto &r) { r.uuid = "another"; }, false, 1, Rotation::None, {}},
        {"a mode no longer offered",
         [](auto &r) {
             r.modeSize = {1024, 768};
         },
         false,
         1,
         Rotation::None,
         {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Dispor::RememberedOutputs records = panelRecord();
        c.edit(records["eDP-1"]);
        for (const Output::Data &d : describe(preferringTwo(), 0, records)) {
            if (d.name != u"eDP-1")
                continue;
            EXPECT_EQ(d.placementKnown, c.known);
            EXPECT_EQ(d.currentModeId, c.known ? "1920x1200@60" : "");
            EXPECT_EQ(d.scale, c.scale);
            EXPECT_EQ(d.rotation, c.rotation);
            EXPECT_EQ(d.pos, c.pos);
        }
    }
}

// HDR and WCG are BT.2100; the backlight is the brightness, the luminance
// of the current colour mode relative to its default the dimming.
TEST(GnomeModel, DescribeColourAndLevels)
{
    using Cap = Output::Capability;
    const struct {
        const char *name;
        State (*state)();
        const char *connector;
        Output::Capabilities capabilities;
        bool hdr;
        double brightness, dimming;
        Output::VrrPolicy vrr = Output::VrrPolicy::Never;
        uint32_t overscan = 0;
    } cases[] = {
        {"BT.2100 offered", modern, "DP-1",
         Cap::Disable | Cap::HighDynamicRange | Cap::WideColorGamut | Cap::BrightnessControl, false, 1, 1},
        {"in BT.2100", modernHdr, "DP-1",
         Cap::Disable | Cap::HighDynamicRange | Cap::WideColorGamut | Cap::BrightnessControl, true, 1, 0.5},
        {"dimmed, underscanning offered", modern, "HDMI-1",
         Cap::Disable | Cap::BrightnessControl | Cap::Overscan, false, 1, 0.5},
        {"a backlight", modern, "eDP-1", Cap::Disable | Cap::BrightnessControl, false, 0.2, 1},
        {"mutter 43", threeMonitors, "DP-1", Cap::Disable, false, 1, 1},
        {"levels further apart than INT_MAX",
         [] {
             State state = modern();
             state.backlight = QList<BacklightState>{{"eDP-1", true, INT_MIN, INT_MAX, 0}};
             return state;
         },
         "eDP-1", Cap::Disable | Cap::BrightnessControl, false, 2147483648.0 / 4294967295.0, 1},
        {"a luminance that is no number",
         [] {
             State state = modern();
             (*state.luminance)[0].luminance = std::nan("");
             return state;
         },
         "DP-1", Cap::Disable | Cap::HighDynamicRange | Cap::WideColorGamut | Cap::BrightnessControl, false,
         1, 1},
        // VRR is the current mode's; underscanning on is mutter's 5 %.
        {"a variable mode offered", [] { return varying(); }, "DP-1",
         Cap::Disable | Cap::HighDynamicRange | Cap::WideColorGamut | Cap::BrightnessControl | Cap::Vrr,
         false, 1, 1},
        {"in the variable mode", [] { return varying(true); }, "DP-1",
         Cap::Disable | Cap::HighDynamicRange | Cap::WideColorGamut | Cap::BrightnessControl | Cap::Vrr,
         false, 1, 1, Output::VrrPolicy::Always},
        {"underscanning", [] { return varying(false, true); }, "HDMI-1",
         Cap::Disable | Cap::BrightnessControl | Cap::Overscan, false, 1, 0.5, Output::VrrPolicy::Never, 5},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        for (const Output::Data &d : describe(c.state(), 0)) {
            if (d.name != c.connector)
                continue;
            EXPECT_EQ(d.capabilities, c.capabilities);
            EXPECT_EQ(d.hdrEnabled, c.hdr);
            EXPECT_EQ(d.wcgEnabled, c.hdr);
            EXPECT_DOUBLE_EQ(d.brightness, c.brightness);
            EXPECT_DOUBLE_EQ(d.dimming, c.dimming);
            EXPECT_EQ(d.vrrPolicy, c.vrr);
            EXPECT_EQ(d.overscan, c.overscan);
        }
    }
    // The manual's table of what mutter carries offers what a monitor with
    // everything gets, on each of the two.
    for (const Dispor::Reach::Server &server : Dispor::Reach::servers()) {
        if (server.family != Dispor::Reach::Family::Mutter)
            continue;
        EXPECT_EQ(Dispor::Reach::offered(server),
                  std::string_view(server.title) == "mutter 43"
                      // a panel's kernel backlight, which the library grants
                      ? cases[4].capabilities | Cap::Overscan | Cap::BrightnessControl
                      : cases[7].capabilities | Cap::Overscan)
            << server.title;
    }
}

// Mutter names each monitor once; a connector listed twice is described
// once, as its first listing, which is also the one a plan looks up.
TEST(GnomeModel, ARepeatedConnectorIsDescribedOnce)
{
    State state = modern();
    const qsizetype monitors = state.monitors.size();
    state.monitors.append(state.monitors[0]);
    state.monitors.last().modes.clear();
    const auto outputs = describe(state, 0);
    EXPECT_EQ(outputs.size(), monitors);
    for (const Output::Data &d : outputs) {
        if (d.name == u"DP-1") {
            EXPECT_FALSE(d.modes.isEmpty());
        }
    }
}

TEST(GnomeModel, IdsStayApartAndInRange)
{
    QStringList names;
    for (int i = 0; i < 300; ++i)
        names.append("DP-" + QString::number(i));
    const QMap<QString, int> ids = assignIds(names);
    QSet<int> seen;
    for (const int id : ids) {
        EXPECT_GE(id, 1);
        EXPECT_LE(id, 32768);
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 300);
}

TEST(GnomeModel, ListedScales)
{
    const QList<double> listed = {1, 1.25, 1.495327115058899, 1.75, 2, 2.307692289352417};
    const struct {
        double wanted;
        std::optional<double> scale;
    } cases[] = {// A quarter step, and a listed scale as printed, mean mutter's.
                 {1.5, 1.495327115058899},
                 {1.495327115058899, 1.495327115058899},
                 {1.49533, 1.495327115058899},
                 {1.4953, 1.495327115058899},
                 {2, 2},
                 {2.25, 2.307692289352417},
                 // Anything else is no scale of mutter's, however near.
                 {1.99, std::nullopt},
                 {2.01, std::nullopt},
                 {1.98, std::nullopt},
                 {1.26, std::nullopt},
                 {1.4952, std::nullopt},
                 {1.1, std::nullopt},
                 {1.3, std::nullopt},
                 {3, std::nullopt}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.wanted);
        EXPECT_EQ(listedScale(c.wanted, listed), c.scale);
    }
    EXPECT_EQ(listedScale(1, {}), std::nullopt);
}

TEST(GnomeModel, Plans)
{
    using Edit = std::function<void(const Dispor::ConfigPtr &)>;
    // Of two outputs after the primary, mutter ranks the lower id first.
    const QMap<QString, int> ids = assignIds({"HDMI-1", "eDP-1"});
    const QString later = ids["HDMI-1"] > ids["eDP-1"] ? "HDMI-1" : "eDP-1";
    const std::string mirrorRefused = "HDMI-1 mirrors DP-1: change DP-1, or end the mirror first";
    // modern()'s three monitors, DP-1 in the colour mode given.
    const auto modernLayout = [](int dp) {
        return "0,0 1 0 primary DP-1:2560x1440@60+c" + std::to_string(dp) +
               "\n2560,0 1 0 HDMI-1:1920x1080@60-u+c0\n4480,0 1 0 eDP-1:1920x1200@60+c0\n";
    };
    const struct {
        const char *what;
        Edit edit;
        std::string settings; // empty: refused with error
        std::string error;
        uint32_t layoutMode = 2;
        State (*state)() = threeMonitors;
        Dispor::RememberedOutputs (*records)() = [] { return Dispor::RememberedOutputs(); };
    } cases[] = {
        {"nothing", [](const auto &) {}, "", ""},
        {"moved below, kept at the origin",
         [](const auto &c) {
             named(c, "HDMI-1")->setPos({-100, 1440});
         },
         "100,0 1 0 primary DP-1:2560x1440@60\n0,1440 1 0 HDMI-1:1920x1080@60-u\n", ""},
        {"a layout wider than the coordinates",
         [](const auto &c) {
             named(c, "DP-1")->setPos({-2000000000, 0});
             named(c, "HDMI-1")->setPos({2000000000, 0});
         },
         "", "the layout would not fit the coordinate range"},
        {"150 % is mutter's 1.4953…", [](const auto &c) { named(c, "DP-1")->setScale(1.5); },
         "0,0 1.495327115058899 0 primary DP-1:2560x1440@60\n2560,0 1 0 HDMI-1:1920x1080@60-u\n", ""},
        {"in logical layout, the others follow the size of mutter's scale",
         [](const auto &c) {
             named(c, "DP-1")->setScale(1.5);
             named(c, "HDMI-1")->setPos({1707, 0}); // 2560 / 1.5, as laid out for the scale asked for
         },
         "0,0 1.495327115058899 0 primary DP-1:2560x1440@60\n1712,0 1 0 HDMI-1:1920x1080@60-u\n", "", 1},
        {"a scale mutter does not list", [](const auto &c) { named(c, "HDMI-1")->setScale(1.5); }, "",
         "HDMI-1: mutter offers the scales 1, 2 for 1920x1080@60, not 1.5; fractional scales need mutter's "
         "experimental feature \"scale-monitor-framebuffer\", which is off"},
        {"a whole scale mutter does not list", [](const auto &c) { named(c, "HDMI-1")->setScale(3); }, "",
         "HDMI-1: mutter offers the scales 1, 2 for 1920x1080@60, not 3"},
        {"rotated and primary",
         [](const auto &c) {
             named(c, "HDMI-1")->setRotation(Output::Rotation::Right);
             c->setOutputPriority(named(c, "HDMI-1"), 1);
         },
         "0,0 1 0 DP-1:2560x1440@60\n2560,0 1 3 primary HDMI-1:1920x1080@60-u\n", ""},
        {"no transform 8", [](const auto &c) { named(c, "HDMI-1")->setRotation(Output::Rotation(3)); }, "",
         "HDMI-1: the rotation 3 is not a rotation"},
        {"switched on right of the others, in its preferred mode",
         [](const auto &c) { named(c, "eDP-1")->setEnabled(true); },
         "0,0 1 0 primary DP-1:2560x1440@60\n2560,0 1 0 HDMI-1:1920x1080@60-u\n4480,0 1 0 "
         "eDP-1:1920x1200@60\n",
         ""},
        // Mutter forgets a disabled monitor's shape: what the record kept,
        // else what mutter prefers.
        {"switched on unknown: its preferred mode, at mutter's preferred scale",
         [](const auto &c) { named(c, "eDP-1")->setEnabled(true); },
         "0,0 1 0 primary DP-1:2560x1440@60\n2560,0 1 0 HDMI-1:1920x1080@60-u\n4480,0 2 0 "
         "eDP-1:1920x1200@60\n",
         "", 2, preferringTwo},
        {"switched on as it was kept", [](const auto &c) { named(c, "eDP-1")->setEnabled(true); },
         "0,0 1 0 primary DP-1:2560x1440@60\n2560,0 1 0 HDMI-1:1920x1080@60-u\n0,1440 1 3 "
         "eDP-1:1920x1200@60\n",
         "", 2, preferringTwo, panelRecord},
        {"the primary switched off hands it on",
         [](const auto &c) {
             named(c, "DP-1")->setEnabled(false);
             named(c, "HDMI-1")->setPos({0, 0});
         },
         "0,0 1 0 primary HDMI-1:1920x1080@60-u\n", ""},
        {"the last one off",
         [](const auto &c) {
             named(c, "DP-1")->setEnabled(false);
             named(c, "HDMI-1")->setEnabled(false);
         },
         "", "DP-1: disabling it leaves no connected output enabled"},
        {"a mirror in the source's mode size",
         [](const auto &c) { named(c, "DP-1")->setReplicationSource(named(c, "HDMI-1")->id()); },
         "0,0 1 0 primary HDMI-1:1920x1080@60-u DP-1:1920x1080@60\n", ""},
        {"no mode of the source's size",
         [](const auto &c) {
             named(c, "HDMI-1")->setCurrentModeId("1280x720@60");
             named(c, "DP-1")->setReplicationSource(named(c, "HDMI-1")->id());
         },
         "", "DP-1: cannot mirror HDMI-1: the output has no mode of 1280x720"},
        // A replica's own scale, rotation, mode size or rank would be taken
        // back by its source's.
        {"a replica's scale", [](const auto &c) { named(c, "HDMI-1")->setScale(2); }, "", mirrorRefused, 2,
         mirrored},
        {"a replica's rotation",
         [](const auto &c) { named(c, "HDMI-1")->setRotation(Output::Rotation::Left); }, "", mirrorRefused, 2,
         mirrored},
        {"a replica's mode size", [](const auto &c) { named(c, "HDMI-1")->setCurrentModeId("1280x720@60"); },
         "", mirrorRefused, 2, mirrored},
        {"a replica made primary", [](const auto &c) { c->setOutputPriority(named(c, "HDMI-1"), 1); }, "",
         mirrorRefused, 2, mirrored},
        {"the source's rotation turns its mirror",
         [](const auto &c) { named(c, "DP-1")->setRotation(Output::Rotation::Left); },
         "0,0 1 1 primary DP-1:1920x1080@60 HDMI-1:1920x1080@60-u\n", "", 2, mirrored},
        {"an unknown mode", [](const auto &c) { named(c, "DP-1")->setCurrentModeId("800x600@60"); }, "",
         "DP-1: the mode \"800x600@60\" is not one of the output's modes"},
        {"a second rank mutter does not keep",
         [&](const auto &c) {
             named(c, "eDP-1")->setEnabled(true);
             c->setOutputPriority(named(c, later), 2);
         },
         "",
         later.toStdString() +
             ": cannot change the priority: mutter keeps one primary output and ranks the others by id"},
        {"HDR", [](const auto &c) { named(c, "DP-1")->setHdrEnabled(true); }, "",
         "DP-1: cannot change HDR: the output has no HDR support"},
        {"brightness", [](const auto &c) { named(c, "DP-1")->setBrightness(0.5); }, "",
         "DP-1: cannot change the brightness: the output has no brightness control"},
        {"colour/power",
         [](const auto &c) {
             named(c, "DP-1")->setColorPowerPreference(Output::ColorPowerTradeoff::PreferAccuracy);
         },
         "", "DP-1: cannot change the colour/power trade-off: mutter has no colour/power setting"},
        {"no luminance in mutter 43", [](const auto &c) { named(c, "DP-1")->setDimming(0.5); }, "",
         "DP-1: cannot change the dimming: the output has no brightness control"},
        // Every monitor keeps its colour mode: left out, mutter would reset it.
        {"HDR on: BT.2100", [](const auto &c) { named(c, "DP-1")->setHdrEnabled(true); }, modernLayout(1), "",
         2, modern},
        {"WCG on: the same mode", [](const auto &c) { named(c, "DP-1")->setWcgEnabled(true); },
         modernLayout(1), "", 2, modern},
        {"both on",
         [](const auto &c) {
             named(c, "DP-1")->setHdrEnabled(true);
             named(c, "DP-1")->setWcgEnabled(true);
         },
         modernLayout(1), "", 2, modern},
        {"WCG off ends HDR too", [](const auto &c) { named(c, "DP-1")->setWcgEnabled(false); },
         modernLayout(0), "", 2, modernHdr},
        {"kept in BT.2100 while moved",
         [](const auto &c) { named(c, "eDP-1")->setRotation(Output::Rotation::Inverted); },
         "0,0 1 0 primary DP-1:2560x1440@60+c1\n2560,0 1 0 HDMI-1:1920x1080@60-u+c0\n4480,0 1 2 "
         "eDP-1:1920x1200@60+c0\n",
         "", 2, modernHdr},
        {"no BT.2100 offered", [](const auto &c) { named(c, "HDMI-1")->setHdrEnabled(true); }, "",
         "HDMI-1: cannot change HDR: mutter offers the colour modes default for the output, not BT.2100", 2,
         modern},
        {"no SDR brightness of mutter's", [](const auto &c) { named(c, "DP-1")->setSdrBrightness(300); }, "",
         "DP-1: cannot change the SDR brightness: mutter has no such setting", 2, modern},
        // Levels go by calls of their own, without a layout.
        {"dimming: the luminance of the current mode",
         [](const auto &c) { named(c, "DP-1")->setDimming(0.4); }, "luminance DP-1 0 40\n", "", 2, modern},
        {"dimming with HDR switched on: BT.2100's",
         [](const auto &c) {
             named(c, "DP-1")->setHdrEnabled(true);
             named(c, "DP-1")->setDimming(0.25);
         },
         modernLayout(1) + "luminance DP-1 1 20\n", "", 2, modern},
        {"undimmed: mutter's default", [](const auto &c) { named(c, "HDMI-1")->setDimming(1); },
         "luminance HDMI-1 0 default\n", "", 2, modern},
        {"dimming beyond 100 %", [](const auto &c) { named(c, "DP-1")->setDimming(1.5); }, "",
         "DP-1: the dimming cannot be 1.5: the output allows 0 to 1", 2, modern},
        {"brightness: the backlight", [](const auto &c) { named(c, "eDP-1")->setBrightness(0.5); },
         "backlight eDP-1 128\n", "", 2, modern},
        {"no backlight", [](const auto &c) { named(c, "DP-1")->setBrightness(0.5); }, "",
         "DP-1: cannot change the brightness: mutter has no backlight for the output", 2, modern},
        // VRR by the mode's twin; underscanning on or off.
        {"VRR always: the variable twin",
         [](const auto &c) { named(c, "DP-1")->setVrrPolicy(Output::VrrPolicy::Always); },
         "0,0 1 0 primary DP-1:2560x1440@60+vrr+c0\n2560,0 1 0 HDMI-1:1920x1080@60-u+c0\n4480,0 1 0 "
         "eDP-1:1920x1200@60+c0\n",
         "", 2, [] { return varying(); }},
        {"VRR never: the fixed twin",
         [](const auto &c) { named(c, "DP-1")->setVrrPolicy(Output::VrrPolicy::Never); }, modernLayout(0), "",
         2, [] { return varying(true); }},
        {"no automatic VRR of mutter's",
         [](const auto &c) { named(c, "DP-1")->setVrrPolicy(Output::VrrPolicy::Automatic); }, "",
         "DP-1: cannot change the VRR policy: mutter switches VRR with the mode, always or never, and has no "
         "automatic policy",
         2, [] { return varying(); }},
        {"a new mode without a variable twin",
         [](const auto &c) {
             named(c, "DP-1")->setCurrentModeId("1920x1080@60");
             named(c, "DP-1")->setVrrPolicy(Output::VrrPolicy::Always);
         },
         "",
         "DP-1: cannot change the VRR policy: mutter lists no variable-rate twin of the mode 1920x1080@60", 2,
         [] { return varying(); }},
        {"no variable modes",
         [](const auto &c) { named(c, "HDMI-1")->setVrrPolicy(Output::VrrPolicy::Always); }, "",
         "HDMI-1: cannot change the VRR policy: the output has no VRR support", 2, [] { return varying(); }},
        {"underscanning on", [](const auto &c) { named(c, "HDMI-1")->setOverscan(5); },
         "0,0 1 0 primary DP-1:2560x1440@60+c0\n2560,0 1 0 HDMI-1:1920x1080@60+u+c0\n4480,0 1 0 "
         "eDP-1:1920x1200@60+c0\n",
         "", 2, [] { return varying(); }},
        {"underscanning off", [](const auto &c) { named(c, "HDMI-1")->setOverscan(0); }, modernLayout(0), "",
         2, [] { return varying(false, true); }},
        {"an overscan mutter cannot keep", [](const auto &c) { named(c, "HDMI-1")->setOverscan(10); }, "",
         "HDMI-1: cannot change the overscan: mutter underscans by 5 % or not at all: 0 switches it off, 5 "
         "on",
         2, [] { return varying(); }},
        {"no underscanning", [](const auto &c) { named(c, "DP-1")->setOverscan(5); }, "",
         "DP-1: cannot change the overscan: the output has no overscan control", 2, [] { return varying(); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        State state = c.state();
        state.layoutMode = c.layoutMode;
        const Dispor::ConfigPtr config = fetched(state, c.records());
        c.edit(config);
        Plan sent;
        QString reason;
        const bool planned = plan(*config, state, &sent, &reason, c.records());
        EXPECT_EQ(reason.toStdString(), c.error);
        EXPECT_EQ(planned, c.error.empty());
        if (planned) {
            EXPECT_EQ(text(sent), c.settings);
            EXPECT_EQ(sent.changes(), !c.settings.empty());
        }
    }
}

// The logical monitors sent against what GetCurrentState reports afterwards.
TEST(GnomeModel, ReadBackNamesWhatMutterDoesNotHold)
{
    const State held = threeMonitors();
    const auto logical = [](int x, double scale, bool primary, QList<MonitorSetting> monitors) {
        return LogicalSetting{x, 0, scale, 0, primary, std::move(monitors)};
    };
    const QList<LogicalSetting> asHeld = {
        logical(0, 1, true, {{"DP-1", "2560x1440@60", std::nullopt, std::nullopt}}),
        logical(2560, 1, false, {{"HDMI-1", "1920x1080@60", false, std::nullopt}})};
    struct Case {
        const char *name;
        QList<LogicalSetting> sent;
        QStringList lines;
    };
    const std::vector<Case> cases = {
        {"all held", asHeld, {}},
        {"a scale as the bus rounds it",
         {logical(0, 1 + 1e-9, true, {{"DP-1", "2560x1440@60", std::nullopt, std::nullopt}}), asHeld[1]},
         {}},
        {"moved by mutter's layout rules",
         {asHeld[0], logical(2000, 1, false, {{"HDMI-1", "1920x1080@60", false, std::nullopt}})},
         {u"HDMI-1: mutter accepted the position \"2000,0\" but keeps \"2560,0\""_qs}},
        {"another mode and scale",
         {logical(0, 2, true, {{"DP-1", "1920x1080@60", std::nullopt, std::nullopt}}), asHeld[1]},
         {u"DP-1: mutter accepted the mode \"1920x1080@60\" but keeps \"2560x1440@60\"; mutter accepted the "
          "scale \"2\" but keeps \"1\""_qs}},
        {"primary elsewhere",
         {logical(0, 1, false, {{"DP-1", "2560x1440@60", std::nullopt, std::nullopt}}),
          logical(2560, 1, true, {{"HDMI-1", "1920x1080@60", false, std::nullopt}})},
         {u"DP-1: mutter accepted the priority \"secondary\" but keeps \"primary\""_qs,
          u"HDMI-1: mutter accepted the priority \"primary\" but keeps \"secondary\""_qs}},
        {"switched on, kept off",
         {asHeld[0], asHeld[1],
          logical(4480, 1, false, {{"eDP-1", "1920x1200@60", std::nullopt, std::nullopt}})},
         {u"eDP-1: mutter accepted enabling the output but keeps it disabled"_qs}},
        {"switched off, kept on",
         {asHeld[0]},
         {u"HDMI-1: mutter accepted disabling the output but keeps it enabled"_qs}},
        {"underscanning not taken",
         {asHeld[0], logical(2560, 1, false, {{"HDMI-1", "1920x1080@60", true, std::nullopt}})},
         {u"HDMI-1: mutter accepted the overscan \"on\" but keeps \"off\""_qs}},
        {"mirrored, kept apart",
         {logical(0, 1, true,
                  {{"DP-1", "2560x1440@60", std::nullopt, std::nullopt},
                   {"HDMI-1", "1920x1080@60", false, std::nullopt}})},
         {u"HDMI-1: mutter accepted mirroring \"DP-1\" but keeps \"none\""_qs}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(notHeld(Plan{true, c.sent, {}, {}}, held), c.lines);
    }

    // Colour modes and levels, against modern().
    const State now = modern();
    const QList<LogicalSetting> layout = {
        logical(0, 1, true, {{"DP-1", "2560x1440@60", std::nullopt, 1}}),
        logical(2560, 1, false, {{"HDMI-1", "1920x1080@60", false, 0}}),
        logical(4480, 1, false, {{"eDP-1", "1920x1200@60", std::nullopt, 0}})};
    const struct {
        const char *name;
        Plan sent;
        QStringList lines;
    } levels[] = {
        {"BT.2100 not taken",
         {true, layout, {}, {}},
         {u"DP-1: mutter accepted HDR \"BT.2100\" but keeps \"default\""_qs}},
        {"levels held", {false, {}, {{"HDMI-1", 0, 50}, {"DP-1", 0, std::nullopt}}, {{"eDP-1", 51}}}, {}},
        {"levels not held",
         {false, {}, {{"HDMI-1", 0, 40}, {"DP-1", 0, 70}, {"eDP-1", 1, std::nullopt}}, {{"eDP-1", 128}}},
         {u"DP-1: mutter accepted the dimming \"70%\" but keeps \"100%\""_qs,
          u"HDMI-1: mutter accepted the dimming \"40%\" but keeps \"50%\""_qs,
          u"eDP-1: mutter accepted the dimming \"default\" but keeps \"none\"; mutter accepted the "
          u"brightness "
          "\"128\" but keeps \"51\""_qs}},
    };
    for (const auto &c : levels) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(notHeld(c.sent, now), c.lines);
    }
}

// After a failure, what was sent goes back as it was read before: the
// logical monitors whole, and only the levels that were sent.
TEST(GnomeModel, SetBack)
{
    const Plan sent{true, {}, {{"HDMI-1", 0, 40}, {"DP-1", 1, 20}}, {{"eDP-1", 128}}};
    EXPECT_EQ(text(setBack(modern(), sent)),
              "0,0 1 0 primary DP-1:2560x1440@60+c0\n2560,0 1 0 HDMI-1:1920x1080@60-u+c0\n4480,0 1 0 "
              "eDP-1:1920x1200@60+c0\nluminance HDMI-1 0 50\nluminance DP-1 1 default\nbacklight eDP-1 51\n");
    EXPECT_EQ(text(setBack(modern(), Plan{false, {}, {{"HDMI-1", 0, 40}}, {}})), "luminance HDMI-1 0 50\n");
    EXPECT_EQ(
        holding(mirrored()).toStdString(),
        "DP-1 in 1920x1080@60 at 0,0, scale 1, rotation normal, primary; HDMI-1 mirroring DP-1; eDP-1 off");
}

} // namespace
