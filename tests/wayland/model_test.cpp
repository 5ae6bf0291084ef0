// The backend's own rules, without a compositor: ids, uuids, connector
// types, rotations, and the configuration an apply sends.

#include "../../dispor/src/wayland/model.h"

#include <gtest/gtest.h>

#include <QSet>

#include <functional>

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

HeadState head(const QString &name, const QString &make = {}, const QString &model = {}, const QString &serial = {})
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
    const HeadState nameOnly = head("HDMI-A-1");
    const HeadState dellName = head("DP-1");

    const QMap<QString, QString> one = assignUuids({&dell, &bare, &twinA, &twinB});
    // A monitor keeps its uuid on another connector.
    EXPECT_EQ(one.value("DP-1"), assignUuids({&moved}).value("DP-3"));
    EXPECT_NE(one.value("DP-1"), assignUuids({&dellName}).value("DP-1"));
    // Two monitors that tell the same identity: each by its name instead.
    EXPECT_EQ(one.value("HDMI-A-1"), assignUuids({&nameOnly}).value("HDMI-A-1"));
    EXPECT_NE(one.value("HDMI-A-1"), one.value("HDMI-A-2"));
    // Alone, one of them goes by its identity.
    EXPECT_NE(assignUuids({&twinA}).value("HDMI-A-1"), one.value("HDMI-A-1"));
    EXPECT_EQ(QSet<QString>(one.begin(), one.end()).size(), 4);
}

TEST(WaylandModel, ConnectorTypes)
{
    const std::pair<const char *, Output::Type> cases[] = {
        {"eDP-1", Output::Type::Panel},       {"LVDS-1", Output::Type::Panel},  {"DP-2", Output::Type::DisplayPort},
        {"HDMI-A-1", Output::Type::HDMI},     {"DVI-I-1", Output::Type::DVII},  {"DVI-D-2", Output::Type::DVID},
        {"DVI-1", Output::Type::DVI},         {"VGA-1", Output::Type::VGA},     {"DPI-1", Output::Type::Unknown},
        {"HEADLESS-1", Output::Type::Unknown}, {"Virtual-1", Output::Type::Unknown}, {"DP", Output::Type::DisplayPort},
    };
    for (const auto &[name, type] : cases)
        EXPECT_EQ(connectorType(name), type) << name;
}

