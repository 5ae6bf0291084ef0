#pragma once

#include "../text.h"
#include "names.h"

#include "../output_data.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <array>
#include <memory>
#include <optional>

namespace Dispor::X11 {

// One output property as the server holds it.
struct Property {
    xcb_atom_t type = XCB_NONE;
    uint8_t format = 0;
    QByteArray data; // num_items units of format bits
    bool range = false;
    bool immutable = false;
    QList<int32_t> validValues; // a range's two ends, or the allowed values

    std::optional<int32_t> value() const; // the first unit
    bool operator==(const Property &) const = default;
};

struct ModeLine {
    xcb_randr_mode_t id = XCB_NONE;
    QByteArray name;
    Timings timings;

    bool operator==(const ModeLine &) const = default;
};

// The modes of a screen-resources reply, whose names follow one another.
void readModes(const xcb_randr_mode_info_t *modes, int count, const uint8_t *names,
               QHash<xcb_randr_mode_t, ModeLine> *into);

// A CRTC's transform as RandR holds it: the matrix from the CRTC's pixels
// to the screen's, row by row in 16.16 fixed point, and its filter.
struct Transform {
    std::array<int32_t, 9> matrix{65536, 0, 0, 0, 65536, 0, 0, 0, 65536};
    QByteArray filter;

    bool operator==(const Transform &) const = default;
};

struct CrtcState {
    xcb_randr_crtc_t id = XCB_NONE;
    int16_t x = 0;
    int16_t y = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    xcb_randr_mode_t mode = XCB_NONE;
    uint16_t rotation = XCB_RANDR_ROTATION_ROTATE_0;
    uint16_t rotations = XCB_RANDR_ROTATION_ROTATE_0;
    QList<xcb_randr_output_t> outputs;
    QList<xcb_randr_output_t> possible;
    // The gamma ramps, empty when the CRTC has none. Read only for a CRTC
    // in use: no output shows an unused one's.
    QList<uint16_t> red, green, blue;
    Transform transform;
    // Whether the driver lets clients transform the CRTC (RandR 1.3).
    bool transforms = false;
    // Whether transform and transforms were read (or the server has none
    // to read). An unused CRTC's are read only when a change needs them.
    bool transformRead = false;

    bool operator==(const CrtcState &) const = default;
};

struct OutputState {
    xcb_randr_output_t id = XCB_NONE;
    QString name;
    xcb_randr_crtc_t crtc = XCB_NONE;
    bool connected = false;
    QList<xcb_randr_crtc_t> crtcs;
    QList<xcb_randr_mode_t> modes;
    int preferred = 0;                      // the first this many modes are preferred
    QHash<xcb_atom_t, Property> properties; // only the ones the backend uses

    bool operator==(const OutputState &) const = default;
};

// The output properties the backend knows.
struct Atoms {
    xcb_atom_t edid = XCB_NONE;
    xcb_atom_t connectorType = XCB_NONE;
    xcb_atom_t broadcastRgb = XCB_NONE;
    xcb_atom_t maxBpc = XCB_NONE;
    xcb_atom_t underscan = XCB_NONE;
    xcb_atom_t underscanHBorder = XCB_NONE;
    xcb_atom_t underscanVBorder = XCB_NONE;
    // A panel's light, as the intel and other drivers publish it.
    xcb_atom_t backlight = XCB_NONE;
    xcb_atom_t randrEmulation = XCB_NONE; // Xwayland's mark on its outputs
    // Ours, on a replica: the output it mirrors and the configuration's
    // timestamp when we set it. RandR keeps no direction for outputs that
    // show the same area.
    xcb_atom_t replicaOf = XCB_NONE;
    // Ours, on the outputs of a CRTC whose ramps we wrote: what they were
    // made of, so that brightness 0 does not lose another program's curves.
    xcb_atom_t gamma = XCB_NONE;

    bool operator==(const Atoms &) const = default;
};

// Everything the backend reads from the server at one moment.
struct ServerState {
    xcb_timestamp_t configTimestamp = XCB_CURRENT_TIME;
    // When a client last set a CRTC (or the screen's configuration).
    xcb_timestamp_t timestamp = XCB_CURRENT_TIME;
    uint16_t width = 0;
    uint16_t height = 0;
    uint32_t mmWidth = 0;
    uint32_t mmHeight = 0;
    uint16_t minWidth = 0;
    uint16_t minHeight = 0;
    uint16_t maxWidth = 0;
    uint16_t maxHeight = 0;
    QMap<xcb_randr_crtc_t, CrtcState> crtcs;
    QMap<xcb_randr_output_t, OutputState> outputs;
    QHash<xcb_randr_mode_t, ModeLine> modes;
    // The modes as the server sent them, so that a later read of the same
    // need not make them again.
    QByteArray modeBytes;
    xcb_randr_output_t primary = XCB_NONE;
    Output::DpmsMode dpms = Output::DpmsMode::On;
    Atoms atoms; // as the connection found them
    // Whether the server's driver keeps the ramps, starting them straight:
    // ramps all at zero there are a client's doing (xrandr --brightness 0).
    bool driverRamps = false;
    // The names of the atoms the enumerated properties hold and allow.
    QHash<xcb_atom_t, QString> atomNames;

    // The name of such an atom, empty when unknown.
    QString atomName(xcb_atom_t atom) const { return atomNames.value(atom); }

