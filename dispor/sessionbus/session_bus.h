#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace Dispor {

// Why the user's bus is not at $XDG_RUNTIME_DIR/bus.
enum class UsersBus {
    Missing,         // no socket there
    OtherUsers,      // a socket of another user
    RelativeRuntime, // XDG_RUNTIME_DIR is no absolute path: not looked at
};

// The session bus's address as the bus's own tools find it:
// DBUS_SESSION_BUS_ADDRESS, else the user's bus $XDG_RUNTIME_DIR/bus
// (systemd user sessions, su and sudo shells) when that is a socket of this
// user. Empty when there is neither; *lookedAt is then the path looked at,
// empty without XDG_RUNTIME_DIR, and *why why nothing was found there.
QString sessionBusAddress(QString *lookedAt = nullptr, UsersBus *why = nullptr);

// Why there is no address: "DBUS_SESSION_BUS_ADDRESS is not set", and what
// was found where the user's bus was looked for, shown as shownPath (empty:
// nowhere).
QString sessionBusMissing(const QString &shownPath, UsersBus why = UsersBus::Missing);

// What the probes read from the bus at most: a line of the authentication
// and a few short messages.
constexpr qsizetype maximumBusAnswer = 64 * 1024;

// Qt's D-Bus library waits without end, or 25 s and then aborts, for a bus
// that accepts a connection and never answers. Before a connection, the bus
// at the address must answer the authentication and the Hello that
// registers a client within the given seconds; other transports than unix
// sockets are not probed.
struct BusProbe {
    enum Outcome { Answered, NotProbed, Silent, Failed } outcome;
    // For Failed: why, as the system says it; for Silent: the call not
    // answered (empty: not even the authentication).
    QString failure;
    // Failed once connected: the bus is there, and misbehaves.
    bool connected = false;
};
BusProbe probeSessionBus(const QString &address, int seconds);

// Whether a name has an owner on the bus at the address, asked with the
// bus's own NameHasOwner over a plain socket, so that a program learns that
// a service is absent without loading a D-Bus library. Waits at most the
// given seconds; for Silent and Failed the probe's meaning holds.
struct NameProbe {
    enum Outcome { Owned, NotOwned, NotProbed, Silent, Failed } outcome;
    QString failure; // as BusProbe's
};
NameProbe probeNameOwner(const QString &address, const char *name, int seconds);

// What the name probe reads of a message from the bus.
struct BusMessage {
    int type = 0; // 2: a method's return, 3: an error
    uint32_t replySerial = 0;
    std::optional<uint32_t> firstWord; // the body's first 32 bits
};

// The first whole message in bytes (the bus's wire format, either byte
// order), taken off them; none while it is not all there. False when the
// bytes cannot be a message the bus sends.
bool takeBusMessage(QByteArray &bytes, std::optional<BusMessage> *message);

// "the session bus at <shownAddress> did not answer [CALL ]within N s"
QString sessionBusSilent(const QString &shownAddress, int seconds, const QString &call = {});

// "cannot connect to the session bus at <shownAddress>: <failure>"
QString sessionBusUnreachable(const QString &shownAddress, const QString &failure);

} // namespace Dispor
