#pragma once

#include "../backend.h"
#include "description.h"
#include "execution.h"
#include "server.h"

namespace Dispor::X11 {

// The outputs of an X server through RandR 1.2 or later. On Xwayland it
// reads what X clients see and refuses every change.
class X11Backend : public Backend {
public:
    explicit X11Backend(std::unique_ptr<Connection> connection)
        : m_connection(std::move(connection)), m_records(u"x11-"_qs + m_connection->display())
    {}

    QString name() const override { return QStringLiteral("x11"); }
    bool fetch(ConfigPtr *config, QString *reason) override;
    Applied apply(const Config &config, QByteArray *stamp, QString *reason) override;
    bool setDpms(Output::DpmsMode mode, QString *reason) override;
    // Where the driver offers "Backlight"; elsewhere a panel's kernel device
    // gives the real light, not a darker picture through the gamma ramp.
    bool carriesLight(const Output::Data &output) const override;
    // The output under the pointer; the labels drawn over xcb.
    QString activeOutput(const Config &config, QString *why) override;
    bool showLabels(const Config &config, int seconds, QString *why) override;
    // RandR's screen, CRTC and output changes, on a connection of its own.
    std::unique_ptr<Watch> watch(QString *reason) override;

private:
    // Refuses a change on Xwayland, where it would not reach the screens.
    QString emulationRefusal() const;
    // The records of what the outputs we switched off had, where a connected
    // output is off; none when they cannot be read: such an output then
    // comes back as one another client switched off.
    RememberedOutputs remembered(const ServerState &state);
    // Before the plan is sent: what each output it switches off has now,
    // kept in the records; false, with nothing sent, when that fails.
    bool keepSwitchedOff(const ServerState &now, const QMap<int, Output::Data> &described, const Plan &plan,
                         RememberedOutputs *records, QString *reason);
    // Drops the records of the outputs lit in the layout the server holds.
    void forgetLit(const ServerState &state, const Layout &layout, const RememberedOutputs &records);
    // A failed change sent back: the failure, and whether the outputs were
    // set back as they were or what they hold now. Escaped for a NotHeld
    // reason, whose lines are.
    QString setBack(Execution &execution, const ServerState &before, const Plan &plan, const QString &failure,
                    bool escape, const RememberedOutputs &records);

    std::unique_ptr<Connection> m_connection;
    // The server forgets what an output had once its CRTC is off.
    RememberedFile m_records;
    RememberedOutputs m_remembered; // as the last fetch read them
    // What the last fetch read, and the stamp it gave its snapshot.
    ServerState m_fetched;
    QByteArray m_fetchedStamp;
    quint64 m_fetches = 0;
};

// For the choice without DISPOR_BACKEND: the backend when DISPLAY names a
// reachable X server with RandR 1.2 or later whose outputs are not Xwayland's
// emulation; else null, and *found says in one line what was found and why it
// cannot serve (no "dispor:" prefix, no trailing period).
std::shared_ptr<Backend> probeX11Backend(QString *found);
// Named by DISPOR_BACKEND=x11: as above, but on Xwayland the backend reads
// (what X clients see) and refuses every apply and power switch.
std::shared_ptr<Backend> createX11Backend(QString *reason);

} // namespace Dispor::X11
