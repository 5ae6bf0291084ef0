// What the service refuses when applying, and what it never refuses.

#include "support.h"

#include "../../dispor/src/backend.h"

#include <cmath>
#include <functional>
#include <limits>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dispor_test {
namespace {

using O = Dispor::Output;

// A has no capabilities at all, B has every one.
const std::string bareAndFull = document(
    output(
        1, "A",
        R"("modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60}], "currentModeId": "1")") +
    "," + output(2, "B", R"("pos": {"x": 1920, "y": 0},
        "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60}], "currentModeId": "1",
        "capabilities": ["overscan", "vrr", "rgb-range", "hdr", "wcg", "auto-rotate", "icc", "brightness",
                         "builtin-color-profile", "ddc-ci", "maxbpc", "edr", "sharpness", "custom-modes",
                         "auto-brightness", "hdr-icc", "disable", "abm"])"));

struct Change {
    const char *name;
    std::function<void(O &)> change;
    std::string reason; // empty: applied
};

void expectApplies(const std::string &doc, const QString &outputName, const std::vector<Change> &changes)
{
    for (const Change &c : changes) {
        SCOPED_TRACE(c.name);
        VirtualSet set(doc);
        const Dispor::ConfigPtr config = fetch();
        ASSERT_TRUE(config);
        c.change(*byName(config, outputName));
        EXPECT_EQ(apply(config), c.reason);
        if (!c.reason.empty())
            EXPECT_EQ(set.read(), doc) << "a refusal writes nothing";
        else
            EXPECT_NE(set.read(), doc);
    }
}

TEST(Refusals, EachPropertyNeedsItsCapability)
{
    const auto needs = [](const char *setting, const char *lack) {
        return std::string("A: cannot change ") + setting + ": the output " + lack;
    };
    const Dispor::ModeInfo custom{1280, 720, 60.0f, 1, std::nullopt};
    expectApplies(
        bareAndFull, "A",
        {
            {"hdr", [](O &o) { o.setHdrEnabled(true); }, needs("HDR", "has no HDR support")},
            {"sdr brightness", [](O &o) { o.setSdrBrightness(300); },
             needs("the SDR brightness", "has no HDR support")},
            {"sdr gamut", [](O &o) { o.setSdrGamutWideness(0.5); },
             needs("the SDR gamut", "has no HDR support")},
            {"peak override", [](O &o) { o.setMaxPeakBrightnessOverride(500.0); },
             needs("the maximum peak brightness override", "has no HDR support")},
            {"average override", [](O &o) { o.setMaxAverageBrightnessOverride(0.04); },
             needs("the maximum average brightness override", "has no HDR support")},
            {"min override", [](O &o) { o.setMinBrightnessOverride(500.0); },
             needs("the minimum brightness override", "has no HDR support")},
            {"wcg", [](O &o) { o.setWcgEnabled(true); },
             needs("wide colour gamut", "has no wide colour gamut support")},
            {"brightness", [](O &o) { o.setBrightness(0.5); },
             needs("the brightness", "has no brightness control")},
            {"dimming", [](O &o) { o.setDimming(0.5); }, needs("the dimming", "has no brightness control")},
            {"auto brightness", [](O &o) { o.setAutomaticBrightness(true); },
             needs("automatic brightness", "has no automatic brightness")},
            {"icc", [](O &o) { o.setIccProfilePath("/x.icc"); },
             needs("the ICC profile", "takes no ICC profile")},
            {"hdr icc", [](O &o) { o.setHdrIccProfilePath("/x.icc"); },
             needs("the HDR ICC profile", "takes no HDR ICC profile")},
            {"hdr source", [](O &o) { o.setHdrColorProfileSource(O::ColorProfileSource::ICC); },
             needs("the HDR colour profile source", "takes no HDR ICC profile")},
            {"source", [](O &o) { o.setColorProfileSource(O::ColorProfileSource::EDID); },
             "A: cannot change the colour profile source: the output takes no ICC profile and has no "
             "built-in colour profile"},
            {"vrr", [](O &o) { o.setVrrPolicy(O::VrrPolicy::Never); },
             needs("the VRR policy", "has no VRR support")},
            {"rgb range", [](O &o) { o.setRgbRange(O::RgbRange::Full); },
             needs("the RGB range", "has no RGB range setting")},
            {"overscan", [](O &o) { o.setOverscan(3); }, needs("the overscan", "has no overscan control")},
            {"auto rotate", [](O &o) { o.setAutoRotatePolicy(O::AutoRotatePolicy::Always); },
             needs("automatic rotation", "has no automatic rotation")},
            {"ddc/ci", [](O &o) { o.setDdcCiAllowed(true); },
             needs("the DDC/CI permission", "has no DDC/CI")},
            {"maxbpc", [](O &o) { o.setMaxBitsPerColor(8); },
             needs("the maximum bits per colour", "has no setting for the bits per colour")},
            {"edr", [](O &o) { o.setEdrPolicy(O::EdrPolicy::Always); },
             needs("the EDR policy", "has no EDR support")},
            {"sharpness", [](O &o) { o.setSharpness(0.5); },
             needs("the sharpness", "has no sharpness control")},
            {"abm", [](O &o) { o.setAbmLevel(2); },
             needs("adaptive backlight modulation", "has no adaptive backlight modulation")},
            {"custom modes", [custom](O &o) { o.setCustomModes({custom}); },
             needs("custom modes", "takes no custom modes")},
            {"disable", [](O &o) { o.setEnabled(false); },
             "A: cannot disable the output: the output cannot be switched off"},
            // Needing no capability:
            {"pos",
             [](O &o) {
                 o.setPos({5, 5});
             },
             ""},
            {"scale", [](O &o) { o.setScale(2); }, ""},
            {"rotation", [](O &o) { o.setRotation(O::Rotation::Left); }, ""},
            {"tradeoff", [](O &o) { o.setColorPowerPreference(O::ColorPowerTradeoff::PreferAccuracy); }, ""},
            {"replica", [](O &o) { o.setReplicationSource(2); }, ""},
        });
}

