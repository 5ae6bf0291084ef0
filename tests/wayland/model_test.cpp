// The backend's own rules, without a compositor: ids, uuids, connector
// types, rotations, and the configuration an apply sends.

#include "../../dispor/src/naming.h"
#include "../../dispor/src/reach.h"
#include "../../dispor/src/remembered.h"
#include "../../dispor/src/wayland/model.h"
#include "../../dispor/src/wayland/readback.h"

#include <gtest/gtest.h>

#include <QSet>

#include <functional>
#include <tuple>

namespace {

using namespace Dispor::Wayland;
using Dispor::Output;

TEST(WaylandModel, IdsFollowNamesWhateverTheOrder)
{
    // Find two names whose ids would collide, so that the tie rule is tested.
    QStringList names;
    QMap<int, QString> seen;
    QString first, second;
    for (int i = 0; second.isEmpty(); ++i) {
        const QString name = "X-" + QString::number(i);
        const int id = assignIds({name}).value(name);
        ASSERT_GE(id, 1);
        ASSERT_LE(id, 32768);
        if (seen.contains(id)) {
            first = seen.value(id);
            second = name;
        }
        seen.insert(id, name);
    }
    const QStringList some = {second, "DP-1", first, "HDMI-A-1"};
    const QMap<QString, int> ids = assignIds(some);
    EXPECT_EQ(ids, assignIds({"HDMI-A-1", first, "DP-1", second}));
    EXPECT_EQ(QSet<int>(ids.begin(), ids.end()).size(), 4);
    // Alone, each keeps the id it has among others; of two that collide, the
    // later name takes the next id.
    EXPECT_EQ(assignIds({"DP-1"}).value("DP-1"), ids.value("DP-1"));
    const QString earlier = std::min(first, second);
    const QString later = std::max(first, second);
    EXPECT_EQ(assignIds({earlier}).value(earlier), ids.value(earlier));
    EXPECT_EQ(assignIds({later}).value(later), ids.value(earlier));
    EXPECT_EQ(ids.value(later), ids.value(earlier) % 32768 + 1);
}

HeadState head(const QString &name, const QString &make = {}, const QString &model = {},
               const QString &serial = {})
{
    HeadState head;
    head.name = name;
    head.make = make;
    head.model = model;
    head.serialNumber = serial;
    return head;
}

TEST(WaylandModel, UuidsFromMonitorIdentityElseName)
{
    const HeadState dell = head("DP-1", "Dell", "U2720", "A1");
    const HeadState moved = head("DP-3", "Dell", "U2720", "A1");
    const HeadState bare = head("eDP-1");
    const HeadState twinA = head("HDMI-A-1", "LG", "Flat");
    const HeadState twinB = head("HDMI-A-2", "LG", "Flat");
    const HeadState dellName = head("DP-1");

    const QMap<QString, QString> one = assignUuids({&dell, &bare, &twinA, &twinB});
    // A monitor keeps its uuid on another connector.
    EXPECT_EQ(one.value("DP-1"), assignUuids({&moved}).value("DP-3"));
    EXPECT_NE(one.value("DP-1"), assignUuids({&dellName}).value("DP-1"));
    // Two monitors that tell the same identity: the first by name keeps it,
    // the other adds its name; whatever order the compositor lists them in.
    EXPECT_EQ(one.value("HDMI-A-1"), assignUuids({&twinA}).value("HDMI-A-1"));
    EXPECT_NE(one.value("HDMI-A-1"), one.value("HDMI-A-2"));
    EXPECT_EQ(assignUuids({&twinB, &dell, &twinA}).value("HDMI-A-2"), one.value("HDMI-A-2"));
    EXPECT_EQ(QSet<QString>(one.begin(), one.end()).size(), 4);
    // The identity itself, as the head tells it.
    const Output::Data described = describe({&dell}, 2, {}).first();
    EXPECT_EQ((QStringList{described.make, described.model, described.serialNumber}),
              (QStringList{"Dell", "U2720", "A1"}));
}

TEST(WaylandModel, ConnectorTypes)
{
    const std::pair<const char *, Output::Type> cases[] = {
        {"eDP-1", Output::Type::Panel},       {"LVDS-1", Output::Type::Panel},
        {"DP-2", Output::Type::DisplayPort},  {"HDMI-A-1", Output::Type::HDMI},
        {"DVI-I-1", Output::Type::DVII},      {"DVI-D-2", Output::Type::DVID},
        {"DVI-1", Output::Type::DVI},         {"VGA-1", Output::Type::VGA},
        {"DPI-1", Output::Type::Unknown},     {"HEADLESS-1", Output::Type::Unknown},
        {"Virtual-1", Output::Type::Unknown}, {"DP", Output::Type::DisplayPort},
    };
    for (const auto &[name, type] : cases)
        EXPECT_EQ(Dispor::connectorTypeOfName(name), type) << name;
}

TEST(WaylandModel, RotationsBothWays)
{
    const Output::Rotation rotations[] = {
        Output::Rotation::None,       Output::Rotation::Left,       Output::Rotation::Inverted,
        Output::Rotation::Right,      Output::Rotation::Flipped,    Output::Rotation::Flipped90,
        Output::Rotation::Flipped180, Output::Rotation::Flipped270,
    };
    for (int transform = 0; transform < 8; ++transform) {
        EXPECT_EQ(Dispor::rotationOfTransform(transform), rotations[transform]) << transform;
        EXPECT_EQ(Dispor::transformOfRotation(rotations[transform]), transform) << transform;
    }
    EXPECT_EQ(Dispor::rotationOfTransform(8), Output::Rotation::None);
    EXPECT_EQ(Dispor::transformOfRotation(Output::Rotation(3)), -1);
}

// The heads as a fetch describes them.
Dispor::Config snapshot(const std::vector<const HeadState *> &heads, uint32_t version,
                        const CustomModeLists &lists, const Dispor::RememberedOutputs &remembered = {})
{
    Dispor::OutputList outputs;
    Dispor::ConfigOrigin origin;
    for (const Output::Data &d : describe(heads, version, lists, {}, remembered)) {
        origin.fetched.insert(d.id, d);
        outputs.insert(d.id, Dispor::OutputPtr::create(d));
    }
    Dispor::Config config(outputs);
    originOf(config) = origin;
    return config;
}

// Heads as a compositor of protocol version 4 would tell them.
struct Heads {
    Heads()
    {
        for (const char *name : {"DP-1", "HDMI-A-1"}) {
            auto head = std::make_unique<HeadState>();
            head->name = name;
            head->enabled = true;
            for (int i = 0; i < 2; ++i) {
                auto mode = std::make_unique<ModeState>();
                mode->head = head.get();
                mode->id = QString::number(i + 1);
                mode->width = i ? 1280 : 1920;
                mode->height = i ? 720 : 1080;
                mode->refresh = 60000;
                mode->preferred = i == 0;
                head->modes.push_back(std::move(mode));
            }
            head->currentMode = head->modes.front().get();
            head->adaptiveSync = false;
            all.push_back(std::move(head));
        }
        all[1]->position = {1920, 0};
    }

