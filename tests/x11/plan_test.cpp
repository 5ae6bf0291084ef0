// The X11 backend's description and planner on hand-made server states:
// no server, milliseconds.

#include "backend.h"
#include "reach.h"
#include "x11/description.h"
#include "x11/plan.h"

#include <dispor/config.h>

#include <gtest/gtest.h>

namespace x11 {
namespace {

using namespace Dispor::X11;
using Data = Dispor::Output::Data;
using Rotation = Dispor::Output::Rotation;

constexpr xcb_randr_mode_t big = 100, small = 101;
constexpr xcb_randr_output_t dp1 = 1, dp2 = 2, hdmi = 3;
constexpr xcb_randr_crtc_t c1 = 11, c2 = 12, c3 = 13;
constexpr xcb_atom_t replicaOf = 900, maxBpc = 901, gammaRecord = 902;
constexpr uint16_t allRotations = 0x3f;

ModeLine modeLine(xcb_randr_mode_t id, uint16_t width, uint16_t height, const QByteArray &name = {})
{
    ModeLine mode;
    mode.id = id;
    mode.name = name.isEmpty() ? QByteArray::number(width) + 'x' + QByteArray::number(height) : name;
    mode.timings.width = width;
    mode.timings.height = height;
    mode.timings.htotal = uint16_t(width + 160);
    mode.timings.vtotal = uint16_t(height + 40);
    mode.timings.dotClock = uint32_t(mode.timings.htotal) * mode.timings.vtotal * 60;
    return mode;
}

QList<uint16_t> straightRamp()
{
    QList<uint16_t> ramp;
    for (int i = 0; i < 256; ++i)
        ramp.append(uint16_t(i << 8));
    return ramp;
}

CrtcState crtc(xcb_randr_crtc_t id, QList<xcb_randr_output_t> outputs, int16_t x, xcb_randr_mode_t mode = big)
{
    CrtcState c;
    c.id = id;
    c.x = x;
    c.mode = outputs.isEmpty() ? XCB_NONE : mode;
    c.width = c.mode ? (mode == big ? 1920 : 1280) : 0;
    c.height = c.mode ? (mode == big ? 1080 : 1024) : 0;
    c.rotations = allRotations;
    c.outputs = outputs;
    c.possible = {dp1, dp2, hdmi};
    c.red = c.green = c.blue = straightRamp();
    c.transformRead = true;
    return c;
}

OutputState output(xcb_randr_output_t id, const char *name, xcb_randr_crtc_t on)
{
    OutputState o;
    o.id = id;
    o.name = QString::fromLatin1(name);
    o.crtc = on;
    o.connected = true;
    o.crtcs = {c1, c2, c3};
    o.modes = {big, small};
    o.preferred = 1;
    return o;
}

// DP-1 at 0,0 (primary) and DP-2 at 1920,0, both 1920x1080, HDMI-1
// connected and off; three CRTCs, one idle.
ServerState threeOutputs()
{
    ServerState s;
    s.width = 3840;
    s.height = 1080;
    s.minWidth = 320;
    s.minHeight = 200;
    s.maxWidth = s.maxHeight = 8192;
    s.modes = {{big, modeLine(big, 1920, 1080)}, {small, modeLine(small, 1280, 1024)}};
    s.crtcs = {{c1, crtc(c1, {dp1}, 0)}, {c2, crtc(c2, {dp2}, 1920)}, {c3, crtc(c3, {}, 0)}};
    s.outputs = {
        {dp1, output(dp1, "DP-1", c1)}, {dp2, output(dp2, "DP-2", c2)}, {hdmi, output(hdmi, "HDMI-1", 0)}};
    s.primary = dp1;
    s.atoms.replicaOf = replicaOf;
    s.atoms.maxBpc = maxBpc;
    s.atoms.gamma = gammaRecord;
    return s;
}

// Our mark on a replica, made in the configuration of that timestamp.
Property mark(xcb_randr_output_t source, xcb_timestamp_t timestamp)
{
    Property p;
    p.type = XCB_ATOM_INTEGER;
    p.format = 32;
    p.data = replicaMarkData(source, timestamp);
    return p;
}

Property integer(int32_t value)
{
    Property p;
    p.type = XCB_ATOM_INTEGER;
    p.format = 32;
    p.data = QByteArray(reinterpret_cast<const char *>(&value), 4);
    return p;
}

// The server after a gamma write: the ramps on the CRTC, our record on the output.
void hold(ServerState &state, const GammaWrite &write)
{
    CrtcState &crtc = state.crtcs[write.crtc];
    crtc.red = write.red;
    crtc.green = write.green;
    crtc.blue = write.blue;
    Property record;
    record.type = XCB_ATOM_INTEGER;
    record.format = 16;
    record.data = write.record;
    state.outputs[write.output].properties.insert(gammaRecord, record);
}

// DP-1 mirrors DP-2 at 0,0, as our mark says.
ServerState dp1MirrorsDp2()
{
    ServerState s = threeOutputs();
    s.width = 1920;
    s.timestamp = 4000;
    s.crtcs[c2].x = 0;
    s.outputs[dp1].properties.insert(replicaOf, mark(dp2, s.timestamp));
    return s;
}

// One snapshot of a server state, changed as the tool would, then planned.
struct Snapshot {
    explicit Snapshot(ServerState state = threeOutputs(), const Dispor::RememberedOutputs &records = {})
        : now(std::move(state)), described(describe(now, records))
    {
        Dispor::OutputList list;
        Dispor::ConfigOrigin origin;
        for (const Data &d : std::as_const(described)) {
            origin.fetched.insert(d.id, d);
            list.insert(d.id, Dispor::OutputPtr::create(d));
        }
        config = Dispor::ConfigPtr::create(list);
        originOf(*config) = origin;
    }
    Data &operator[](int id) { return Dispor::dataOf(*config->output(id)); }