TEST(Refusals, WithTheCapabilityTheSameChangesApply)
{
    const Dispor::ModeInfo custom{1280, 720, 60.0f, 1, std::nullopt};
    expectApplies(bareAndFull, "B",
                  {
                      {"hdr", [](O &o) { o.setHdrEnabled(true); }, ""},
                      {"sdr brightness", [](O &o) { o.setSdrBrightness(300); }, ""},
                      {"min override", [](O &o) { o.setMinBrightnessOverride(0.0); }, ""},
                      {"source", [](O &o) { o.setColorProfileSource(O::ColorProfileSource::EDID); }, ""},
                      {"custom modes", [custom](O &o) { o.setCustomModes({custom}); }, ""},
                      {"disable", [](O &o) { o.setEnabled(false); }, ""},
                      {"empty icc path",
                       [](O &o) {
                           o.setIccProfilePath("");
                           o.setHdrIccProfilePath("x");
                           o.setHdrIccProfilePath("");
                           o.setAbmLevel(1);
                       },
                       ""},
                  });
}

TEST(Refusals, EitherColourCapabilityAllowsTheProfileSource)
{
    for (const char *capability : {"icc", "builtin-color-profile"}) {
        SCOPED_TRACE(capability);
        VirtualSet set(document(output(1, "A", std::string("\"capabilities\": [\"") + capability + "\"]")));
        const Dispor::ConfigPtr config = fetch();
        ASSERT_TRUE(config);
        config->output(1)->setColorProfileSource(O::ColorProfileSource::ICC);
        EXPECT_EQ(apply(config), "");
        EXPECT_EQ(fetch()->output(1)->colorProfileSource(), O::ColorProfileSource::ICC);
    }
}