    std::vector<const HeadState *> list() const
    {
        std::vector<const HeadState *> heads;
        for (const auto &head : all)
            heads.push_back(head.get());
        return heads;
    }

    Dispor::Config fetched(uint32_t version, const CustomModeLists &lists = {}) const
    {
        return snapshot(list(), version, lists);
    }

    std::vector<std::unique_ptr<HeadState>> all;
};

Dispor::OutputPtr named(const Dispor::Config &config, const QString &name)
{
    for (const Dispor::OutputPtr &output : config.outputs()) {
        if (output->name() == name)
            return output;
    }
    return {};
}

// The manual's table of what wlroots carries offers what a head of each
// protocol version is described with: version 2 (wlroots 0.15) and version
// 4 with adaptive sync (0.18).
TEST(WaylandModel, DescribesWhatTheReachTableOffers)
{
    const Heads heads;
    for (const Dispor::Reach::Server &server : Dispor::Reach::servers()) {
        if (server.family != Dispor::Reach::Family::Wlroots)
            continue;
        const uint32_t version = std::string_view(server.title) == "wlroots 0.15" ? 2 : 4;
        // A built-in panel's brightness is the kernel's, which the library grants.
        EXPECT_EQ(describe(heads.list(), version, {}).first().capabilities |
                      Output::Capability::BrightnessControl,
                  Dispor::Reach::offered(server))
            << server.title;
    }
}

TEST(WaylandModel, AdaptiveSyncOnlyFromVersionFour)
{
    const Heads heads;
    EXPECT_FALSE(named(heads.fetched(2), "DP-1")->capabilities() & Output::Capability::Vrr);
    const Dispor::Config config = heads.fetched(4);
    const Dispor::OutputPtr dp = named(config, "DP-1");
    ASSERT_TRUE(dp->capabilities() & Output::Capability::Vrr);
    EXPECT_EQ(dp->vrrPolicy(), Output::VrrPolicy::Never);

    Plan planned;
    QString reason;
    ASSERT_TRUE(plan(config, heads.list(), 4, &planned, &reason));
    ASSERT_EQ(planned.settings.size(), 2);
    EXPECT_EQ(planned.settings[0].adaptiveSync, false);

    dp->setVrrPolicy(Output::VrrPolicy::Automatic);
    EXPECT_FALSE(plan(config, heads.list(), 4, &planned, &reason));
    EXPECT_EQ(reason,
              "DP-1: the compositor switches adaptive sync only on or off, so the VRR policy \"automatic\" "
              "has no equivalent");

    dp->setVrrPolicy(Output::VrrPolicy::Always);
    ASSERT_TRUE(plan(config, heads.list(), 4, &planned, &reason)) << reason.toStdString();
    ASSERT_TRUE(planned.configure);
    ASSERT_EQ(planned.settings.size(), 2);
    EXPECT_EQ(planned.settings[0].head->name, "DP-1");
    EXPECT_EQ(planned.settings[0].adaptiveSync, true);
    EXPECT_EQ(planned.settings[1].adaptiveSync, false);
}

TEST(WaylandModel, EveryHeadIsNamedWithItsSettings)
{
    const Heads heads;
    const Dispor::Config config = heads.fetched(2);
    named(config, "HDMI-A-1")->setCurrentModeId("2");
    named(config, "HDMI-A-1")->setRotation(Output::Rotation::Flipped90);
    named(config, "DP-1")->setEnabled(false);

    Plan planned;
    QString reason;
    ASSERT_TRUE(plan(config, heads.list(), 2, &planned, &reason)) << reason.toStdString();
    ASSERT_EQ(planned.settings.size(), 2);
    EXPECT_FALSE(planned.settings[0].enabled);
    // What it had, to remember before it goes.
    EXPECT_EQ(planned.switchedOff.keys(), QStringList{"DP-1"});
    EXPECT_EQ(planned.switchedOff.value("DP-1").modeSize, QSize(1920, 1080));
    const HeadSetting &hdmi = planned.settings[1];
    EXPECT_TRUE(hdmi.enabled);
    ASSERT_TRUE(hdmi.mode);
    EXPECT_EQ(hdmi.mode->width, 1280);
    EXPECT_FALSE(hdmi.customMode);
    EXPECT_EQ(hdmi.position, QPoint(1920, 0));
    EXPECT_EQ(hdmi.transform, 5);
    EXPECT_FALSE(hdmi.adaptiveSync);

    named(config, "HDMI-A-1")->setCurrentModeId("7");
    EXPECT_FALSE(plan(config, heads.list(), 2, &planned, &reason));
    EXPECT_EQ(reason, "HDMI-A-1: the mode \"7\" is not one of the output's modes");
}

// The library keeps the list; the compositor gets a custom mode only when
// the output switches to one of the modes offered for it.
TEST(WaylandModel, CustomModesAreTheLibrarysList)
{
    const Heads heads;
    const Dispor::ModeInfo added{1600, 900, 59.94f, Dispor::ModeInfo::UserDefined, {}};
    Dispor::Config config = heads.fetched(2);
    named(config, "HDMI-A-1")->setCustomModes({added});
    Plan planned;
    QString reason;
    ASSERT_TRUE(plan(config, heads.list(), 2, &planned, &reason)) << reason.toStdString();
    EXPECT_FALSE(planned.configure);
    EXPECT_EQ(planned.wantedLists, (CustomModeLists{{"HDMI-A-1", {added}}}));
    EXPECT_EQ(planned.fetchedLists, (CustomModeLists{{"HDMI-A-1", {}}}));

    // Fetched with the list: offered under a stable id beside the
    // compositor's modes; choosing it sends its size and rate.
    config = heads.fetched(2, {{"HDMI-A-1", {added}}});
    const Dispor::OutputPtr hdmi = named(config, "HDMI-A-1");
    EXPECT_EQ(hdmi->customModes(), QList<Dispor::ModeInfo>{added});
    EXPECT_EQ(hdmi->modes().keys(), (QStringList{"1", "2", "custom-1600x900@59.94"}));
    hdmi->setCurrentModeId("custom-1600x900@59.94");
    ASSERT_TRUE(plan(config, heads.list(), 2, &planned, &reason)) << reason.toStdString();
    EXPECT_TRUE(planned.configure);
    EXPECT_TRUE(planned.wantedLists.isEmpty());
    ASSERT_TRUE(planned.settings[1].customMode);
    EXPECT_EQ(planned.settings[1].customMode->width, 1600);
    EXPECT_EQ(planned.settings[1].customMode->height, 900);
    EXPECT_EQ(planned.settings[1].customMode->refresh, 59940);
    EXPECT_FALSE(planned.settings[1].mode);

    // Removed from the list: the output keeps the mode it shows.
    hdmi->setCurrentModeId("1");
    hdmi->setCustomModes({});
    ASSERT_TRUE(plan(config, heads.list(), 2, &planned, &reason)) << reason.toStdString();
    EXPECT_FALSE(planned.configure);
    EXPECT_EQ(planned.wantedLists, (CustomModeLists{{"HDMI-A-1", {}}}));

    const std::pair<Dispor::ModeInfo, QString> refused[] = {
        {{1920, 1080, 60, 1, Dispor::ModeTimings{}},
         "HDMI-A-1: the compositor takes a custom mode as a size and refresh rate; explicit timings cannot "
         "be given"},
        {{0, 1080, 60, 1, {}}, "HDMI-A-1: the custom mode 0x1080@60 is out of range"},
        {{1920, 1080, -1, 1, {}}, "HDMI-A-1: the custom mode 1920x1080@-1 is out of range"},
    };
    for (const auto &[mode, why] : refused) {
        hdmi->setCustomModes({added, mode});
        EXPECT_FALSE(plan(config, heads.list(), 2, &planned, &reason));
        EXPECT_EQ(reason, why);
    }
}

TEST(WaylandModel, CustomModeDocument)
{
    const CustomModeLists lists = {
        {"DP-1", {{1920, 1080, 59.94f, 1, {}}, {1280, 720, 50, 1, {}}}},
        {"HDMI-A-1", {{1024, 768, 75.025f, 1, {}}}},
        {"eDP-1", {}},
    };
    CustomModeLists read;
    QString fault;
    ASSERT_TRUE(parseCustomModes(customModesDocument(lists), &read, &fault)) << fault.toStdString();
    CustomModeLists kept = lists;
    kept.remove("eDP-1"); // an empty list is not written
    EXPECT_EQ(read, kept);

    const std::pair<const char *, const char *> faults[] = {
        {"[]", "not an object of custom mode lists"},
        {"{", "not JSON: unterminated object at offset 1"},
        {R"({"DP-1": 3})", "the custom modes of \"DP-1\" are not a list"},
        {R"({"DP-1": [{"width": 1.5, "height": 2, "refreshRate": 60, "flags": 1}]})",
         "custom mode 0 of \"DP-1\" is not a record of width, height, refreshRate and flags"},
        {R"({"DP-1": [{"width": 1, "height": 2, "flags": 1}]})",
         "custom mode 0 of \"DP-1\" is not a record of width, height, refreshRate and flags"},
        {R"({"DP-\n1": [{"width": 1, "height": 2, "refreshRate": 1e300, "flags": 1}]})",
         "custom mode 0 of \"DP-\\u000a1\" is not a record of width, height, refreshRate and flags"},
    };
    for (const auto &[text, why] : faults) {
        EXPECT_FALSE(parseCustomModes(text, &read, &fault)) << text;
        EXPECT_EQ(fault, why);
    }
}

// One head of the given mode size, enabled, at x.
std::unique_ptr<HeadState> sized(const QString &name, int width, int height, int x = 0)
{
    auto head = std::make_unique<HeadState>();
    head->name = name;
    head->enabled = true;
    auto mode = std::make_unique<ModeState>();
    mode->head = head.get();
    mode->id = "1";
    mode->width = width;
    mode->height = height;
    mode->refresh = 60000;
    mode->preferred = true;
    head->currentMode = mode.get();
    head->modes.push_back(std::move(mode));
    head->position = {x, 0};
    return head;
}

// A head as a fetch describes it.
Output::Data described(const HeadState &head)
{
    return describe({&head}, 2, {}).first();
}

// As phoc (wlroots 0.15) placed and sized them, read back with wayland-info.
TEST(WaylandModel, ScalesAndLogicalSizesAsWlrootsHoldsThem)
{
    struct Case {
        int width, height;
        double asked, held;
        QSize logical;
    };
    const Case cases[] = {
        {2560, 1440, 1.1, 282 / 256.0, {2323, 1307}}, {1920, 1080, 1.1, 282 / 256.0, {1742, 980}},
        {2560, 1440, 1.6, 410 / 256.0, {1598, 899}},  {1920, 1080, 1.6, 410 / 256.0, {1198, 674}},
        {2560, 1440, 1.25, 1.25, {2048, 1152}},       {1920, 1080, 1.25, 1.25, {1536, 864}},
        {2560, 1440, 1.3, 333 / 256.0, {1968, 1107}}, {1920, 1080, 1.3, 333 / 256.0, {1476, 830}},
        {2560, 1440, 1.7, 435 / 256.0, {1506, 847}},  {1920, 1080, 1.7, 435 / 256.0, {1129, 635}},
        {2560, 1440, 2.3, 589 / 256.0, {1112, 625}},  {1920, 1080, 2.3, 589 / 256.0, {834, 469}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " at " + std::to_string(c.asked));
        const std::unique_ptr<HeadState> head = sized("DP-1", c.width, c.height);
        Output output(describe({head.get()}, 2, {}).first());
        output.setScale(c.asked);
        EXPECT_EQ(output.scale(), c.held);
        EXPECT_EQ(output.logicalSize(), c.logical);
        // Held once, the same scale again is the same.
        output.setScale(output.scale());
        EXPECT_EQ(output.scale(), c.held);
    }
    // A size the compositor's layout tells otherwise is the one the layout
    // works with; one it agrees with is left to the scale.
    const std::unique_ptr<HeadState> head = sized("DP-1", 1920, 1080);
    head->scale = 281 / 256.0;
    const QHash<QString, QSize> sway = {{u"DP-1"_qs, {1745, 981}}};
    EXPECT_EQ(Output(describe({head.get()}, 2, {}, sway).first()).explicitLogicalSizeInt(), QSize(1745, 981));
    const QHash<QString, QSize> same = {{u"DP-1"_qs, {1749, 983}}};
    EXPECT_FALSE(describe({head.get()}, 2, {}, same).first().explicitLogicalSize);
}

TEST(WaylandModel, AnOutputEnabledAgainGoesRightOfTheOthers)
{
    std::vector<std::unique_ptr<HeadState>> all;
    all.push_back(sized("DP-1", 1920, 1080));
    all.push_back(sized("HDMI-A-1", 1280, 720, 1920));
    all[0]->enabled = false;
    all[0]->currentMode = nullptr; // wlroots tells none for a disabled head
    const std::vector<const HeadState *> heads = {all[0].get(), all[1].get()};
    // Changed as it is enabled; without a place of its own, right of the
    // others as the compositor sizes them.
    Dispor::Config config = snapshot(heads, 2, {});
    named(config, "DP-1")->setEnabled(true);
    named(config, "DP-1")->setScale(2);
    named(config, "HDMI-A-1")->setScale(1.5);
    Plan planned;
    QString reason;
    ASSERT_TRUE(plan(config, heads, 2, &planned, &reason)) << reason.toStdString();
    ASSERT_EQ(planned.settings.size(), 2);
    EXPECT_TRUE(planned.settings[0].enabled);
    EXPECT_EQ(planned.settings[0].scale, 2);
    // What was not asked for is the compositor's to bring back.
    EXPECT_FALSE(planned.settings[0].mode || planned.settings[0].customMode || planned.settings[0].transform);
    EXPECT_EQ(planned.settings[0].position, QPoint(1920 + 853, 0));

    config = snapshot(heads, 2, {});
    named(config, "DP-1")->setEnabled(true);
    named(config, "DP-1")->setPos({0, 720});
    ASSERT_TRUE(plan(config, heads, 2, &planned, &reason)) << reason.toStdString();
    EXPECT_EQ(planned.settings[0].position, QPoint(0, 720));

    // Its own place, remembered, where that is free and joins the others.
    Dispor::Remembered had{described(*all[0]).uuid, "1",        {1920, 1080}, 60, 1,
                           Output::Rotation::None,  {1920, 720}};
    const Dispor::RememberedOutputs records = {{"DP-1", had}};
    config = snapshot(heads, 2, {}, records);
    named(config, "DP-1")->setEnabled(true);
    ASSERT_TRUE(plan(config, heads, 2, &planned, &reason, records)) << reason.toStdString();
    EXPECT_EQ(planned.settings[0].position, QPoint(1920, 720));
    EXPECT_FALSE(planned.settings[0].mode || planned.settings[0].scale || planned.settings[0].transform);
}

// A disabled head has what the library remembers of it, where its mode is
// still offered (or it lists none, as sway's headless outputs), else
// nothing known; a dark one is disabled.
TEST(WaylandModel, ADisabledHeadHasWhatItHad)
{
    const std::pair<const char *, std::function<bool(HeadState &)>> cases[] = {
        {"remembered", [](HeadState &) { return true; }},
        {"mode gone",
         [](HeadState &h) {
             h.modes[0]->width = 1280;
             return false;
         }},
        {"no mode listed",
         [](HeadState &h) {
             h.modes.clear();
             return true;
         }},
        {"dark", [](HeadState &h) { return h.enabled = h.dark = true; }},
    };
    for (const auto &[name, change] : cases) {
        SCOPED_TRACE(name);
        const std::unique_ptr<HeadState> head = sized("DP-1", 1920, 1080, 500);
        const Dispor::Remembered had{described(*head).uuid,  "1",     {1920, 1080}, 60, 1.5,
                                     Output::Rotation::Left, {100, 0}};
        head->enabled = false;
        const bool known = change(*head);
        const Output::Data d = describe({head.get()}, 2, {}, {}, {{"DP-1", had}}).first();
        EXPECT_FALSE(d.enabled);
        EXPECT_EQ(d.placementKnown, known);
        EXPECT_EQ(d.currentModeId.isEmpty(), !known);
        EXPECT_EQ(std::tuple(d.scale, d.rotation, d.pos),
                  known ? std::tuple(1.5, Output::Rotation::Left, QPoint(100, 0))
                        : std::tuple(1.0, Output::Rotation::None, QPoint()));
    }
}

// The first refused change is reported: what the protocol carries comes
// first, then the others in the shared order.
TEST(WaylandModel, RefusalsInTheBackendsOrder)
{
    using O = Output;
    struct Case {
        const char *name;
        std::function<void(O &)> change;
        QString reason; // empty: planned, changing nothing
    };
    const Case cases[] = {
        {"mirroring before hdr",
         [](O &o) {
             o.setHdrEnabled(true);
             o.setReplicationSource(2);
         },
         u"DP-1: cannot change mirroring: the compositor has no mirroring"_qs},
        {"vrr before rgb range",
         [](O &o) {
             o.setRgbRange(O::RgbRange::Full);
             o.setVrrPolicy(O::VrrPolicy::Automatic);
         },
         u"DP-1: the compositor switches adaptive sync only on or off, so the VRR policy \"automatic\" has "
         u"no "
         "equivalent"_qs},
        {"custom mode before hdr",
         [](O &o) {
             o.setHdrEnabled(true);
             o.setCustomModes({Dispor::ModeInfo{1600, 900, 60.0f, 3, {}}});
         },
         u"DP-1: the compositor takes a custom mode as a size and refresh rate; reduced blanking cannot be "
         u"asked "
         "for"_qs},
        {"hdr before colour/power",
         [](O &o) {
             o.setColorPowerPreference(O::ColorPowerTradeoff::PreferAccuracy);
             o.setHdrEnabled(true);
         },
         u"DP-1: cannot change HDR: the output has no HDR support"_qs},
        {"colour/power before rgb range",
         [](O &o) {
             o.setRgbRange(O::RgbRange::Full);
             o.setColorPowerPreference(O::ColorPowerTradeoff::PreferAccuracy);
         },
         u"DP-1: cannot change the colour/power trade-off: the compositor has no colour/power setting"_qs},
        {"dimming before sharpness",
         [](O &o) {
             o.setSharpness(0.5);
             o.setDimming(0.5);
         },
         u"DP-1: cannot change the dimming: the compositor has no dimming"_qs},
        {"logical size and power are no change here",
         [](O &o) {
             o.setExplicitLogicalSize(QSizeF(960, 540));
             Dispor::dataOf(o).dpms = O::DpmsMode::Off;
         },
         {}},
    };
    const Heads heads;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Dispor::Config config = heads.fetched(4);
        c.change(*named(config, "DP-1"));
        Plan planned;
        QString reason;
        EXPECT_EQ(plan(config, heads.list(), 4, &planned, &reason), c.reason.isEmpty());
        EXPECT_EQ(reason, c.reason);
    }
}

