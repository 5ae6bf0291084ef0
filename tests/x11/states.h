#pragma once

// Hand-made X server states, and a snapshot of one changed as the tool
// would, for the tests of the description and the planner.

#include "backend.h"
#include "x11/description.h"
#include "x11/plan.h"

#include <dispor/config.h>

#include <gtest/gtest.h>

#include <string>
#include <variant>

namespace x11 {

using namespace Dispor::X11;
using Data = Dispor::Output::Data;
using Rotation = Dispor::Output::Rotation;

constexpr xcb_randr_mode_t big = 100, small = 101;
constexpr xcb_randr_output_t dp1 = 1, dp2 = 2, hdmi = 3;
constexpr xcb_randr_crtc_t c1 = 11, c2 = 12, c3 = 13;
constexpr xcb_atom_t replicaOf = 900, maxBpc = 901, gammaRecord = 902;
constexpr uint16_t allRotations = 0x3f;

ModeLine modeLine(xcb_randr_mode_t id, uint16_t width, uint16_t height, const QByteArray &name = {});

QList<uint16_t> straightRamp();

CrtcState crtc(xcb_randr_crtc_t id, QList<xcb_randr_output_t> outputs, int16_t x,
               xcb_randr_mode_t mode = big);

OutputState output(xcb_randr_output_t id, const char *name, xcb_randr_crtc_t on);

// DP-1 at 0,0 (primary) and DP-2 at 1920,0, both 1920x1080, HDMI-1
// connected and off; three CRTCs, one idle.
ServerState threeOutputs();

// Our mark on a replica, made in the configuration of that timestamp.
Property mark(xcb_randr_output_t source, xcb_timestamp_t timestamp);

Property integer(int32_t value);

// The server after a gamma write: the ramps on the CRTC, our record on the output.
void hold(ServerState &state, const GammaWrite &write);

// DP-1 mirrors DP-2 at 0,0, as our mark says.
ServerState dp1MirrorsDp2();

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

} // namespace x11
