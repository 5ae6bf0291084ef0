#include "gnome_backend.h"

#include <QDBusMessage>
#include <QDBusServiceWatcher>

namespace Dispor::Gnome {

namespace {

const QString service = QStringLiteral("org.gnome.Mutter.DisplayConfig");

QString gone()
{
    return u"mutter is no longer on the session bus ("_qs + service + " has no owner)";
}

// Mutter tells of every change on the bus: the watch has no descriptor, it
// calls notify from the thread it was made in, whose event loop the bus's
// signals reach.
class MutterWatch : public QObject, public Watch {
    Q_OBJECT

public:
    explicit MutterWatch(const QDBusConnection &connection)
        : m_connection(connection), m_owner(service, connection, QDBusServiceWatcher::WatchForOwnerChange)
    {
        connect(&m_owner, &QDBusServiceWatcher::serviceOwnerChanged, this, &MutterWatch::ownerChanged);
    }
    ~MutterWatch() override { hook(false); }
    MutterWatch(const MutterWatch &) = delete;
    MutterWatch &operator=(const MutterWatch &) = delete;

    // MonitorsChanged from whichever process owns mutter's name.
    bool hook(bool on)
    {
        const QString path = u"/org/gnome/Mutter/DisplayConfig"_qs;
        const QString signal = u"MonitorsChanged"_qs;
        return on ? m_connection.connect(service, path, service, signal, this, SLOT(monitorsChanged()))
                  : m_connection.disconnect(service, path, service, signal, this, SLOT(monitorsChanged()));
    }

private Q_SLOTS:
    void monitorsChanged()
    {
        if (!m_lost && notify)
            notify(true, {});
    }

    // A mutter that replaced the one gone has a configuration of its own.
    void ownerChanged(const QString &, const QString &, const QString &owner)
    {
        if (m_lost || !notify)
            return;
        m_lost = owner.isEmpty();
        notify(!m_lost, m_lost ? gone() : QString());
    }

private:
    QDBusConnection m_connection;
    QDBusServiceWatcher m_owner;
    bool m_lost = false; // told once
};

} // namespace

std::unique_ptr<Watch> GnomeBackend::watch(QString *reason)
{
    const QDBusConnection &connection = m_session->connection();
    auto watch = std::make_unique<MutterWatch>(connection);
    if (!watch->hook(true)) {
        *reason = u"cannot watch mutter's MonitorsChanged on the session bus: "_qs +
                  connection.lastError().message();
        return {};
    }
    // Gone before the watch began, mutter would never be said to be.
    QDBusMessage ask = QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_qs, u"/org/freedesktop/DBus"_qs,
                                                      u"org.freedesktop.DBus"_qs, u"NameHasOwner"_qs);
    ask.setArguments({service});
    const QDBusMessage reply = connection.call(ask, QDBus::Block, Session::answerSeconds * 1000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        *reason = u"the session bus did not tell within "_qs + QString::number(Session::answerSeconds) +
                  " s whether mutter is on it: " + reply.errorName();
        return {};
    }
    if (!reply.arguments().value(0).toBool()) {
        *reason = gone();
        return {};
    }
    return watch;
}

} // namespace Dispor::Gnome

#include "watch.moc"