TEST(WaylandModel, ChangesToAHeadThatWentAway)
{
    Heads heads;
    const Dispor::Config config = heads.fetched(2);
    heads.all.pop_back(); // HDMI-A-1 unplugged since the fetch

    Plan planned;
    QString reason;
    named(config, "DP-1")->setPos({10, 0});
    ASSERT_TRUE(plan(config, heads.list(), 2, &planned, &reason)) << reason.toStdString();
    ASSERT_EQ(planned.settings.size(), 1);
    EXPECT_EQ(planned.settings[0].position, QPoint(10, 0));

    named(config, "HDMI-A-1")->setScale(2);
    EXPECT_FALSE(plan(config, heads.list(), 2, &planned, &reason));
    EXPECT_EQ(reason, "HDMI-A-1: the output no longer exists");
}

// An apply that changes nothing asks for the state the heads are reported
// in, and sends it (set-enabled true on an output a compositor misreports
// as enabled lights it).
TEST(WaylandModel, AnUnchangedSnapshotSendsTheReportedState)
{
    Heads heads;
    // Reported on without a wl_output: off, and sent so.
    heads.all.push_back(sized("DP-2", 1920, 1080, 3840));
    heads.all.back()->dark = true;
    const Dispor::Config config = heads.fetched(2);
    named(config, "DP-1")->setEnabled(true);
    Plan planned;
    QString reason;
    ASSERT_TRUE(plan(config, heads.list(), 2, &planned, &reason)) << reason.toStdString();
    EXPECT_TRUE(planned.configure);
    ASSERT_EQ(planned.settings.size(), 3);
    EXPECT_FALSE(planned.settings[2].enabled);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(planned.settings[i].enabled);
        EXPECT_EQ(planned.settings[i].mode, heads.all[i]->modes.front().get());
        EXPECT_EQ(planned.settings[i].position, heads.all[i]->position);
    }
}

