#pragma once

#include "../backend.h"
#include "../remembered.h"
#include "client.h"
#include "readback.h"

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
    // wlroots has no light: a panel's is the kernel's.
    bool carriesLight(const Output::Data &) const override { return false; }
    // sway's focused output, asked over its IPC socket; else the focused
    // window's output where the compositor offers foreign-toplevel
    // management; else the only enabled one.
    QString activeOutput(const Config &config, QString *why) override;
    // Layer-shell surfaces on the enabled outputs (else fullscreen windows),
    // from the labels module.
    bool showLabels(const Config &config, int seconds, QString *why) override;
    // A connection of its own, changed at each of the output manager's done
    // after the first (watch.cpp).
    std::unique_ptr<Watch> watch(QString *reason) override;

private:
    // The display session's name for the records kept for it.
    QString session() const;
    // After an apply that did not go through: a conflict when the heads
    // changed since serial, else otherwise.
    Applied outdated(uint32_t serial, Applied otherwise, QString *reason);
    // A read after the compositor confirmed a change failed: what the
    // compositor holds is not known, and the reason says so.
    Applied unknown(QString *reason) const;
    // After the compositor refused a configuration it may have taken in
    // part: what it holds now against before and what was sent.
    Applied afterRefusal(const QList<HeadValues> &before, const QList<HeadValues> &sent, bool darkDisabled,
                         QByteArray *stamp, QString *reason);
    // The heads go back to what they held before; failure (the reason's
    // lines, escaped for NotHeld) then says whether they did.
    Applied undo(const QList<HeadValues> &before, const QString &failure, Applied kind, QString *reason);
    // The records of outputs seen switched on again, dropped.
    void forgetLit();

    std::unique_ptr<Session> m_session;
    RememberedOutputs m_remembered; // as read at the fetch, and written since
};

std::shared_ptr<Backend> createWaylandBackend(QString *reason);

// For the choice without DISPOR_BACKEND: the backend when WAYLAND_DISPLAY
// names a compositor that answers in a few seconds and offers output
// management; else null, and *found says what was found instead. The
// connection it made is the one the backend goes on using.
std::shared_ptr<Backend> probeWaylandBackend(QString *found);

} // namespace Dispor::Wayland
