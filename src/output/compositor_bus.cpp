// The tool's calls to the compositor on the session bus: a module of their
// own, which the tool opens only for the commands that make them (see
// compositor.cpp), so that other runs do not load Qt's D-Bus library.

#include "output/compositor.h"

#include "session_bus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QMetaType>

namespace {

const QString service = QStringLiteral("org.lumo.Vantor");

// Connecting to the bus has no time-out of its own: a bus that accepts and
// never answers would hold the run without end.
constexpr int busAnswerSeconds = 3;

// The session bus where its own tools find it, also without
// DBUS_SESSION_BUS_ADDRESS.
const QString &busAddress()
{
    static const QString address = Dispor::sessionBusAddress();
    return address;
}

// Whether the session bus answers its handshake in time and within
// bounds; an error text when it does not. A bus that cannot be reached at
// all is left to the bus library, which says so at once.
QString busSilence()
{
    const Dispor::BusProbe probe = Dispor::probeSessionBus(busAddress(), busAnswerSeconds);
    if (probe.outcome == Dispor::BusProbe::Silent) {
        return QStringLiteral("The session bus did not answer %1within %2 s")
            .arg(probe.failure.isEmpty() ? QString() : probe.failure + u' ')
            .arg(busAnswerSeconds);
    }
    if (probe.outcome == Dispor::BusProbe::Failed && probe.connected)
        return QStringLiteral("The session bus cannot be used: %1").arg(probe.failure);
    return {};
}

// Blocks until the reply or the bus's default time-out.
QDBusMessage call(const QString &path, const QString &interface, const QString &method)
{
    static const QString silence = busSilence();
    if (!silence.isEmpty())
        return QDBusMessage::createError(QStringLiteral("org.freedesktop.DBus.Error.Timeout"), silence);
    const QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    // Made once, then found by its name. Without an address it is not
    // connected, and the call says so.
    return QDBusConnection::connectToBus(busAddress(), QStringLiteral("dispctl-session")).call(message);
}

BusReply failure(const QDBusMessage &reply)
{
    QString text = reply.errorMessage();
    if (text.isEmpty())
        text = QStringLiteral("No reply");
    // No owner of the name, or no bus to ask: the service is not there,
    // which is not the same as a service that failed or refused.
    const QString name = reply.errorName();
    const bool absent = name == u"org.freedesktop.DBus.Error.ServiceUnknown" ||
                        name == u"org.freedesktop.DBus.Error.NameHasNoOwner" ||
                        name == u"org.freedesktop.DBus.Error.Disconnected";
    return {false, {}, text, absent};
}

BusReply activeOutputNameOverBus()
{
    const QDBusMessage reply = call(QStringLiteral("/Vantor"), service, QStringLiteral("activeOutputName"));
    if (reply.type() != QDBusMessage::ReplyMessage)
        return failure(reply);
    const QList<QVariant> arguments = reply.arguments();
    if (arguments.size() != 1 || arguments.first().metaType() != QMetaType::fromType<QString>()) {
        return {
            false,
            {},
            QStringLiteral("Unexpected reply signature: got \"%1\", expected \"s\"").arg(reply.signature())};
    }
    return {true, arguments.first().toString(), {}};
}

BusReply showOutputLocatorOverBus()
{
    const QDBusMessage reply =
        call(QStringLiteral("/org/lumo/Vantor/Effect/OutputLocator1"),
             QStringLiteral("org.lumo.Vantor.Effect.OutputLocator1"), QStringLiteral("show"));
    if (reply.type() != QDBusMessage::ReplyMessage)
        return failure(reply);
    return {true, {}, {}};
}

} // namespace

extern "C" __attribute__((visibility("default")))
const CompositorCalls dispctl_compositor_calls{activeOutputNameOverBus, showOutputLocatorOverBus};
