#pragma once

#include "../backend.h"
#include "client.h"

namespace Dispor::Gnome {

// GNOME's outputs through mutter's display configuration on the session bus.
// Changes are applied for the session only: a persistent one would be taken
// back after a while unless the user confirmed it in the shell.
class GnomeBackend : public Backend {
public:
    explicit GnomeBackend(std::unique_ptr<Session> session) : m_session(std::move(session)) {}

    QString name() const override { return QStringLiteral("gnome"); }
    bool fetch(ConfigPtr *config, QString *reason) override;
    Applied apply(const Config &config, QByteArray *stamp, QString *reason) override;
    bool setDpms(Output::DpmsMode mode, QString *reason) override;

private:
    std::unique_ptr<Session> m_session;
};

// The backend when the session bus answers in a few seconds and offers
// org.gnome.Mutter.DisplayConfig; else null, with what was found instead.
// Also the probe for the choice without DISPOR_BACKEND.
std::shared_ptr<Backend> createGnomeBackend(QString *reason);

} // namespace Dispor::Gnome
