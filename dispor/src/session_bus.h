#pragma once

#include <QString>

namespace Dispor {

// Qt's D-Bus library waits without end for a bus that accepts a connection
// and never answers. Before a connection, the bus at the address must
// answer the first step of the authentication within the given seconds;
// other transports than unix sockets are not probed.
struct BusProbe {
    enum Outcome { Answered, NotProbed, Silent, Failed } outcome;
    QString failure; // for Failed: why, as the system says it
};
BusProbe probeSessionBus(const QString &address, int seconds);

// The probe's first step alone, without a byte sent: Failed when the
// address's unix socket refuses a connection (no file there, nobody
// listening), as the probe would find too; else NotProbed.
BusProbe sessionBusRefusal(const QString &address);

// "cannot connect to the session bus at <shownAddress>: <failure>"
QString sessionBusUnreachable(const QString &shownAddress, const QString &failure);

} // namespace Dispor
