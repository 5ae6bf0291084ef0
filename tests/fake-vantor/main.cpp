// A stand-in for the compositor's bus service, for the end-to-end tests:
// it answers the two calls dispctl makes, the way its arguments ask.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QFile>
#include <QStringList>

#include <csignal>
#include <cstdio>

namespace {

struct Behaviour {
    QString activeOutput = QStringLiteral("DP-1");
    QString activeError;
    bool activeNonString = false;
    QString locatorError;
    bool locator = true;
    QString log;
    QString alsoOwn; // another service name held, as if that service ran
};

const QString errorName = QStringLiteral("org.lumo.Vantor.Error.Failed");

class Service : public QDBusVirtualObject {
public:
    Service(const Behaviour &behaviour, bool locator) : m_behaviour(behaviour), m_locator(locator) {}

    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        if (message.type() != QDBusMessage::MethodCallMessage)
            return false;
        log(message.member());
        QDBusMessage reply;
        if (!m_locator && message.interface() == QLatin1StringView("org.lumo.Vantor") &&
            message.member() == QLatin1StringView("activeOutputName")) {
            if (!m_behaviour.activeError.isEmpty())
                reply = message.createErrorReply(errorName, m_behaviour.activeError);
            else if (m_behaviour.activeNonString)
                reply = message.createReply(QVariant::fromValue(42));
            else
                reply = message.createReply(m_behaviour.activeOutput);
        } else if (m_locator &&
                   message.interface() == QLatin1StringView("org.lumo.Vantor.Effect.OutputLocator1") &&
                   message.member() == QLatin1StringView("show")) {
            if (!m_behaviour.locatorError.isEmpty())
                reply = message.createErrorReply(errorName, m_behaviour.locatorError);
            else
                reply = message.createReply();
        } else {
            return false;
        }
        connection.send(reply);
        return true;
    }

private:
    void log(const QString &method) const
    {
        if (m_behaviour.log.isEmpty())
            return;
        QFile file(m_behaviour.log);
        if (file.open(QIODevice::WriteOnly | QIODevice::Append))
            file.write(method.toUtf8() + '\n');
    }

    const Behaviour &m_behaviour;
    bool m_locator;
};

bool parse(const QStringList &arguments, Behaviour &behaviour)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        const bool hasValue = i + 1 < arguments.size();
        if (argument == QLatin1StringView("--active-output") && hasValue)
            behaviour.activeOutput = arguments.at(++i);
        else if (argument == QLatin1StringView("--active-error") && hasValue)
            behaviour.activeError = arguments.at(++i);
        else if (argument == QLatin1StringView("--active-non-string"))
            behaviour.activeNonString = true;
        else if (argument == QLatin1StringView("--locator-error") && hasValue)
            behaviour.locatorError = arguments.at(++i);
        else if (argument == QLatin1StringView("--no-locator"))
            behaviour.locator = false;
        else if (argument == QLatin1StringView("--log") && hasValue)
            behaviour.log = arguments.at(++i);
        else if (argument == QLatin1StringView("--also-own") && hasValue)
            behaviour.alsoOwn = arguments.at(++i);
        else
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    // The harness stops reading once it has seen "ready".
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);

    Behaviour behaviour;
    if (!parse(app.arguments(), behaviour)) {
        std::fprintf(stderr, "fake-vantor: bad arguments\n");
        return 2;
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    Service vantor(behaviour, false);
    Service locator(behaviour, true);
    if (!bus.isConnected() || !bus.registerVirtualObject(QStringLiteral("/Vantor"), &vantor) ||
        (behaviour.locator &&
         !bus.registerVirtualObject(QStringLiteral("/org/lumo/Vantor/Effect/OutputLocator1"), &locator)) ||
        !bus.registerService(QStringLiteral("org.lumo.Vantor")) ||
        (!behaviour.alsoOwn.isEmpty() && !bus.registerService(behaviour.alsoOwn))) {
        std::fprintf(stderr, "fake-vantor: cannot serve on the session bus\n");
        return 1;
    }

    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    return app.exec();
}
