#pragma once

#include "../backend.h"
#include "../remembered.h"
#include "client.h"
#include "model.h"

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
    // mutter 48 and later (its Backlight property); before, the kernel's.
    bool carriesLight(const Output::Data &) const override { return m_carriesLight; }
    // gnome-shell's monitor labels where it lets this client show them,
    // else a label window per output (labels.cpp).
    bool showLabels(const Config &config, int seconds, QString *why) override;
    // MonitorsChanged, and mutter's name losing its owner (watch.cpp).
    std::unique_ptr<Watch> watch(QString *reason) override;

private:
    // After `failure`, with `sent` taken all or in part: sends back the state
    // read before (temporary, as the apply), reads it back, and says both
    // (LayoutRules::undone or notUndone). escape: the failure is escaped
    // already, and what is added to it must be too.
    QString setBack(const State &before, const Plan &sent, const QString &failure, RememberedFile &memory,
                    bool escape);

    std::unique_ptr<Session> m_session;
    bool m_carriesLight = true; // as the last fetch found
};

// The backend when the session bus answers in a few seconds and offers
// org.gnome.Mutter.DisplayConfig; else null, with what was found instead.
// Also the probe for the choice without DISPOR_BACKEND.
std::shared_ptr<Backend> createGnomeBackend(QString *reason);

} // namespace Dispor::Gnome