TEST(Refusals, OutOfRangeValuesModesAndSources)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    expectApplies(
        bareAndFull, "B",
        {
            {"scale zero", [](O &o) { o.setScale(0); }, "B: \"scale\" must be greater than 0, not 0"},
            {"scale negative", [](O &o) { o.setScale(-1.5); },
             "B: \"scale\" must be greater than 0, not -1.5"},
            {"scale nan", [nan](O &o) { o.setScale(nan); }, "B: \"scale\" must be greater than 0, not nan"},
            {"scale infinite", [inf](O &o) { o.setScale(inf); },
             "B: \"scale\" must be greater than 0, not inf"},
            {"brightness", [](O &o) { o.setBrightness(1.5); },
             "B: \"brightness\" must be from 0 to 1, not 1.5"},
            {"dimming", [](O &o) { o.setDimming(-0.5); }, "B: \"dimming\" must be from 0 to 1, not -0.5"},
            {"sharpness nan", [nan](O &o) { o.setSharpness(nan); },
             "B: \"sharpness\" must be from 0 to 1, not nan"},
            {"gamut", [](O &o) { o.setSdrGamutWideness(1.01); },
             "B: \"sdrGamutWideness\" must be from 0 to 1, not 1.01"},
            {"override negative", [](O &o) { o.setMaxPeakBrightnessOverride(-1.0); },
             "B: \"maxPeakBrightnessOverride\" must be at least 0, not -1"},
            {"override infinite", [inf](O &o) { o.setMinBrightnessOverride(inf); },
             "B: \"minBrightnessOverride\" must be at least 0, not inf"},
            {"size",
             [](O &o) {
                 o.setSize({0, 0});
             },
             "B: \"size.width\" must be at least 1, not 0"},
            {"logical size",
             [](O &o) {
                 o.setExplicitLogicalSize({10, 0});
             },
             "B: \"explicitLogicalSize.height\" must be greater than 0, not 0"},
            {"logical size past 32 bits", [](O &o) { o.setScale(1e-7); },
             "B: the logical size 19200000000x10800000000 (the size 1920x1080 at the scale 1e-07) does not "
             "fit "
             "32-bit integers"},
            {"explicit logical size past 32 bits",
             [](O &o) {
                 o.setExplicitLogicalSize({1e10, 10});
             },
             "B: \"explicitLogicalSize\" 10000000000x10 does not fit 32-bit integers"},
            {"edge past 32 bits",
             [](O &o) {
                 o.setPos({2147483647 - 1919, 0});
             },
             "B: \"pos\" 2147481728,0 with the logical size 1920x1080 puts an edge outside 32-bit integers"},
            {"last edge in 32 bits",
             [](O &o) {
                 o.setPos({2147483647 - 1920, -2147483647 - 1});
             },
             ""},
            {"equal custom modes",
             [](O &o) {
                 o.setCustomModes({{1280, 720, 60.0f, 1, std::nullopt}, {1280, 720, 60.0f, 1, std::nullopt}});
             },
             "B: \"customModes[1]\" is the same as \"customModes[0]\""},
            {"rotation value", [](O &o) { o.setRotation(static_cast<O::Rotation>(3)); },
             "B: \"rotation\" must be one of normal, 90, 180, 270, flipped, flipped90, flipped180, "
             "flipped270, not 3"},
            {"custom mode width",
             [](O &o) {
                 o.setCustomModes({{0, 720, 60.0f, 1, std::nullopt}});
             },
             "B: \"customModes[0].width\" must be at least 1, not 0"},
            {"custom mode rate",
             [](O &o) {
                 o.setCustomModes({{1280, 720, float(NAN), 1, std::nullopt}});
             },
             "B: \"customModes[0].refreshRate\" must be greater than 0, not nan"},
            {"unknown mode", [](O &o) { o.setCurrentModeId("nope"); },
             "B: \"currentModeId\" \"nope\" is not one of the output's modes"},
            {"mirror itself", [](O &o) { o.setReplicationSource(2); },
             "B: \"replicationSource\" names the output itself"},
            {"mirror nothing", [](O &o) { o.setReplicationSource(9); },
             "B: \"replicationSource\" 9 is no existing output"},
            {"mirror A", [](O &o) { o.setReplicationSource(1); }, ""},
        });
}

TEST(Refusals, IccProfilePathsMustNameReadableProfiles)
{
    TempDir files;
    const std::string profile = files.file("good.icc");
    writeFile(profile, std::string(36, '\0') + "acsp" + std::string(100, '\0'));
    const std::string other = files.file("bad.icc");
    writeFile(other, std::string(36, '\0') + "nope" + std::string(100, '\0'));
    const std::string shortFile = files.file("short.icc");
    writeFile(shortFile, std::string(38, '\0'));
    const std::string missing = files.file("missing.icc");
    const QString q = QString::fromStdString(profile);
    expectApplies(
        bareAndFull, "B",
        {
            {"profile", [q](O &o) { o.setIccProfilePath(q); }, ""},
            {"hdr profile", [q](O &o) { o.setHdrIccProfilePath(q); }, ""},
            {"missing", [&](O &o) { o.setIccProfilePath(QString::fromStdString(missing)); },
             "B: cannot set the ICC profile to \"" + missing +
                 "\": the file cannot be read: No such file or directory"},
            {"wrong signature", [&](O &o) { o.setIccProfilePath(QString::fromStdString(other)); },
             "B: cannot set the ICC profile to \"" + other + "\": the file is not an ICC profile"},
            {"too short", [&](O &o) { o.setHdrIccProfilePath(QString::fromStdString(shortFile)); },
             "B: cannot set the HDR ICC profile to \"" + shortFile + "\": the file is not an ICC profile"},
            {"directory", [&](O &o) { o.setIccProfilePath(QString::fromStdString(files.path())); },
             "B: cannot set the ICC profile to \"" + files.path() + "\": the file is not an ICC profile"},
            {"line break", [&](O &o) { o.setIccProfilePath(QString::fromStdString(files.file("a\nb.icc"))); },
             "B: cannot set the ICC profile to \"" + files.path() +
                 "/a\\u000ab.icc\": the file cannot be read: No such file or directory"},
        });
    VirtualSet set(bareAndFull);
    Dispor::ConfigPtr config = fetch();
    byName(config, "B")->setIccProfilePath(q);
    ASSERT_EQ(apply(config), "");
    EXPECT_EQ(byName(fetch(), "B")->iccProfilePath(), q);
}

