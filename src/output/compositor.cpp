#include "output/compositor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QMetaType>

namespace {

const QString service = QStringLiteral("org.lumo.Vantor");

// Blocks until the reply or the bus's default time-out.
QDBusMessage call(const QString &path, const QString &interface, const QString &method)
{
    const QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    return QDBusConnection::sessionBus().call(message);
}

BusReply failure(const QDBusMessage &reply)
{
    QString text = reply.errorMessage();
    if (text.isEmpty())
        text = QStringLiteral("No reply");
    return {false, {}, text};
}

} // namespace

BusReply activeOutputName()
{
    const QDBusMessage reply = call(QStringLiteral("/Vantor"), service, QStringLiteral("activeOutputName"));
    if (reply.type() != QDBusMessage::ReplyMessage)
        return failure(reply);
    const QList<QVariant> arguments = reply.arguments();
    if (arguments.size() != 1 || arguments.first().metaType() != QMetaType::fromType<QString>()) {
        return {false, {},
                QStringLiteral("Unexpected reply signature: got \"%1\", expected \"s\"").arg(reply.signature())};
    }
    return {true, arguments.first().toString(), {}};
}

BusReply showOutputLocator()
{
    const QDBusMessage reply = call(QStringLiteral("/org/lumo/Vantor/Effect/OutputLocator1"),
                                    QStringLiteral("org.lumo.Vantor.Effect.OutputLocator1"), QStringLiteral("show"));
    if (reply.type() != QDBusMessage::ReplyMessage)
        return failure(reply);
    return {true, {}, {}};
}
