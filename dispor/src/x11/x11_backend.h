#pragma once

#include "../backend.h"
#include "server.h"

#include <functional>

namespace Dispor::X11 {

// The outputs of an X server through RandR 1.2 or later. On Xwayland it
// reads what X clients see and refuses every change.
class X11Backend : public Backend {
public:
    explicit X11Backend(std::unique_ptr<Connection> connection) : m_connection(std::move(connection)) {}

    QString name() const override { return QStringLiteral("x11"); }
    bool fetch(ConfigPtr *config, QString *reason) override;
    Applied apply(const Config &config, QByteArray *stamp, QString *reason) override;
    bool setDpms(Output::DpmsMode mode, QString *reason) override;

private:
    // Refuses a change on Xwayland, where it would not reach the screens.
    bool refuseEmulated(QString *reason) const;
    bool applyChanges(const Config &config, const ServerState &now, const QMap<int, Output::Data> &described,
                      QString *reason);

    std::unique_ptr<Connection> m_connection;
};

// For the choice without DISPOR_BACKEND: the backend when DISPLAY names a
// reachable X server with RandR 1.2 or later whose outputs are not Xwayland's
// emulation; else null, and *found says in one line what was found and why it
// cannot serve (no "dispor:" prefix, no trailing period).
std::shared_ptr<Backend> probeX11Backend(QString *found);
// Named by DISPOR_BACKEND=x11: as above, but on Xwayland the backend reads
// (what X clients see) and refuses every apply and power switch.
std::shared_ptr<Backend> createX11Backend(QString *reason);

// For tests: runs before each step of an apply ("modes", "layout", "primary",
// "properties", "gamma", "removals"); returning false fails the apply there,
// as a refusal of the server would.
void setStepHook(std::function<bool(const char *step)> hook);

// The outputs as the library describes them, by output id.
QMap<int, Output::Data> describe(Connection &connection, const ServerState &state);

// RandR rotation bits and the library's rotations, both ways; 0 when the
// CRTC's supported set has no way to show the rotation.
Output::Rotation rotationFromRandr(uint16_t randr);
uint16_t rotationToRandr(Output::Rotation rotation, uint16_t supported);

} // namespace Dispor::X11
