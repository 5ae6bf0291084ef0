#pragma once

#include "../backend.h"
#include "server.h"

#include <functional>

namespace Dispor::X11 {

// The outputs of an X server through RandR 1.2 or later.
class X11Backend : public Backend {
public:
    explicit X11Backend(std::unique_ptr<Connection> connection) : m_connection(std::move(connection)) {}

    QString name() const override { return QStringLiteral("x11"); }
    bool fetch(ConfigPtr *config, QString *reason) override;
    bool apply(const Config &config, QString *reason) override;
    bool setDpms(Output::DpmsMode mode, QString *reason) override;

private:
    std::unique_ptr<Connection> m_connection;
};

std::shared_ptr<Backend> createX11Backend(QString *reason);

// Whether DISPLAY names an X server that offers RandR 1.2 or later.
bool x11Reachable();

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