// What was sent against what the compositor reports afterwards.
TEST(WaylandModel, ReadBackNamesWhatIsNotHeld)
{
    HeadValues dp;
    dp.name = u"DP-1"_qs;
    dp.enabled = true;
    dp.width = 1920;
    dp.height = 1080;
    dp.refresh = 60000;
    dp.scale = 1.0;
    dp.adaptiveSync = true;
    HeadValues hdmi = dp;
    hdmi.name = u"HDMI-A-1"_qs;
    hdmi.position = {1920, 0};
    hdmi.adaptiveSync.reset();

    struct Case {
        const char *name;
        std::function<void(HeadValues &sent, HeadValues &held)> change;
        QStringList lines;
    };
    const QString dpKept = u"DP-1: the compositor accepted "_qs;
    const std::vector<Case> cases = {
        {"all held", [](HeadValues &, HeadValues &) {}, {}},
        {"scale in 1/256 steps",
         [](HeadValues &sent, HeadValues &held) {
             sent.scale = 1.33;
             held.scale = 1.328125;
         },
         {}},
        {"scale another step",
         [](HeadValues &sent, HeadValues &held) {
             sent.scale = 1.5;
             held.scale = 1.0;
         },
         {dpKept + "the scale \"1.5\" but keeps \"1\""}},
        {"custom mode's rate rounded",
         [](HeadValues &sent, HeadValues &held) {
             sent.custom = true;
             sent.refresh = 59950;
             held.refresh = 60000;
         },
         {}},
        {"custom mode ignored",
         [](HeadValues &sent, HeadValues &) {
             sent.custom = true;
             sent.width = 1024;
             sent.height = 768;
         },
         {dpKept + "the mode \"1024x768@60\" but keeps \"1920x1080@60\""}},
        {"a listed mode's rate is exact",
         [](HeadValues &, HeadValues &held) { held.refresh = 59940; },
         {dpKept + "the mode \"1920x1080@60\" but keeps \"1920x1080@59.94\""}},
        {"adaptive sync dropped",
         [](HeadValues &, HeadValues &held) { held.adaptiveSync = false; },
         {dpKept + "the VRR policy \"always\" but keeps \"never\""}},
        {"adaptive sync not told back",
         [](HeadValues &, HeadValues &held) { held.adaptiveSync.reset(); },
         {}},
        {"disabled, reported enabled",
         [](HeadValues &sent, HeadValues &) { sent.enabled = false; },
         {dpKept + "disabling the output but keeps it enabled"}},
        {"enabled, reported disabled",
         [](HeadValues &, HeadValues &held) { held.enabled = false; },
         {dpKept + "enabling the output but keeps it disabled"}},
        {"several on one line",
         [](HeadValues &, HeadValues &held) {
             held.position = {10, 0};
             held.transform = 1;
         },
         {dpKept + "the position \"0,0\" but keeps \"10,0\"; the compositor accepted the rotation \"normal\" "
                   "but keeps \"90\""}},
        {"a head that went away", [](HeadValues &, HeadValues &held) { held.name = u"DP-9"_qs; }, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        HeadValues sent = dp, held = dp;
        c.change(sent, held);
        EXPECT_EQ(notHeld({sent, hdmi}, {hdmi, held}), c.lines);
    }
    // One line per output, in the order sent.
    HeadValues movedHdmi = hdmi;
    movedHdmi.position = {0, 0};
    HeadValues darkDp = dp;
    darkDp.enabled = false;
    EXPECT_EQ(
        notHeld({dp, hdmi}, {movedHdmi, darkDp}),
        (QStringList{dpKept + "enabling the output but keeps it disabled",
                     u"HDMI-A-1: the compositor accepted the position \"1920,0\" but keeps \"0,0\""_qs}));
}

// Set back: each head as it was, every value sent, a custom mode by its
// size; and what those that differ hold instead, in one line.
TEST(WaylandModel, SetBackSendsWhatWasHeld)
{
    std::vector<std::unique_ptr<HeadState>> all;
    all.push_back(sized("DP-1", 1920, 1080));
    all.push_back(sized("HDMI-A-1", 1280, 720, 1920));
    const std::vector<const HeadState *> heads = {all[0].get(), all[1].get()};
    QList<HeadValues> before = heldValues(heads);
    before[0].width = 1024;
    before[1].enabled = false;
    all[0]->scale = 2;
    const QList<HeadSetting> back = restoring(before, heads);
    ASSERT_TRUE(back[0].customMode && !back[0].mode);
    EXPECT_EQ(std::tuple(back[0].customMode->width, *back[0].scale, *back[0].transform),
              std::tuple(1024, 1.0, 0));
    EXPECT_FALSE(back[1].enabled);
    EXPECT_EQ(holding(before, heldValues(heads)),
              "DP-1 1920x1080@60 at 0,0, normal, scale 2; HDMI-A-1 1280x720@60 at 1920,0, normal, scale 1");
}

// A scale is held where the compositor can have kept it as sent, as far as
// 24.8 fixed point tells: the same step, or sway's 1/120 step nearest to it
// told a step lower (or, rounded, the nearest step).
TEST(WaylandModel, ScalesTheWireCannotTellFromTheOneSent)
{
    struct Case {
        int sent, reported; // in 1/256 steps
        bool held;
    };
    const Case cases[] = {
        {282, 282, true},  {282, 281, true},  {282, 280, false}, {282, 283, false}, // 1.1
        {410, 409, true},  {410, 408, false}, {333, 332, true},  {256, 255, false}, // 1.6, 1.3, 1
        {112, 110, true},  {112, 111, true},  {112, 113, true},  {112, 109, false}, // a tie: either step
        {112, 114, false}, {80, 81, true},    {80, 82, false},   {384, 256, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.sent) + " as " + std::to_string(c.reported));
        EXPECT_EQ(scaleHeld(c.sent / 256.0, c.reported / 256.0), c.held);
    }
    // 110% as sway tells it back.
    EXPECT_TRUE(scaleHeld(1.1, 1.09765625));
}