TEST(WaylandModel, RotationsBothWays)
{
    const Output::Rotation rotations[] = {
        Output::Rotation::None,    Output::Rotation::Left,      Output::Rotation::Inverted,
        Output::Rotation::Right,   Output::Rotation::Flipped,   Output::Rotation::Flipped90,
        Output::Rotation::Flipped180, Output::Rotation::Flipped270,
    };
    for (int transform = 0; transform < 8; ++transform) {
        EXPECT_EQ(rotationFromTransform(transform), rotations[transform]) << transform;
        EXPECT_EQ(transformFromRotation(rotations[transform]), transform) << transform;
    }
    EXPECT_EQ(rotationFromTransform(8), Output::Rotation::None);
    EXPECT_EQ(transformFromRotation(Output::Rotation(3)), -1);
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

    Dispor::Config fetched(uint32_t version) const
    {
        Dispor::OutputList outputs;
        Dispor::Config::Origin origin;
        for (const Output::Data &d : describe(list(), version, {})) {
            origin.fetched.insert(d.id, d);
            outputs.insert(d.id, Dispor::OutputPtr::create(d));
        }
        Dispor::Config config(outputs);
        config.origin() = origin;
        return config;
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

TEST(WaylandModel, AdaptiveSyncOnlyFromVersionFour)
{
    const Heads heads;
    EXPECT_FALSE(named(heads.fetched(2), "DP-1")->capabilities() & Output::Capability::Vrr);
    const Dispor::Config config = heads.fetched(4);
    const Dispor::OutputPtr dp = named(config, "DP-1");
    ASSERT_TRUE(dp->capabilities() & Output::Capability::Vrr);
    EXPECT_EQ(dp->vrrPolicy(), Output::VrrPolicy::Never);

    QList<HeadSetting> settings;
    bool changed = true;
    QString reason;
    ASSERT_TRUE(plan(config, heads.list(), 4, &settings, &changed, &reason));
    EXPECT_FALSE(changed);
    EXPECT_TRUE(settings.isEmpty());

    dp->setVrrPolicy(Output::VrrPolicy::Automatic);
    EXPECT_FALSE(plan(config, heads.list(), 4, &settings, &changed, &reason));
    EXPECT_EQ(reason, "DP-1: the compositor switches adaptive sync only on or off, so the VRR policy \"automatic\" "
                      "has no equivalent");

    dp->setVrrPolicy(Output::VrrPolicy::Always);
    ASSERT_TRUE(plan(config, heads.list(), 4, &settings, &changed, &reason)) << reason.toStdString();
    ASSERT_TRUE(changed);
    ASSERT_EQ(settings.size(), 2);
    EXPECT_EQ(settings[0].head->name, "DP-1");
    EXPECT_EQ(settings[0].adaptiveSync, true);
    EXPECT_EQ(settings[1].adaptiveSync, false);
}

TEST(WaylandModel, EveryHeadIsNamedWithItsSettings)
{
    const Heads heads;
    const Dispor::Config config = heads.fetched(2);
    named(config, "HDMI-A-1")->setCurrentModeId("2");
    named(config, "HDMI-A-1")->setRotation(Output::Rotation::Flipped90);
    named(config, "DP-1")->setEnabled(false);

    QList<HeadSetting> settings;
    bool changed = false;
    QString reason;
    ASSERT_TRUE(plan(config, heads.list(), 2, &settings, &changed, &reason)) << reason.toStdString();
    ASSERT_EQ(settings.size(), 2);
    EXPECT_FALSE(settings[0].enabled);
    const HeadSetting &hdmi = settings[1];
    EXPECT_TRUE(hdmi.enabled);
    ASSERT_TRUE(hdmi.mode);
    EXPECT_EQ(hdmi.mode->width, 1280);
    EXPECT_FALSE(hdmi.customMode);
    EXPECT_EQ(hdmi.position, QPoint(1920, 0));
    EXPECT_EQ(hdmi.transform, 5);
    EXPECT_FALSE(hdmi.adaptiveSync);

    // A custom mode replaces the mode; its rate goes in millihertz.
    named(config, "HDMI-A-1")->setCustomModes({Dispor::ModeInfo{1600, 900, 59.94f, 1, {}}});
    ASSERT_TRUE(plan(config, heads.list(), 2, &settings, &changed, &reason)) << reason.toStdString();
    ASSERT_TRUE(settings[1].customMode);
    EXPECT_EQ(settings[1].customMode->width, 1600);
    EXPECT_EQ(settings[1].customMode->height, 900);
    EXPECT_EQ(settings[1].customMode->refresh, 59940);

    named(config, "HDMI-A-1")->setCurrentModeId("7");
    EXPECT_FALSE(plan(config, heads.list(), 2, &settings, &changed, &reason));
    EXPECT_EQ(reason, "HDMI-A-1: the mode \"7\" is not one of the output's modes");
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
         u"DP-1: changing \"replicationSource\" is not possible: the compositor has no mirroring"_qs},
        {"vrr before rgb range",
         [](O &o) {
             o.setRgbRange(O::RgbRange::Full);
             o.setVrrPolicy(O::VrrPolicy::Automatic);
         },
         u"DP-1: the compositor switches adaptive sync only on or off, so the VRR policy \"automatic\" has no "
         "equivalent"_qs},
        {"custom mode before hdr",
         [](O &o) {
             o.setHdrEnabled(true);
             o.setCustomModes({Dispor::ModeInfo{1600, 900, 60.0f, 3, {}}});
         },
         u"DP-1: the compositor takes a custom mode as a size and refresh rate; reduced blanking cannot be asked "
         "for"_qs},
        {"hdr before colour/power",
         [](O &o) {
             o.setColorPowerPreference(O::ColorPowerTradeoff::PreferAccuracy);
             o.setHdrEnabled(true);
         },
         u"DP-1: changing \"hdrEnabled\" needs the capability \"hdr\""_qs},
        {"colour/power before rgb range",
         [](O &o) {
             o.setRgbRange(O::RgbRange::Full);
             o.setColorPowerPreference(O::ColorPowerTradeoff::PreferAccuracy);
         },
         u"DP-1: changing \"colorPowerPreference\" is not possible: the compositor has no colour/power setting"_qs},
        {"dimming before sharpness",
         [](O &o) {
             o.setSharpness(0.5);
             o.setDimming(0.5);
         },
         u"DP-1: changing \"dimming\" needs the capability \"brightness\""_qs},
        {"logical size and power are no change here",
         [](O &o) {
             o.setExplicitLogicalSize(QSizeF(960, 540));
             o.data().dpms = O::DpmsMode::Off;
         },
         {}},
    };
    const Heads heads;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Dispor::Config config = heads.fetched(4);
        c.change(*named(config, "DP-1"));
        QList<HeadSetting> settings;
        bool changed = true;
        QString reason;
        EXPECT_EQ(plan(config, heads.list(), 4, &settings, &changed, &reason), c.reason.isEmpty());
        EXPECT_EQ(reason, c.reason);
        if (c.reason.isEmpty()) {
            EXPECT_FALSE(changed);
        }
    }
}

TEST(WaylandModel, ChangesToAHeadThatWentAway)
{
    Heads heads;
    const Dispor::Config config = heads.fetched(2);
    heads.all.pop_back(); // HDMI-A-1 unplugged since the fetch

    QList<HeadSetting> settings;
    bool changed = false;
    QString reason;
    named(config, "DP-1")->setPos({10, 0});
    ASSERT_TRUE(plan(config, heads.list(), 2, &settings, &changed, &reason)) << reason.toStdString();
    ASSERT_EQ(settings.size(), 1);
    EXPECT_EQ(settings[0].position, QPoint(10, 0));

    named(config, "HDMI-A-1")->setScale(2);
    EXPECT_FALSE(plan(config, heads.list(), 2, &settings, &changed, &reason));
    EXPECT_EQ(reason, "HDMI-A-1: the output no longer exists");
}

} // namespace
