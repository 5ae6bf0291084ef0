// The X11 backend's read-back after an apply, on hand-made server states:
// what a plan asked against what the server holds afterwards.

#include "x11/readback.h"

#include <gtest/gtest.h>

#include <functional>

namespace x11 {
namespace {

using namespace Dispor::X11;

constexpr xcb_randr_mode_t big = 100, small = 101, custom = 102;
constexpr xcb_randr_output_t dp1 = 1, dp2 = 2;
constexpr xcb_randr_crtc_t c1 = 11, c2 = 12;
constexpr xcb_atom_t maxBpc = 901;

ModeLine modeLine(xcb_randr_mode_t id, uint16_t width, uint16_t height, const QByteArray &name)
{
    ModeLine mode;
    mode.id = id;
    mode.name = name;
    mode.timings = {width,
                    height,
                    uint32_t(width + 160) * (height + 40) * 60,
                    0,
                    0,
                    uint16_t(width + 160),
                    0,
                    0,
                    0,
                    uint16_t(height + 40),
                    0};
    return mode;
}

CrtcState crtc(xcb_randr_crtc_t id, xcb_randr_output_t output, int16_t x, xcb_randr_mode_t mode = big)
{
    CrtcState c;
    c.id = id;
    c.x = x;
    c.mode = mode;
    c.outputs = {output};
    c.red = c.green = c.blue = {0, 32768, 65535};
    return c;
}

Property integer(int32_t value)
{
    return Property{XCB_ATOM_INTEGER, 32, QByteArray(reinterpret_cast<const char *>(&value), 4), true, false,
                    {6, 12}};
}

// DP-1 at 0,0 (primary), DP-2 right of it; both 1920x1080 with max bpc 8.
ServerState before()
{
    ServerState s;
    s.modes = {{big, modeLine(big, 1920, 1080, "1920x1080")},
               {small, modeLine(small, 1280, 1024, "1280x1024")}};
    s.crtcs = {{c1, crtc(c1, dp1, 0)}, {c2, crtc(c2, dp2, 1920)}};
    for (const auto &[id, name, on] : {std::tuple{dp1, "DP-1", c1}, std::tuple{dp2, "DP-2", c2}}) {
        OutputState &o = s.outputs[id];
        o.id = id;
        o.name = QString::fromLatin1(name);
        o.crtc = on;
        o.modes = {big, small};
        o.properties.insert(maxBpc, integer(8));
    }
    s.primary = dp1;
    s.atoms.maxBpc = maxBpc;
    return s;
}

TEST(X11ReadBack, WhatTheServerDoesNotHoldIsNamedPerOutput)
{
    const ServerState was = before();
    // DP-2 to 1280x1024 at 100,0, primary, max bpc 10, brightness halved, a
    // custom mode added to DP-1.
    Plan plan;
    plan.changed = true;
    plan.layout = layoutOf(was);
    plan.layout.crtcs[c2] = {small, 100, 0, XCB_RANDR_ROTATION_ROTATE_0, {dp2}, {}};
    plan.primary = dp2;
    plan.properties = {{dp2, maxBpc, XCB_ATOM_INTEGER, 32, integer(10).data}};
    plan.gamma = {{c2, {0, 16384, 32768}, {0, 16384, 32768}, {0, 16384, 32768}, XCB_NONE, {}}};
    plan.additions = {{dp1, "dispor:1600x900@60:f1", {}}};

    // The server as the plan leaves it.
    ServerState done = was;
    done.crtcs[c2] = crtc(c2, dp2, 100, small);
    done.crtcs[c2].red = done.crtcs[c2].green = done.crtcs[c2].blue = {0, 16384, 32768};
    done.primary = dp2;
    done.outputs[dp2].properties[maxBpc] = integer(10);
    done.modes.insert(custom, modeLine(custom, 1600, 900, "dispor:1600x900@60:f1"));
    done.outputs[dp1].modes.append(custom);

    struct Case {
        const char *name;
        std::function<void(ServerState &)> change;
        QStringList lines;
    };
    const QString dp2Kept = u"DP-2: the X server accepted "_qs;
    const std::vector<Case> cases = {
        {"all held", [](ServerState &) {}, {}},
        {"CRTC kept where it was",
         [](ServerState &s) { s.crtcs[c2].x = 1920; },
         {dp2Kept + "the position \"100,0\" but keeps \"1920,0\""}},
        {"its own copy of the mode",
         [](ServerState &s) {
             s.modes.insert(103, modeLine(103, 1280, 1024, "1280x1024"));
             s.crtcs[c2].mode = 103;
         },
         {}},
        {"another mode",
         [](ServerState &s) { s.crtcs[c2].mode = big; },
         {dp2Kept + "the mode \"1280x1024@60.00\" but keeps \"1920x1080@60.00\""}},
        {"switched off",
         [](ServerState &s) {
             s.crtcs[c2] = CrtcState();
             s.crtcs[c2].id = c2;
         },
         {dp2Kept +
          "enabling the output but keeps it disabled; the X server accepted the brightness \"0.5\" but "
          "keeps \"1\""}},
        {"primary elsewhere",
         [](ServerState &s) { s.primary = dp1; },
         {dp2Kept + "the priority \"primary\" but keeps \"secondary\""}},
        {"a property rewritten",
         [](ServerState &s) { s.outputs[dp2].properties[maxBpc] = integer(8); },
         {dp2Kept + "the maximum bits per colour \"10\" but keeps \"8\""}},
        {"a custom mode not listed",
         [](ServerState &s) { s.outputs[dp1].modes.removeLast(); },
         {u"DP-1: the X server accepted the custom mode \"dispor:1600x900@60:f1\" but does not list it"_qs}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ServerState held = done;
        c.change(held);
        EXPECT_EQ(notHeld(was, plan, held), c.lines);
    }
}

TEST(X11ReadBack, ARemovalMustTakeTheModeOffTheList)
{
    ServerState was = before();
    was.modes.insert(custom, modeLine(custom, 1600, 900, "dispor:1600x900@60:f1"));
    was.outputs[dp1].modes.append(custom);
    Plan plan;
    plan.changed = true;
    plan.layout = layoutOf(was);
    plan.removals = {{dp1, custom}};
    ServerState held = was;
    EXPECT_EQ(notHeld(was, plan, held),
              QStringList{
                  u"DP-1: the X server accepted the removal of the custom mode \"dispor:1600x900@60:f1\" but "
                  "still lists it"_qs});
    held.outputs[dp1].modes.removeLast();
    EXPECT_EQ(notHeld(was, plan, held), QStringList{});
}

TEST(X11ReadBack, WhatIsNotSetBackIsNamedInOneLine)
{
    const ServerState was = before();
    Plan plan;
    plan.changed = true;
    plan.layout = layoutOf(was);
    plan.layout.crtcs[c2] = {small, 0, 1080, XCB_RANDR_ROTATION_ROTATE_0, {dp2}, {}};
    plan.primary = dp2;
    plan.properties = {{dp2, maxBpc, XCB_ATOM_INTEGER, 32, integer(10).data}};
    plan.gamma = {{c2, {0, 16384, 32768}, {0, 16384, 32768}, {0, 16384, 32768}, XCB_NONE, {}}};

    const std::pair<std::function<void(ServerState &)>, QString> cases[] = {
        {[](ServerState &) {}, QString()},
        {[](ServerState &s) {
             s.crtcs[c2].y = 1080;
             s.width = 1920;
         },
         u"DP-2: 1920x1080@60.00 at 1920,1080; the screen: 1920x0"_qs},
        {[](ServerState &s) {
             s.primary = dp2;
             s.outputs[dp2].properties[maxBpc] = integer(10);
             s.crtcs[c2].red = s.crtcs[c2].green = s.crtcs[c2].blue = {0, 16384, 32768};
         },
         u"DP-2: primary, the maximum bits per colour 10, the brightness 0.5"_qs},
    };
    for (const auto &[change, line] : cases) {
        ServerState held = was;
        change(held);
        EXPECT_EQ(changedSince(was, plan, held), line);
    }
}

} // namespace
} // namespace x11