    bool operator==(const ServerState &) const = default;
};

// A connection to the X server named by DISPLAY that offers RandR 1.2 or
// later, made only after the server answered a connection setup within a
// few seconds. Every failure comes with a one-line reason.
class Connection {
public:
    static std::unique_ptr<Connection> open(QString *reason);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    xcb_connection_t *get() const { return m_connection; }
    xcb_window_t root() const { return m_root; }
    const Atoms &atoms() const { return m_atoms; }
    bool hasDpms() const { return m_dpms; }
    // DISPLAY as it was when the connection was made.
    const QString &display() const { return m_display; }
    // Whether the outputs are Xwayland's emulation of a Wayland compositor's:
    // changes to them never reach the screens.
    bool emulated() const { return m_emulation; }

    // With probe the server asks the hardware again (slow on real screens);
    // without, it reports what it knows. With expected, the state the server
    // most likely still holds, a round trip is saved when it does.
    bool read(ServerState *state, bool probe, QString *reason, const ServerState *expected = nullptr);
    // Reads the transforms read() left out, those of the CRTCs not in use.
    bool readTransforms(ServerState *state, QString *reason);

    // The name of an atom (cached), empty when there is none.
    QString atomName(xcb_atom_t atom);
    // Asks the names of the atoms not yet cached in one round.
    void nameAtoms(const QList<xcb_atom_t> &atoms);
    // The atom of a name, created when create is true; XCB_NONE when absent.
    xcb_atom_t atom(const QByteArray &name, bool create);

    // The reason for an X error, naming the request.
    QString errorText(const char *request, const xcb_generic_error_t *error) const;
    // Waits for a checked request: true when it succeeded.
    bool check(xcb_void_cookie_t cookie, const char *request, QString *reason);

private:
    Connection() = default;

    // Whether any output carries "RANDR Emulation" = 1.
    bool emulatedOutputs();

    // Sets reason from the error, which it frees, and returns false.
    bool refused(const char *request, xcb_generic_error_t *error, QString *reason) const;

    xcb_connection_t *m_connection = nullptr;
    // The root's screen in the connection's setup block, found once rather
    // than at every read.
    const xcb_screen_t *m_screen = nullptr;
    xcb_window_t m_root = XCB_NONE;
    uint8_t m_randrError = 0;
    bool m_dpms = false;
    bool m_transforms = false; // RandR 1.3: CRTC transforms can be read
    bool m_emulation = false;
    bool m_driverRamps = false;
    QString m_display;
    Atoms m_atoms;
    QHash<xcb_atom_t, QString> m_atomNames;
};

// Reads a GetCrtcTransform reply into the CRTC; nothing when there is none.
void readTransform(xcb_connection_t *c, xcb_randr_get_crtc_transform_cookie_t cookie, CrtcState *crtc);
// Reads a GetCrtcGamma reply's three ramps into the CRTC.
void readRamps(const xcb_randr_get_crtc_gamma_reply_t &gamma, CrtcState *crtc);

// A reply that frees itself.
template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T> Reply<T> reply(T *raw)
{
    return Reply<T>(raw, &std::free);
}

// The lists that follow a reply's fixed part, where the X protocol puts
// them: one right after another, without padding between lists of 4-byte,
// 2-byte or 1-byte items. (libxcb-randr's accessors for them cost a symbol
// look-up each, on every run.)
namespace Wire {
template <typename T, typename R> const T *after(const R *reply)
{
    return reinterpret_cast<const T *>(reply + 1);
}
inline const xcb_randr_output_t *crtcOutputs(const xcb_randr_get_crtc_info_reply_t *r)
{
    return after<xcb_randr_output_t>(r);
}
inline const xcb_randr_output_t *crtcPossible(const xcb_randr_get_crtc_info_reply_t *r)
{
    return crtcOutputs(r) + r->num_outputs;
}
inline const xcb_randr_crtc_t *outputCrtcs(const xcb_randr_get_output_info_reply_t *r)
{
    return after<xcb_randr_crtc_t>(r);
}
inline const xcb_randr_mode_t *outputModes(const xcb_randr_get_output_info_reply_t *r)
{
    return outputCrtcs(r) + r->num_crtcs;
}
// After the modes come the clones, then the name.
inline const char *outputName(const xcb_randr_get_output_info_reply_t *r)
{
    return reinterpret_cast<const char *>(
        reinterpret_cast<const xcb_randr_output_t *>(outputModes(r) + r->num_modes) + r->num_clones);
}
inline const xcb_atom_t *propertyAtoms(const xcb_randr_list_output_properties_reply_t *r)
{
    return after<xcb_atom_t>(r);
}
// Red, green and blue, each of r->size steps.
inline const uint16_t *ramp(const xcb_randr_get_crtc_gamma_reply_t *r, int which)
{
    return after<uint16_t>(r) + size_t(which) * r->size;
}
// The two screen-resources replies share their layout.
template <typename R> const xcb_randr_crtc_t *resourceCrtcs(const R *r)
{
    return after<xcb_randr_crtc_t>(r);
}
template <typename R> const xcb_randr_output_t *resourceOutputs(const R *r)
{
    return resourceCrtcs(r) + r->num_crtcs;
}
template <typename R> const xcb_randr_mode_info_t *resourceModes(const R *r)
{
    return reinterpret_cast<const xcb_randr_mode_info_t *>(resourceOutputs(r) + r->num_outputs);
}
template <typename R> const uint8_t *resourceNames(const R *r)
{
    return reinterpret_cast<const uint8_t *>(resourceModes(r) + r->num_modes);
}
} // namespace Wire

} // namespace Dispor::X11
