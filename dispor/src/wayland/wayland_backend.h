#pragma once

#include "../backend.h"
#include "client.h"

namespace Dispor::Wayland {

// The outputs of a wlroots-based compositor through its output management
// and output power management extensions.
class WaylandBackend : public Backend {
public:
    explicit WaylandBackend(std::unique_ptr<Session> session) : m_session(std::move(session)) {}

    QString name() const override { return QStringLiteral("wayland"); }
    bool fetch(ConfigPtr *config, QString *reason) override;
    bool apply(const Config &config, QString *reason) override;
    bool setDpms(Output::DpmsMode mode, QString *reason) override;

private:
    std::unique_ptr<Session> m_session;
};

std::shared_ptr<Backend> createWaylandBackend(QString *reason);

// Whether WAYLAND_DISPLAY names a compositor that offers output management.
bool waylandReachable();

} // namespace Dispor::Wayland
