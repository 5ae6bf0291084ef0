#pragma once

#include "server.h"

#include "dispor/config.h"

#include <optional>

namespace Dispor::X11 {

// One CRTC as it is to be: off when mode is none.
struct CrtcTarget {
    xcb_randr_mode_t mode = XCB_NONE;
    int16_t x = 0;
    int16_t y = 0;
    uint16_t rotation = XCB_RANDR_ROTATION_ROTATE_0;
    QList<xcb_randr_output_t> outputs;
    Transform transform;

    bool operator==(const CrtcTarget &) const = default;
};

// The CRTC as the server has it.
CrtcTarget targetOf(const CrtcState &crtc);

// The screen and every CRTC as they are to be.
struct Layout {
    uint16_t width = 0;
    uint16_t height = 0;
    QMap<xcb_randr_crtc_t, CrtcTarget> crtcs; // every CRTC of the server
};

// The screen and every CRTC as the server has them.
Layout layoutOf(const ServerState &state);

struct PropertyWrite {
    xcb_randr_output_t output = XCB_NONE;
    xcb_atom_t property = XCB_NONE;
    xcb_atom_t type = XCB_NONE;
    uint8_t format = 32;
    QByteArray data;
};

struct GammaWrite {
    xcb_randr_crtc_t crtc = XCB_NONE;
    QList<uint16_t> red, green, blue;
    // Our record of what the ramps were made of, kept on this output.
    xcb_randr_output_t output = XCB_NONE;
    QByteArray record;
};

struct ModeAddition {
    xcb_randr_output_t output = XCB_NONE;
    QByteArray name;
    Timings timings;
};

struct ModeRemoval {
    xcb_randr_output_t output = XCB_NONE;
    xcb_randr_mode_t mode = XCB_NONE;
};

// Our mark on a replica, naming its source; none removes it. The execution
// adds the configuration's timestamp and skips what is already so.
struct ReplicaMark {
    xcb_randr_output_t output = XCB_NONE;
    xcb_randr_output_t source = XCB_NONE;
};

// Everything one apply does to the server.
struct Plan {
    Layout layout;
    std::optional<xcb_randr_output_t> primary;
    QList<PropertyWrite> properties;
    QList<ReplicaMark> marks;
    QList<GammaWrite> gamma;
    QList<ModeAddition> additions;
    QList<ModeRemoval> removals;
    bool changed = false; // whether the snapshot asks anything at all
    // Whether it rests on transforms of CRTCs not in use, which the server
    // state left out: read them and plan again.
    bool transformsUnread = false;
};

// What the server must do so that it shows what the snapshot asks, worked out
// from the server state alone (described is describe(now)). False with a
// reason when the snapshot asks what cannot be done; nothing is sent then.
bool planApply(const ServerState &now, const QMap<int, Output::Data> &described, const Config &config,
               Plan *plan, QString *reason);

// Whether the snapshot asks anything of an output, refused or not.
bool changesAnything(const Output::Data &fetched, const Output::Data &wanted);

} // namespace Dispor::X11
