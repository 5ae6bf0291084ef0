// The X11 backend's description of hand-made server states, and the wire
// arithmetic it reads replies with: no server, milliseconds.

#include "reach.h"
#include "states.h"

#include <xcb/randr.h>

namespace x11 {
namespace {

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