    // The plan, or the refusal's reason.
    std::variant<Plan, std::string> plan() const
    {
        Plan plan;
        QString reason;
        if (!planApply(now, described, *config, &plan, &reason))
            return reason.toStdString();
        return plan;
    }
    Plan planned() const
    {
        auto result = plan();
        if (auto *refused = std::get_if<std::string>(&result))
            ADD_FAILURE() << "refused: " << *refused;
        return std::holds_alternative<Plan>(result) ? std::get<Plan>(result) : Plan{};
    }
    std::string refusal() const
    {
        auto result = plan();
        return std::holds_alternative<std::string>(result) ? std::get<std::string>(result) : "(planned)";
    }

    ServerState now;
    QMap<int, Data> described;
    Dispor::ConfigPtr config;
};

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
         "DP-1: the position 32000,0 lies beyond what an X screen can hold"},
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

TEST(X11Describe, ValuesAsTheServerHoldsThem)
{
    ServerState state = threeOutputs();
    // xrandr's 0.7: the ramp's top at 0.7 of 65535.
    for (QList<uint16_t> *ramp : {&state.crtcs[c2].red, &state.crtcs[c2].green, &state.crtcs[c2].blue}) {
        for (int i = 0; i < 256; ++i)
            (*ramp)[i] = uint16_t(std::lround(i * 45875.0 / 255));
    }
    Property bpc = integer(12);
    bpc.range = true;
    bpc.validValues = {6, 12};
    state.outputs[dp1].properties.insert(maxBpc, bpc);
    // A custom mode made by CVT for 1600x900@60 runs at 59.95 Hz.
    ModeLine custom = modeLine(102, 1600, 900, "dispor:1600x900@60:f1");
    custom.timings.dotClock = uint32_t(double(custom.timings.htotal) * custom.timings.vtotal * 59.95);
    state.modes.insert(102, custom);
    state.outputs[dp2].modes.append(102);

    const QMap<int, Data> described = describe(state);
    EXPECT_EQ(described[dp1].brightness, 1.0); // the server's own straight ramp
    EXPECT_EQ(described[dp2].brightness, 0.7);
    EXPECT_EQ(described[dp1].maxBitsPerColor, 12u);
    EXPECT_EQ(described[dp2].modes.value(u"102"_qs)->refreshRate(), 60.0f);
    ASSERT_EQ(described[dp2].customModes.size(), 1);
    EXPECT_EQ(described[dp2].customModes[0].refreshRate, 60.0f);

    // CVT widths are multiples of 8: a mode named for the 1700 asked (as
    // earlier runs named them) is the 1696-wide mode it is, there already
    // when asked again, and made for another output under that width.
    ServerState rounded = threeOutputs();
    rounded.modes.insert(103, modeLine(103, 1696, 900, "dispor:1700x900@60:f1"));
    rounded.outputs[dp2].modes.append(103);
    EXPECT_EQ(describe(rounded)[dp2].customModes,
              (QList<Dispor::ModeInfo>{{1696, 900, 60, 1, std::nullopt}}));
    Snapshot asked(rounded);
    for (const xcb_randr_output_t output : {dp1, dp2})
        asked[output].customModes.append({1700, 900, 60, 1, std::nullopt});
    const Plan made = asked.planned();
    ASSERT_EQ(made.additions.size(), 1);
    EXPECT_EQ(made.additions[0].output, dp1);
    EXPECT_EQ(made.additions[0].name, "dispor:1696x900@60:f1");

    // Brightness goes to the ramp as it reads back.
    Snapshot s(state);
    s[dp1].brightness = 0.7;
    const Plan plan = s.planned();
    ASSERT_EQ(plan.gamma.size(), 1);
    hold(state, plan.gamma[0]);
    EXPECT_EQ(describe(state)[dp1].brightness, 0.7);
}

// The manual's table of what X11 carries comes from the reach table: an
// output whose driver has every property the backend knows gets exactly
// the capabilities the table says X11 can grant.
TEST(X11Describe, GrantsWhatTheReachTableOffers)
{
    ServerState state = threeOutputs();
    constexpr xcb_atom_t rgb = 903, underscan = 904, hborder = 905;
    state.atoms.broadcastRgb = rgb;
    state.atoms.underscan = underscan;
    state.atoms.underscanHBorder = hborder;
    Property bpc = integer(8);
    bpc.range = true;
    bpc.validValues = {6, 12};
    Property choice = integer(0);
    choice.validValues = {0, 1};
    const auto &servers = Dispor::Reach::servers();
    const auto x11 = std::find_if(servers.begin(), servers.end(),
                                  [](const auto &s) { return s.family == Dispor::Reach::Family::X11; });
    ASSERT_NE(x11, servers.end());
    for (const auto &[atom, property] :
         {std::pair{maxBpc, bpc}, {rgb, choice}, {underscan, choice}, {hborder, bpc}})
        state.outputs[dp1].properties.insert(atom, property);
    EXPECT_EQ(describe(state)[dp1].capabilities, Dispor::Reach::offered(*x11));
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

// Mode ids of every length, listed by their text as the mode list keeps
// them; the custom ones in the server's order.
TEST(X11Describe, ModesUnderTheirIdsWhateverTheirLength)
{
    ServerState state = threeOutputs();
    const QList<xcb_randr_mode_t> ids = {4294967295u, 9, 1000, 63, 10, 2, 1};
    for (const xcb_randr_mode_t id : ids)
        state.modes.insert(id, modeLine(id, uint16_t(640 + id % 1000), 480));
    state.modes[63].name = "dispor:703x480@75:f0";
    state.modes[9].name = "dispor:649x480@60:f0";
    state.outputs[hdmi].modes = ids;

    const Data d = describe(state)[hdmi];
    EXPECT_EQ(d.modes.keys(),
              QStringList({u"1"_qs, u"10"_qs, u"1000"_qs, u"2"_qs, u"4294967295"_qs, u"63"_qs, u"9"_qs}));
    for (const xcb_randr_mode_t id : ids)
        EXPECT_EQ(d.modes.value(QString::number(id))->size().width(), int(640 + id % 1000)) << id;
    EXPECT_EQ(d.preferredModeId, u"4294967295"_qs);
    ASSERT_EQ(d.customModes.size(), 2);
    EXPECT_EQ(d.customModes[0].width, 649);
    EXPECT_EQ(d.customModes[1].width, 703);
}

// The lists after a reply's fixed part, found where libxcb-randr finds them.
TEST(X11Wire, ListsWhereLibxcbRandrFindsThem)
{
    alignas(8) static uint8_t buffer[1024];
    for (const uint16_t n : {0, 1, 3}) {
        std::fill(std::begin(buffer), std::end(buffer), 0);
        auto *output = reinterpret_cast<xcb_randr_get_output_info_reply_t *>(buffer);
        output->num_crtcs = n;
        output->num_modes = uint16_t(n + 1);
        output->num_clones = n;
        output->name_len = 5;
        EXPECT_EQ(Wire::outputCrtcs(output), xcb_randr_get_output_info_crtcs(output)) << n;
        EXPECT_EQ(Wire::outputModes(output), xcb_randr_get_output_info_modes(output)) << n;
        EXPECT_EQ(static_cast<const void *>(Wire::outputName(output)), xcb_randr_get_output_info_name(output))
            << n;

        auto *crtc = reinterpret_cast<xcb_randr_get_crtc_info_reply_t *>(buffer);
        crtc->num_outputs = n;
        crtc->num_possible_outputs = uint16_t(n + 2);
        EXPECT_EQ(Wire::crtcOutputs(crtc), xcb_randr_get_crtc_info_outputs(crtc)) << n;
        EXPECT_EQ(Wire::crtcPossible(crtc), xcb_randr_get_crtc_info_possible(crtc)) << n;

        auto *all = reinterpret_cast<xcb_randr_get_screen_resources_reply_t *>(buffer);
        all->num_crtcs = n;
        all->num_outputs = uint16_t(n + 1);
        all->num_modes = uint16_t(n + 2);
        all->names_len = 7;
        EXPECT_EQ(Wire::resourceCrtcs(all), xcb_randr_get_screen_resources_crtcs(all)) << n;
        EXPECT_EQ(Wire::resourceOutputs(all), xcb_randr_get_screen_resources_outputs(all)) << n;
        EXPECT_EQ(Wire::resourceModes(all), xcb_randr_get_screen_resources_modes(all)) << n;
        EXPECT_EQ(Wire::resourceNames(all), xcb_randr_get_screen_resources_names(all)) << n;
        auto *current = reinterpret_cast<xcb_randr_get_screen_resources_current_reply_t *>(buffer);
        EXPECT_EQ(Wire::resourceNames(current), xcb_randr_get_screen_resources_current_names(current)) << n;

        auto *gamma = reinterpret_cast<xcb_randr_get_crtc_gamma_reply_t *>(buffer);
        gamma->size = uint16_t(2 * n + 1);
        EXPECT_EQ(Wire::ramp(gamma, 0), xcb_randr_get_crtc_gamma_red(gamma)) << n;
        EXPECT_EQ(Wire::ramp(gamma, 1), xcb_randr_get_crtc_gamma_green(gamma)) << n;
        EXPECT_EQ(Wire::ramp(gamma, 2), xcb_randr_get_crtc_gamma_blue(gamma)) << n;

        auto *properties = reinterpret_cast<xcb_randr_list_output_properties_reply_t *>(buffer);
        properties->num_atoms = n;
        EXPECT_EQ(Wire::propertyAtoms(properties), xcb_randr_list_output_properties_atoms(properties)) << n;
    }
}

} // namespace
} // namespace x11