// Outputs sent to join a scaled output's edge go where the compositor's
// sizes end it, with what lies beyond; gaps asked for stay.
TEST(WaylandModel, OutputsJoinAtTheSizesTheCompositorHolds)
{
    const auto head = [](const char *name, int x, int y, double scale = 1.0, int transform = 0) {
        HeadValues v;
        v.name = QString::fromLatin1(name);
        v.enabled = true;
        v.width = 1920;
        v.height = 1080;
        v.position = {x, y};
        v.scale = scale;
        v.transform = transform;
        return v;
    };
    struct Case {
        const char *name;
        QList<HeadValues> sent;
        QHash<QString, QSize> held;
        QList<QPoint> placed;
    };
    const QSize sway11(1745, 981); // 1920x1080 at 1.1; at 282/256: 1742x980
    QList<HeadValues> rowWithDark = {head("A", 0, 0, 1.1), head("B", 1742, 0), head("C", 3662, 0)};
    rowWithDark[2].enabled = false;
    const Case cases[] = {
        {"overlap", {head("A", 0, 0, 1.1), head("B", 1742, 0)}, {{"A", sway11}}, {{0, 0}, {1745, 0}}},
        {"gap", {head("A", 0, 0, 1.1), head("B", 1742, 0)}, {{"A", {1740, 979}}}, {{0, 0}, {1740, 0}}},
        {"the row beyond",
         {head("C", 3662, 0), head("A", 0, 0, 1.1), head("B", 1742, 0)},
         {{"A", sway11}},
         {{3665, 0}, {0, 0}, {1745, 0}}},
        {"two scaled",
         {head("A", 0, 0, 1.1), head("B", 1742, 0, 1.1), head("C", 3484, 0)},
         {{"A", sway11}, {"B", sway11}},
         {{0, 0}, {1745, 0}, {3490, 0}}},
        {"below", {head("A", 0, 0, 1.1), head("B", 0, 980)}, {{"A", sway11}}, {{0, 0}, {0, 981}}},
        {"turned",
         {head("A", 0, 0, 1.1, 1), head("B", 980, 0)},
         {{"A", sway11.transposed()}},
         {{0, 0}, {981, 0}}},
        {"a gap asked for", {head("A", 0, 0, 1.1), head("B", 1800, 0)}, {{"A", sway11}}, {{0, 0}, {1800, 0}}},
        {"only a corner",
         {head("A", 0, 0, 1.1), head("B", 1742, 980)},
         {{"A", sway11}},
         {{0, 0}, {1742, 980}}},
        {"sizes agree",
         {head("A", 0, 0, 1.1), head("B", 1742, 0)},
         {{"A", {1742, 980}}},
         {{0, 0}, {1742, 0}}},
        {"no size told", {head("A", 0, 0, 1.1), head("B", 1742, 0)}, {}, {{0, 0}, {1742, 0}}},
        {"disabled stays", rowWithDark, {{"A", sway11}}, {{0, 0}, {1745, 0}, {3662, 0}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QList<QPoint> placed;
        for (const HeadValues &v : joinedAsHeld(c.sent, c.held))
            placed.append(v.position);
        EXPECT_EQ(placed, c.placed);
    }
}

} // namespace
