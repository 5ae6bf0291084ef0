#pragma once

#include "../backend.h"
#include "client.h"

#include <optional>

namespace Dispor::Wayland {

// The outputs of a wlroots-based compositor through its output management
// and output power management extensions.
class WaylandBackend : public Backend {
public:
    explicit WaylandBackend(std::unique_ptr<Session> session) : m_session(std::move(session)) {}

    QString name() const override { return QStringLiteral("wayland"); }
    bool fetch(ConfigPtr *config, QString *reason) override;
    Applied apply(const Config &config, QByteArray *stamp, QString *reason) override;
    bool setDpms(Output::DpmsMode mode, QString *reason) override;

private:
    // After an apply that did not go through: a conflict when the heads
    // changed since serial, else otherwise.
    Applied outdated(uint32_t serial, Applied otherwise, QString *reason);

    std::unique_ptr<Session> m_session;
};

std::shared_ptr<Backend> createWaylandBackend(QString *reason);

// For the choice without DISPOR_BACKEND: the backend when WAYLAND_DISPLAY
// names a compositor that answers in a few seconds and offers output
// management; else null, and *found says what was found instead. The
// connection it made is the one the backend goes on using.
std::shared_ptr<Backend> probeWaylandBackend(QString *found);

} // namespace Dispor::Wayland
