// The one list of changeable properties the backends share, and the merge
// they build on.

#include "support.h"

#include "../../dispor/src/changes.h"
#include "../../dispor/src/virtual/document.h"
#include "../../dispor/src/wording.h"

#include <QSet>

#include <functional>

namespace dispor_test {
namespace {

using Dispor::Changes::Caps;
using Data = Dispor::Output::Data;
using O = Dispor::Output;

Data plainOutput()
{
    Data d;
    d.id = 1;
    d.name = QStringLiteral("A");
    d.modes.insert(Dispor::ModePtr::create(QStringLiteral("1"), QSize(1920, 1080), 60.0f));
    d.currentModeId = QStringLiteral("1");
    return d;
}

// Every changeable member away from its default.
Data changedOutput()
{
    Data d = plainOutput();
    d.enabled = false;
    d.pos = QPoint(10, 20);
    d.modes.insert(Dispor::ModePtr::create(QStringLiteral("2"), QSize(1280, 720), 50.0f));
    d.currentModeId = QStringLiteral("2");
    d.size = QSize(1024, 768);
    d.scale = 2;
    d.rotation = O::Rotation::Left;
    d.explicitLogicalSize = QSizeF(640, 360);
    d.hdrEnabled = true;
    d.wcgEnabled = true;
    d.automaticBrightness = true;
    d.ddcCiAllowed = true;
    d.sdrBrightness = 300;
    d.sdrGamutWideness = 0.5;
    d.brightness = 0.5;
    d.dimming = 0.5;
    d.sharpness = 0.5;
    d.maxPeakBrightnessOverride = 500;
    d.maxAverageBrightnessOverride = 400;
    d.minBrightnessOverride = 1000;
    d.iccProfilePath = QStringLiteral("/a.icc");
    d.hdrIccProfilePath = QStringLiteral("/b.icc");
    d.colorProfileSource = O::ColorProfileSource::ICC;
    d.hdrColorProfileSource = O::ColorProfileSource::sRGB;
    d.colorPowerPreference = O::ColorPowerTradeoff::PreferAccuracy;
    d.rgbRange = O::RgbRange::Full;
    d.vrrPolicy = O::VrrPolicy::Never;
    d.autoRotatePolicy = O::AutoRotatePolicy::Always;
    d.edrPolicy = O::EdrPolicy::Always;
    d.overscan = 3;
    d.abmLevel = 2;
    d.maxBitsPerColor = 8;
    d.replicationSource = 2;
    d.customModes = {Dispor::ModeInfo{1280, 720, 60.0f, 1, std::nullopt}};
    d.dpms = O::DpmsMode::Off;
    return d;
}

TEST(Changes, EveryPropertyOnceUnderItsDocumentKey)
{
    const Data plain = plainOutput();
    const Data changed = changedOutput();
    const QByteArray plainDocument = Dispor::Virtual::writeDocument({plain});
    QSet<QByteArray> keys;
    Dispor::Changes::forEachProperty([&](auto member, const char *key, Caps, Caps) {
        SCOPED_TRACE(key);
        EXPECT_FALSE(keys.contains(key)) << "listed twice";
        keys.insert(key);
        EXPECT_FALSE(plain.*member == changed.*member) << "the test leaves it at its default";
        // Changing the member alone writes it, under the same key.
        Data one = plain;
        one.*member = changed.*member;
        const QByteArray document = Dispor::Virtual::writeDocument({one});
        EXPECT_NE(document, plainDocument);
        EXPECT_TRUE(document.contains('"' + QByteArray(key) + "\":")) << document.toStdString();
        return true;
    });
    EXPECT_EQ(keys.size(), 34);
}

TEST(Changes, EveryPropertyAndCapabilityHasItsWords)
{
    Dispor::Changes::forEachProperty([](auto, const char *key, Caps need, Caps orNeed) {
        SCOPED_TRACE(key);
        EXPECT_NE(Dispor::Wording::setting(key), nullptr);
        EXPECT_FALSE(Dispor::Wording::cannotChange(key, {}).contains(u'"')) << "named by its key";
        if (need) {
            EXPECT_FALSE(Dispor::Wording::lacking(need, orNeed).contains(u"capability"_qs));
        }
        return true;
    });
    for (uint32_t bit = 1; bit <= 0x20000; bit <<= 1)
        EXPECT_FALSE(Dispor::Wording::lacking(Caps::fromInt(bit)).contains(u"capability"_qs)) << bit;
}

// The shared rules alone, without a backend's own cases.
class Plain : public Dispor::Changes::Merge {
public:
    using Merge::Merge;
    bool all()
    {
        return Dispor::Changes::forEachProperty([this](auto member, const char *key, Caps need, Caps orNeed) {
            if (Dispor::Changes::is(member, &Data::enabled))
                return takeEnabled();
            return take(member, key, need, orNeed);
        });
    }
};

TEST(Changes, MergeRefusesTheFirstChangeWithoutItsCapability)
{
    struct Case {
        const char *name;
        O::Capabilities capabilities;
        std::function<void(Data &)> change;
        QString reason; // empty: taken
    };
    const std::vector<Case> cases = {
        {"first refused in list order",
         {},
         [](Data &d) {
             d.maxBitsPerColor = 8;
             d.wcgEnabled = true;
             d.hdrEnabled = true;
         },
         u"A: cannot change HDR: the output has no HDR support"_qs},
        {"either of two, neither", O::Capability::HighDynamicRange,
         [](Data &d) { d.colorProfileSource = O::ColorProfileSource::EDID; },
         u"A: cannot change the colour profile source: the output takes no ICC profile and has no built-in colour profile"_qs},
        {"either of two, the second",
         O::Capability::BuiltInColorProfile,
         [](Data &d) { d.colorProfileSource = O::ColorProfileSource::EDID; },
         {}},
        {"disabling",
         {},
         [](Data &d) { d.enabled = false; },
         u"A: cannot disable the output: the output cannot be switched off"_qs},
        {"disabling with disable", O::Capability::Disable, [](Data &d) { d.enabled = false; }, {}},
        {"no capability needed",
         {},
         [](Data &d) {
             d.pos = QPoint(5, 5);
             d.dpms = O::DpmsMode::Off;
         },
         {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Data fetched = plainOutput();
        fetched.capabilities = c.capabilities;
        Data wanted = fetched;
        c.change(wanted);
        Data base = fetched;
        QString reason;
        Plain merge(fetched, wanted, base, &reason);
        EXPECT_EQ(merge.all(), c.reason.isEmpty());
        EXPECT_EQ(reason, c.reason);
        EXPECT_TRUE(merge.changed());
        if (c.reason.isEmpty()) {
            EXPECT_EQ(Dispor::Virtual::writeDocument({base}), Dispor::Virtual::writeDocument({wanted}));
        }

        // Unchecked, the same change is noted and taken whole.
        Data scratch = fetched;
        QString none;
        Plain probe(fetched, wanted, scratch, &none, false);
        EXPECT_TRUE(probe.all());
        EXPECT_TRUE(probe.changed());
        EXPECT_EQ(none, QString());
        EXPECT_EQ(Dispor::Virtual::writeDocument({scratch}), Dispor::Virtual::writeDocument({wanted}));
    }

    // What another client changed meanwhile stays where the snapshot did not change it.
    Data fetched = plainOutput();
    Data base = fetched;
    base.pos = QPoint(99, 0);
    QString reason;
    Plain merge(fetched, fetched, base, &reason);
    EXPECT_TRUE(merge.all());
    EXPECT_FALSE(merge.changed());
    EXPECT_EQ(base.pos, QPoint(99, 0));
}

} // namespace
} // namespace dispor_test
