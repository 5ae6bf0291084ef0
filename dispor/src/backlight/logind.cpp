// The backlight module's entry: dispor_backlight_module, which the library
// (setter.cpp) opens beside its plugins.

#include "../text.h"
#include "session_bus.h"
#include "setter.h"

#include "dispor/version.h"

#include <QDBusConnection>
#include <QDBusMessage>

namespace Dispor::Backlight {

namespace {

const QString cannot = QStringLiteral("cannot set the backlight: ");

// The system bus as its own tools find it.
QString systemBusAddress()
{
    const QString address = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    return address.isEmpty() ? u"unix:path=/run/dbus/system_bus_socket"_qs : address;
}

bool setThroughLogind(const QString &device, uint32_t level, int seconds, QString *why)
{
    const QString address = systemBusAddress();
    const QString within = u" within "_qs + QString::number(seconds) + u" s"_qs;
    // Qt's D-Bus library waits 25 s, then aborts, for a bus that accepts a
    // connection and never answers: the bus is probed first.
    const BusProbe probe = probeSessionBus(address, seconds);
    if (probe.outcome == BusProbe::Silent) {
        *why = cannot + "the system bus at " + quoted(address) + " did not answer" + within;
        return false;
    }
    if (probe.outcome == BusProbe::Failed) {
        *why =
            cannot + "cannot connect to the system bus at " + quoted(address) + ": " + escaped(probe.failure);
        return false;
    }
    const QString name = u"dispor-backlight"_qs;
    QString failure;
    {
        const QDBusConnection bus = QDBusConnection::connectToBus(address, name);
        if (!bus.isConnected()) {
            failure = u"cannot connect to the system bus at "_qs + quoted(address) + ": " +
                      escaped(bus.lastError().message());
        } else {
            QDBusMessage call = QDBusMessage::createMethodCall(
                u"org.freedesktop.login1"_qs, u"/org/freedesktop/login1/session/auto"_qs,
                u"org.freedesktop.login1.Session"_qs, u"SetBrightness"_qs);
            call << u"backlight"_qs << device << level;
            const QDBusMessage reply = bus.call(call, QDBus::Block, seconds * 1000);
            const QString error = reply.errorName();
            if (reply.type() == QDBusMessage::ReplyMessage)
                ;
            else if (error == u"org.freedesktop.DBus.Error.NoReply" ||
                     error == u"org.freedesktop.DBus.Error.Timeout")
                failure = u"logind did not answer SetBrightness"_qs + within;
            else
                failure = u"logind refused it: "_qs +
                          escaped(reply.errorMessage().isEmpty() ? error : reply.errorMessage());
        }
    }
    QDBusConnection::disconnectFromBus(name);
    if (failure.isEmpty())
        return true;
    *why = cannot + failure;
    return false;
}

} // namespace

} // namespace Dispor::Backlight

extern "C" __attribute__((visibility("default"))) const Dispor::Backlight::Module dispor_backlight_module{
    DISPOR_VERSION_STRING, Dispor::Backlight::setThroughLogind};
