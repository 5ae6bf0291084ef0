// The X11 backend's planner on hand-made server states: no server,
// milliseconds.

#include "states.h"

namespace x11 {
namespace {

struct Place {
    xcb_randr_mode_t mode;
    int x, y;
    QList<xcb_randr_output_t> outputs;
    bool operator==(const Place &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Place &p)
{
    os << p.mode << "@" << p.x << "," << p.y << " [";
    for (const auto o : p.outputs)
        os << o << " ";
    return os << "]";
}

std::map<xcb_randr_crtc_t, Place> places(const Plan &plan)
{
    std::map<xcb_randr_crtc_t, Place> result;
    for (auto it = plan.layout.crtcs.cbegin(); it != plan.layout.crtcs.cend(); ++it)
        result[it.key()] = {it->mode, it->x, it->y, it->outputs};
    return result;
}

TEST(X11Plan, NothingAskedIsNothingToDo)
{
    Snapshot s;
    EXPECT_FALSE(s.planned().changed);
}

TEST(X11Plan, EveryChangedPropertyIsAChange)
{
    // What the Xwayland check and the planner go by: a property the server
    // cannot carry is still asked for, and refused; power goes elsewhere.
    const Data fetched = Snapshot().described[dp1];
    const std::pair<std::function<void(Data &)>, bool> cases[] = {
        {[](Data &) {}, false},
        {[](Data &d) { d.dpms = Dispor::Output::DpmsMode::Off; }, false},
        {[](Data &d) {
             d.pos = {1, 0};
         },
         true},
        {[](Data &d) { d.hdrEnabled = true; }, true},
        {[](Data &d) { d.sharpness = 0.5; }, true},
        {[](Data &d) { d.dimming = 0.5; }, true},
    };
    for (const auto &[change, changes] : cases) {
        Data wanted = fetched;
        change(wanted);
        EXPECT_EQ(changesAnything(fetched, wanted), changes);
    }
}

TEST(X11Plan, CrtcsScreenAndPlaces)
{
    struct Case {
        const char *what;
        std::function<void(Snapshot &)> change;
        std::map<xcb_randr_crtc_t, Place> crtcs;
        int width, height;
    };
    const Place off{XCB_NONE, 0, 0, {}};
    const Case cases[] = {
        {"switched on: the idle CRTC, right of the others",
         [](Snapshot &s) { s[hdmi].enabled = true; },
         {{c1, {big, 0, 0, {dp1}}}, {c2, {big, 1920, 0, {dp2}}}, {c3, {big, 3840, 0, {hdmi}}}},
         5760,
         1080},
        {"switched off: its CRTC too, and the screen shrinks",
         [](Snapshot &s) { s[dp2].enabled = false; },
         {{c1, {big, 0, 0, {dp1}}}, {c2, off}, {c3, off}},
         1920,
         1080},
        {"the left one switched off: the layout starts at the origin still",
         [](Snapshot &s) { s[dp1].enabled = false; },
         {{c1, off}, {c2, {big, 0, 0, {dp2}}}, {c3, off}},
         1920,
         1080},
        {"moved away from the origin: the layout goes back",
         [](Snapshot &s) {
             s[dp1].pos = {0, 300};
             s[dp2].pos = {1920, 200};
         },
         {{c1, {big, 0, 100, {dp1}}}, {c2, {big, 1920, 0, {dp2}}}, {c3, off}},
         3840,
         1180},
        {"a smaller mode keeps the CRTC",
         [](Snapshot &s) { s[dp2].currentModeId = QString::number(small); },
         {{c1, {big, 0, 0, {dp1}}}, {c2, {small, 1920, 0, {dp2}}}, {c3, off}},
         3200,
         1080},
        {"left of the origin: the layout moves in whole",
         [](Snapshot &s) {
             s[dp2].pos = {-1920, -100};
         },
         {{c1, {big, 1920, 100, {dp1}}}, {c2, {big, 0, 0, {dp2}}}, {c3, off}},
         3840,
         1180},
        {"right of the origin, farther than an X screen reaches there: the layout goes back",
         [](Snapshot &s) {
             s[dp1].pos = {31000, 0};
             s[dp2].pos = {32920, 0};
         },
         {{c1, {big, 0, 0, {dp1}}}, {c2, {big, 1920, 0, {dp2}}}, {c3, off}},
         3840,
         1080},
        {"below, with a gap the user chose",
         [](Snapshot &s) {
             s[dp2].pos = {100, 2000};
         },
         {{c1, {big, 0, 0, {dp1}}}, {c2, {big, 100, 2000, {dp2}}}, {c3, off}},
         2020,
         3080},
        {"a quarter turn turns the area",
         [](Snapshot &s) { s[dp2].rotation = Rotation::Left; },
         {{c1, {big, 0, 0, {dp1}}}, {c2, {big, 1920, 0, {dp2}}}, {c3, off}},
         3000,
         1920},
    };
    for (const Case &c : cases) {
        Snapshot s;
        c.change(s);
        const Plan plan = s.planned();
        EXPECT_TRUE(plan.changed) << c.what;
        EXPECT_EQ(places(plan), c.crtcs) << c.what;
        EXPECT_EQ(plan.layout.width, c.width) << c.what;
        EXPECT_EQ(plan.layout.height, c.height) << c.what;
    }
}

// What a disabled output comes back with where Xorg's dummy driver cannot
// show it: its record's scale, nothing of another monitor's record, and
// without a record no place of its own.
TEST(X11Plan, SwitchedOnAsItWas)
{
    ServerState scalable = threeOutputs();
    for (CrtcState &crtc : scalable.crtcs)
        crtc.transforms = true;
    const auto record = [](const QString &uuid) {
        return Dispor::RememberedOutputs{
            {u"HDMI-1"_qs,
             {uuid, QString::number(small), QSize(1280, 1024), 60, 2, Rotation::None, {0, 1080}}}};
    };
    Snapshot own(scalable, record(describe(scalable)[hdmi].uuid));
    Snapshot other(scalable, record(u"another monitor"_qs));
    EXPECT_TRUE(own.described[hdmi].placementKnown);
    EXPECT_FALSE(other.described[hdmi].placementKnown);
    own[hdmi].enabled = other[hdmi].enabled = true;
    const Plan plan = own.planned();
    EXPECT_EQ(places(plan)[c3], (Place{small, 0, 1080, {hdmi}}));
    EXPECT_EQ(plan.layout.crtcs[c3].transform, scaleTransform(2));
    EXPECT_EQ(places(other.planned())[c3], (Place{big, 3840, 0, {hdmi}}));

    // Right of the layout, even where the origin would be free and joined.
    ServerState dp1Off = threeOutputs();
    dp1Off.crtcs[c1] = crtc(c1, {}, 0);
    dp1Off.outputs[dp1].crtc = XCB_NONE;
    Snapshot unknown(dp1Off);
    unknown[dp1].enabled = true;
    EXPECT_EQ(places(unknown.planned())[c1], (Place{big, 1920, 0, {dp1}}));
}

TEST(X11Plan, Refusals)
{
    struct Case {
        std::function<void(Snapshot &)> change;
        std::string reason;
    };
    const Case cases[] = {
        {[](Snapshot &s) {
             s.now.outputs[hdmi].crtcs = {c1};
             s[hdmi].enabled = true;
         },
         "HDMI-1: no CRTC is free to drive the output"},
        {[](Snapshot &s) {
             s.now.maxWidth = 3000;
             s[hdmi].enabled = true;
         },
         "the layout needs a screen of 5760x1080, larger than the 3000x8192 the X server allows"},
        {[](Snapshot &s) {
             s.now.crtcs[c2].rotations = 1;
             s[dp2].rotation = Rotation::Left;
         },
         "DP-2: the output's CRTC cannot show the rotation \"90\""},
        {[](Snapshot &s) {
             s[dp1].enabled = false;
             s[dp2].enabled = false;
         },
         "DP-1: disabling it leaves no connected output enabled"},
        {[](Snapshot &s) {
             s[hdmi].pos = {10, 10};
         },
         "HDMI-1: the output is disabled, so it has no position to set"},
        {[](Snapshot &s) { s[dp1].currentModeId = u"999"_qs; },
         "DP-1: the mode \"999\" is not one of the output's modes"},
        {[](Snapshot &s) { s[dp1].replicationSource = hdmi; },
         "DP-1: cannot mirror HDMI-1, which is disabled"},
        // The refusals name what is wrong where a mirror stands in the way.
        {[](Snapshot &s) {
             s = Snapshot(dp1MirrorsDp2());
             s[dp2].enabled = false;
         },
         "DP-2: cannot be disabled while DP-1 mirrors it; end that mirror first"},
        {[](Snapshot &s) {
             s = Snapshot(dp1MirrorsDp2());
             s[dp2].replicationSource = dp1;
         },
         "DP-2: cannot mirror DP-1, which mirrors DP-2; end that mirror first"},
        {[](Snapshot &s) {
             s = Snapshot(dp1MirrorsDp2());
             s[hdmi].enabled = true;
             s[hdmi].replicationSource = dp1;
         },
         "HDMI-1: cannot mirror DP-1, which mirrors DP-2"},
        {[](Snapshot &s) { s[dp1].replicationSource = 77; }, "DP-1: the replication source 77 is no output"},
        {[](Snapshot &s) {
             s[dp1].pos = {32000, 0};
         },
         "the layout needs a screen of 32000x1080, larger than the 8192x8192 the X server allows"},
        {[](Snapshot &s) {
             s.now.maxWidth = 65535;
             s[dp1].pos = {40000, 0};
         },
         "DP-1: the position 38080,0 lies beyond what an X screen can hold"},
        {[](Snapshot &s) {
             s[dp1].pos = {-2000000000, 0};
             s[dp2].pos = {2000000000, 0};
         },
         "the layout spans more than an X screen can hold"},
    };
    for (const Case &c : cases) {
        Snapshot s;
        c.change(s);
        EXPECT_EQ(s.refusal(), c.reason);
    }
}

TEST(X11Plan, SwitchingOffADisconnectedOutputDarkensNothing)
{
    // DP-1 unplugged but still on its CRTC, the connected outputs off: its
    // CRTC may go, as no connected output was lit before either.
    ServerState state = threeOutputs();
    state.outputs[dp1].connected = false;
    state.outputs[dp2].crtc = 0;
    state.crtcs[c2] = crtc(c2, {}, 0);
    Snapshot s(state);
    s[dp1].enabled = false;
    EXPECT_EQ(places(s.planned())[c1], (Place{XCB_NONE, 0, 0, {}}));
}

TEST(X11Plan, MirroringKeepsItsDirectionAndStartsAtTheOrigin)
{
    // The output at the origin mirrors the one right of it.
    Snapshot s;
    s[dp1].replicationSource = dp2;
    Plan plan = s.planned();
    EXPECT_EQ(places(plan)[c1], (Place{big, 0, 0, {dp1}}));
    EXPECT_EQ(places(plan)[c2], (Place{big, 0, 0, {dp2}}));
    EXPECT_EQ(plan.layout.width, 1920);
    ASSERT_EQ(plan.marks.size(), 1);
    EXPECT_EQ(plan.marks[0].output, dp1);
    EXPECT_EQ(plan.marks[0].source, dp2);

    // As the server then holds it: the mark gives the direction.
    ServerState mirrored = dp1MirrorsDp2();
    Snapshot read(mirrored);
    EXPECT_EQ(read[dp1].replicationSource, int(dp2));
    EXPECT_EQ(read[dp2].replicationSource, 0);
    // Another client has set the configuration since: the mark may tell of
    // a mirror that is no more, and the primary is the source, as without it.
    mirrored.timestamp += 1;
    EXPECT_EQ(Snapshot(mirrored)[dp2].replicationSource, int(dp1));
    EXPECT_EQ(Snapshot(mirrored)[dp1].replicationSource, 0);
    mirrored.timestamp -= 1;
    mirrored.outputs[dp1].properties.clear();
    EXPECT_EQ(Snapshot(mirrored)[dp2].replicationSource, int(dp1));
    EXPECT_EQ(Snapshot(mirrored)[dp1].replicationSource, 0);
    // A third may mirror the source.
    read[hdmi].enabled = true;
    read[hdmi].replicationSource = dp2;
    plan = read.planned();
    EXPECT_EQ(places(plan)[c3], (Place{big, 0, 0, {hdmi}}));
    // The mirror kept is marked again, for the configuration the apply leaves.
    ASSERT_EQ(plan.marks.size(), 2);
    EXPECT_EQ((std::pair{plan.marks[0].output, plan.marks[0].source}), (std::pair{dp1, dp2}));
    EXPECT_EQ((std::pair{plan.marks[1].output, plan.marks[1].source}), (std::pair{hdmi, dp2}));

    // The replica ends it: right of the others, its mark gone.
    Snapshot ending(mirrored);
    ending.now.outputs[dp1].properties.insert(replicaOf, mark(dp2, ending.now.timestamp));
    ending = Snapshot(ending.now);
    ending[dp1].replicationSource = 0;
    plan = ending.planned();
    EXPECT_EQ(places(plan)[c1], (Place{big, 1920, 0, {dp1}}));
    EXPECT_EQ(places(plan)[c2], (Place{big, 0, 0, {dp2}}));
    ASSERT_EQ(plan.marks.size(), 1);
    EXPECT_EQ(plan.marks[0].source, XCB_NONE);

    // The place a replica leaves between others is closed up.
    Snapshot three;
    three.now.crtcs[c3] = crtc(c3, {hdmi}, 3840);
    three.now.outputs[hdmi].crtc = c3;
    three = Snapshot(three.now);
    three[dp2].replicationSource = hdmi;
    plan = three.planned();
    EXPECT_EQ(places(plan)[c2], (Place{big, 1920, 0, {dp2}}));
    EXPECT_EQ(places(plan)[c3], (Place{big, 1920, 0, {hdmi}}));
    EXPECT_EQ(plan.layout.width, 3840);
}

TEST(X11Plan, PrimaryOnlyWhereARequestNamesIt)
{
    ServerState none = threeOutputs();
    none.primary = XCB_NONE;
    Snapshot s(none);
    EXPECT_EQ(s[dp1].priority, 2u);
    EXPECT_EQ(s[dp2].priority, 3u);
    EXPECT_FALSE(s.config->primaryOutput());

    // What the server can keep is done; the rest is refused rather than
    // reported done and read back otherwise.
    const std::string refused = ": cannot change the priority: X11 keeps one primary output and no ranking";
    struct Case {
        xcb_randr_output_t serverPrimary;
        xcb_randr_output_t output;
        uint32_t priority;
        std::variant<std::optional<xcb_randr_output_t>, std::string>
            outcome; // the primary set, or the refusal
    };
    const Case cases[] = {
        {XCB_NONE, dp1, 2, std::nullopt}, // as it reads: nothing to do
        {XCB_NONE, dp2, 3, std::nullopt},
        {XCB_NONE, dp2, 2, "DP-2" + refused}, // it would still read 3
        {XCB_NONE, dp2, 1, dp2},
        {dp1, dp2, 1, dp2},
        {dp1, dp1, 2, dp2}, // the primary moved down leaves it to the one that takes its place
        {dp1, dp2, 2, std::nullopt},
        {dp1, dp1, 1, std::nullopt},
        {dp1, dp2, 3, "DP-2" + refused},
        {dp1, dp1, 3, "DP-1" + refused}, // it would read 2 behind DP-2
    };
    for (const Case &c : cases) {
        ServerState state = threeOutputs();
        state.primary = c.serverPrimary;
        Snapshot snapshot(state);
        snapshot.config->setOutputPriority(snapshot.config->output(c.output), c.priority);
        if (const auto *refusal = std::get_if<std::string>(&c.outcome))
            EXPECT_EQ(snapshot.refusal(), *refusal)
                << c.serverPrimary << " " << c.output << " " << c.priority;
        else
            EXPECT_EQ(snapshot.planned().primary, std::get<0>(c.outcome))
                << c.serverPrimary << " " << c.output << " " << c.priority;
    }

    // A primary that is switched off ranks nobody first.
    ServerState off = threeOutputs();
    off.primary = hdmi;
    EXPECT_FALSE(Snapshot(off).config->primaryOutput());
}

// A night light's 4500 K: three straight ramps whose tops differ.
QList<uint16_t> rampTo(uint16_t top)
{
    QList<uint16_t> ramp;
    for (int i = 0; i < 256; ++i)
        ramp.append(uint16_t(std::lround(i * double(top) / 255)));
    return ramp;
}

TEST(X11Plan, BrightnessKeepsTheColourBalance)
{
    ServerState state = threeOutputs();
    CrtcState &tinted = state.crtcs[c1];
    tinted.red = rampTo(65280);
    tinted.green = rampTo(56702);
    tinted.blue = rampTo(48104);
    const CrtcState tint = tinted;
    EXPECT_EQ(describe(state)[dp1].brightness, 1.0);

    const auto planned = [&state](double brightness) {
        Snapshot s(state);
        s[dp1].brightness = brightness;
        const Plan plan = s.planned();
        EXPECT_EQ(plan.gamma.size(), 1);
        return plan.gamma.value(0);
    };
    // Every step of every channel scaled alike.
    GammaWrite write = planned(0.8);
    for (qsizetype i = 0; i < 256; ++i) {
        EXPECT_EQ(write.red[i], std::lround(tint.red[i] * 0.8)) << i;
        EXPECT_EQ(write.green[i], std::lround(tint.green[i] * 0.8)) << i;
        EXPECT_EQ(write.blue[i], std::lround(tint.blue[i] * 0.8)) << i;
    }
    hold(state, write);
    EXPECT_EQ(describe(state)[dp1].brightness, 0.8);
    // Down to 0 and back: the record brings the tint back as it was.
    hold(state, planned(0));
    EXPECT_EQ(state.crtcs[c1].red, QList<uint16_t>(256, 0));
    EXPECT_EQ(describe(state)[dp1].brightness, 0.0);
    EXPECT_TRUE(describe(state)[dp1].capabilities & Dispor::Output::Capability::BrightnessControl);
    hold(state, planned(1));
    EXPECT_EQ(state.crtcs[c1], tint);

    // Ramps another client wrote since: the record no longer holds. At half
    // of 65535 they read 0.5 and scale from there.
    tinted.red = tinted.green = tinted.blue = rampTo(32768);
    EXPECT_EQ(describe(state)[dp1].brightness, 0.5);
    write = planned(1);
    for (qsizetype i = 0; i < 256; ++i)
        EXPECT_NEAR(write.red[i], i * 257, 1) << i;

    // Ramps all at zero where no driver keeps them (Xwayland, Xvfb) or not
    // rising (Xvfb's uninitialised memory) say nothing, without our record.
    QList<uint16_t> noise = rampTo(65535);
    std::swap(noise[3], noise[200]);
    for (const QList<uint16_t> &meaningless : {QList<uint16_t>(256, 0), noise}) {
        tinted.red = tinted.green = tinted.blue = meaningless;
        const Data unknown = describe(state)[dp1];
        EXPECT_FALSE(unknown.capabilities & Dispor::Output::Capability::BrightnessControl);
        EXPECT_EQ(unknown.brightness, 1.0);
        Snapshot refused(state);
        refused[dp1].brightness = 0.5;
        EXPECT_EQ(refused.refusal(),
                  "DP-1: cannot change the brightness: the output has no brightness control");
    }
}

// A scale goes to the CRTC's transform: the CRTC then covers mode / scale
// of the screen, and the transform reads back as the scale given, also one
// that xrandr --scale set.
TEST(X11Plan, ScaleIsTheCrtcTransform)
{
    const std::pair<double, QSize> scales[] = {
        {1.25, {1536, 864}}, {1.5, {1280, 720}}, {2, {960, 540}},  {0.5, {3840, 2160}},
        {1.1, {1746, 982}},  {3, {640, 360}},    {10, {192, 108}}, {0.75, {2560, 1440}},
    };
    for (const auto &[scale, area] : scales) {
        EXPECT_EQ(scaleOf(scaleTransform(scale)), scale);
        EXPECT_EQ(transformedExtent({1920, 1080}, scaleTransform(scale)), area) << scale;
    }
    EXPECT_EQ(scaleTransform(1), Transform());
    // xrandr --scale 2x2, 1.3333x1.3333 and 2x1.
    EXPECT_EQ(scaleOf({{131072, 0, 0, 0, 131072, 0, 0, 0, 65536}, "bilinear"}), 0.5);
    EXPECT_NEAR(scaleOf({{87379, 0, 0, 0, 87379, 0, 0, 0, 65536}, "bilinear"}).value_or(0), 0.75002, 1e-6);
    EXPECT_EQ(scaleOf({{131072, 0, 0, 0, 65536, 0, 0, 0, 65536}, "bilinear"}), std::nullopt);

    ServerState state = threeOutputs();
    for (CrtcState &crtc : state.crtcs)
        crtc.transforms = true;
    state.crtcs[c2].transform = scaleTransform(1.5);
    state.crtcs[c2].width = 1280;
    state.crtcs[c2].height = 720;
    state.width = 3200;
    const QMap<int, Data> described = describe(state);
    EXPECT_EQ(described[dp2].scale, 1.5);
    EXPECT_EQ(described[dp2].explicitLogicalSize, QSizeF(1280, 720));
    EXPECT_EQ(described[dp1].scale, 1.0);

    // Scaled: the screen is the area the CRTCs cover; a scale kept keeps its
    // transform.
    Snapshot s(state);
    s[dp1].scale = 2;
    s[dp2].pos = {960, 0};
    Plan plan = s.planned();
    EXPECT_EQ(plan.layout.crtcs[c1].transform, scaleTransform(2));
    EXPECT_EQ(plan.layout.crtcs[c2].transform, scaleTransform(1.5));
    EXPECT_EQ(plan.layout.width, 960 + 1280);
    EXPECT_EQ(plan.layout.height, 720);
    Snapshot back(state);
    back[dp2].scale = 1;
    plan = back.planned();
    EXPECT_EQ(plan.layout.crtcs[c2].transform, Transform());
    EXPECT_EQ(plan.layout.width, 3840);

    // Refused where the driver has no transforms, and on a disabled output.
    Snapshot plain;
    plain[dp2].scale = 2;
    EXPECT_EQ(plain.refusal(), "DP-2: cannot change the scale: the output's CRTC takes no transform, by "
                               "which RandR scales an output");
    Snapshot off(state);
    off[hdmi].scale = 2;
    EXPECT_EQ(off.refusal(), "HDMI-1: the output is disabled, so it has no scale to set");

    // The transform of a CRTC not in use is read only for a plan that puts
    // an output on it or asks whether it could be scaled.
    ServerState unread = state;
    unread.crtcs[c3].transformRead = false;
    Snapshot moved(unread);
    moved[dp2].pos = {1920, 100};
    EXPECT_FALSE(moved.planned().transformsUnread);
    Snapshot enabled(unread);
    enabled[hdmi].enabled = true;
    EXPECT_TRUE(enabled.planned().transformsUnread);
    Snapshot scaled(unread);
    scaled[hdmi].enabled = true;
    scaled[hdmi].scale = 2;
    Plan asked;
    QString reason;
    planApply(scaled.now, scaled.described, *scaled.config, &asked, &reason);
    EXPECT_TRUE(asked.transformsUnread);
}

} // namespace
} // namespace x11