// What is not a regular file is refused without being opened: opening a
// device or a FIFO can act on it (a FIFO's writer would be let through).
TEST(Refusals, AnIccProfileThatIsNoRegularFileIsNotOpened)
{
    TempDir files;
    const std::string fifo = files.file("profile.icc");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, fifo.c_str(), IN_OPEN), 0);
    VirtualSet set(bareAndFull);
    Dispor::ConfigPtr config = fetch();
    byName(config, "B")->setIccProfilePath(QString::fromStdString(fifo));
    EXPECT_EQ(apply(config),
              "B: cannot set the ICC profile to \"" + fifo + "\": the file is not an ICC profile");
    char events[256];
    EXPECT_LT(::read(watch, events, sizeof events), 0) << "the FIFO was opened";
    ::close(watch);
    EXPECT_EQ(set.read(), bareAndFull);
}

TEST(Refusals, TheLastConnectedEnabledOutputCannotBeDisabled)
{
    const std::string doc =
        document(output(1, "A", R"("capabilities": ["disable"])") + "," +
                 output(2, "B", R"("capabilities": ["disable"], "connected": false)") + "," +
                 output(3, "C", R"("capabilities": ["disable"], "enabled": false)"));
    VirtualSet set(doc);
    Dispor::ConfigPtr config = fetch();
    config->output(1)->setEnabled(false);
    EXPECT_EQ(apply(config), "A: disabling it leaves no connected output enabled");
    EXPECT_EQ(set.read(), doc);

    // Switching another one on in the same snapshot makes it fine.
    config->output(3)->setEnabled(true);
    EXPECT_EQ(apply(config), "");
    const Dispor::ConfigPtr after = fetch();
    EXPECT_FALSE(after->output(1)->isEnabled());
    EXPECT_TRUE(after->output(3)->isEnabled());
}

TEST(Refusals, WhereNoOutputWasLitDisablingIsNoConcern)
{
    VirtualSet set(document(output(1, "A", R"("capabilities": ["disable"], "enabled": false)") + "," +
                            output(2, "B", R"("capabilities": ["disable"], "connected": false)")));
    Dispor::ConfigPtr config = fetch();
    config->output(2)->setEnabled(false);
    EXPECT_EQ(apply(config), "");
    EXPECT_FALSE(fetch()->output(2)->isEnabled());
}

TEST(Refusals, SettingTheValueAnOutputHasIsNoChange)
{
    // A lacks every capability, yet none of these is refused.
    VirtualSet set(bareAndFull);
    const Dispor::ConfigPtr config = fetch();
    const Dispor::OutputPtr a = byName(config, "A");
    a->setEnabled(true);
    a->setHdrEnabled(false);
    a->setWcgEnabled(false);
    a->setBrightness(1.0);
    a->setDimming(1.0);
    a->setSharpness(0.0);
    a->setSdrBrightness(200);
    a->setSdrGamutWideness(0);
    a->setMaxPeakBrightnessOverride(std::nullopt);
    a->setAutomaticBrightness(false);
    a->setDdcCiAllowed(false);
    a->setIccProfilePath("");
    a->setHdrIccProfilePath("");
    a->setColorProfileSource(O::ColorProfileSource::sRGB);
    a->setHdrColorProfileSource(O::ColorProfileSource::EDID);
    a->setRgbRange(O::RgbRange::Automatic);
    a->setVrrPolicy(O::VrrPolicy::Automatic);
    a->setAutoRotatePolicy(O::AutoRotatePolicy::InTabletMode);
    a->setEdrPolicy(O::EdrPolicy::Never);
    a->setOverscan(0);
    a->setAbmLevel(0);
    a->setMaxBitsPerColor(0);
    a->setCustomModes({});
    a->setSize({1920, 1080});
    a->setCurrentModeId("1");
    // Changed and changed back within the snapshot.
    a->setHdrEnabled(true);
    a->setHdrEnabled(false);
    EXPECT_EQ(apply(config), "");
}

TEST(Refusals, ADocumentReplacedSinceTheFetchIsAConflict)
{
    VirtualSet set(bareAndFull);
    Dispor::ConfigPtr config = fetch();
    byName(config, "B")->setScale(2);
    set.write(document(output(1, "A")));
    EXPECT_EQ(apply(config), "conflict: " + set.path() + ": the document changed since it was read");
    EXPECT_EQ(set.read(), document(output(1, "A")));
}

// A display server, as the real backends are: it keeps nothing of a
// disabled output, and counts what reaches it.
class Server : public Dispor::Backend {
public:
    QString name() const override { return QStringLiteral("server"); }
    bool fetch(Dispor::ConfigPtr *, QString *) override { return false; }
    Dispor::Applied apply(const Dispor::Config &, QByteArray *, QString *) override
    {
        ++applies;
        return Dispor::Applied::Done;
    }
    bool setDpms(O::DpmsMode, QString *) override { return false; }

    int applies = 0;
};

TEST(Refusals, OnAServerADisabledOutputTakesNoNewPlaceOrShape)
{
    const std::string doc = document(
        output(1, "A") + "," + output(2, "C", R"("enabled": false, "capabilities": ["disable", "brightness"],
        "modes": [{"id": "1", "width": 800, "height": 600, "refreshRate": 60}], "currentModeId": "1")"));
    const std::string refusal = "C is disabled: enable it first (set-enabled true)";
    const std::vector<Change> changes = {
        // Even to the value it has: the server would still drop it.
        {"position", [](O &o) { o.setPos(o.pos()); }, refusal},
        {"mode", [](O &o) { o.setCurrentModeId("1"); }, refusal},
        {"size",
         [](O &o) {
             o.setSize({800, 600});
         },
         refusal},
        {"scale", [](O &o) { o.setScale(2); }, refusal},
        {"rotation", [](O &o) { o.setRotation(O::Rotation::Left); }, refusal},
        {"logical size",
         [](O &o) {
             o.setExplicitLogicalSize({400, 300});
         },
         refusal},
        {"mirroring", [](O &o) { o.setReplicationSource(1); }, refusal},
        // Switched on in the same snapshot, it takes them.
        {"enabled and scaled",
         [](O &o) {
             o.setScale(2);
             o.setEnabled(true);
         },
         ""},
        {"a setting that is not its place", [](O &o) { o.setBrightness(0.5); }, ""},
    };
    // Switched off by the apply, A is moved by the layout rules as it goes.
    {
        VirtualSet set(doc);
        const Dispor::ConfigPtr config = fetch();
        Dispor::originOf(*config).backend = std::make_shared<Server>();
        byName(config, "A")->setPos({0, 0});
        byName(config, "A")->setEnabled(false);
        EXPECT_EQ(apply(config), "");
    }
    for (const Change &c : changes) {
        SCOPED_TRACE(c.name);
        VirtualSet set(doc);
        const Dispor::ConfigPtr config = fetch();
        auto server = std::make_shared<Server>();
        Dispor::originOf(*config).backend = server;
        c.change(*byName(config, "C"));
        EXPECT_EQ(apply(config), c.reason);
        EXPECT_EQ(server->applies, c.reason.empty() ? 1 : 0);
    }
    // A rank too, in the same words; the simulated set keeps its own.
    VirtualSet set(doc);
    const Dispor::ConfigPtr config = fetch();
    config->setOutputPriority(byName(config, "C"), 1);
    EXPECT_EQ(apply(config), "C: a disabled output has no place in the ranking of priorities");
    Dispor::originOf(*config).backend = std::make_shared<Server>();
    EXPECT_EQ(apply(config), refusal);
    // Once applied, what was set is no longer asked of the next apply.
    const Dispor::ConfigPtr again = fetch();
    auto server = std::make_shared<Server>();
    Dispor::originOf(*again).backend = server;
    byName(again, "A")->setPos({0, 0});
    ASSERT_EQ(apply(again), "");
    byName(again, "A")->setEnabled(false);
    byName(again, "C")->setEnabled(true);
    EXPECT_EQ(apply(again), "");
    EXPECT_EQ(server->applies, 2);
}

} // namespace
} // namespace dispor_test
