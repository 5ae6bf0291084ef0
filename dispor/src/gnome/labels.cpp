#include "gnome_backend.h"

#include "../text.h"
#include "../wayland_labels.h"

#include <QDBusMessage>
#include <QThread>

namespace Dispor::Gnome {

namespace {

QDBusMessage shellMethod(const QString &name)
{
    return QDBusMessage::createMethodCall(u"org.gnome.Shell"_qs, u"/org/gnome/Shell"_qs,
                                          u"org.gnome.Shell"_qs, name);
}

// Whether the reply says gnome-shell cannot serve this client: absent
// (bare mutter), or keeping the method for the callers it knows.
bool declined(const QDBusMessage &reply)
{
    const QString error = reply.errorName();
    return error == u"org.freedesktop.DBus.Error.AccessDenied" ||
           error == u"org.freedesktop.DBus.Error.ServiceUnknown" ||
           error == u"org.freedesktop.DBus.Error.NameHasNoOwner" ||
           error == u"org.freedesktop.DBus.Error.UnknownMethod";
}

} // namespace

bool GnomeBackend::showLabels(const Config &config, int seconds, QString *why)
{
    // gnome-shell numbers its labels by connector, as its settings do.
    QVariantMap numbers;
    for (const OutputPtr &output : config.connectedOutputs()) {
        if (output->isEnabled())
            numbers.insert(output->name(), int(numbers.size()) + 1);
    }
    const QDBusConnection &connection = m_session->connection();
    QDBusMessage show = shellMethod(u"ShowMonitorLabels"_qs);
    show.setArguments({numbers});
    const int wait = Session::answerSeconds;
    const QDBusMessage shown = connection.call(show, QDBus::Block, wait * 1000);
    if (shown.type() == QDBusMessage::ReplyMessage) {
        QThread::sleep(seconds);
        const QDBusMessage hidden =
            connection.call(shellMethod(u"HideMonitorLabels"_qs), QDBus::Block, wait * 1000);
        if (hidden.type() == QDBusMessage::ReplyMessage)
            return true;
        *why = u"gnome-shell showed the labels but did not hide them: "_qs +
               quoted(hidden.errorMessage().isEmpty() ? hidden.errorName() : hidden.errorMessage());
        return false;
    }
    if (!declined(shown)) {
        *why = u"cannot show labels: gnome-shell's ShowMonitorLabels failed: "_qs +
               quoted(shown.errorMessage().isEmpty() ? shown.errorName() : shown.errorMessage());
        return false;
    }
    // Where gnome-shell cannot, the label windows stand in; its answer is
    // said only where they cannot either.
    QString shell = u"no gnome-shell runs on the session bus"_qs;
    if (shown.errorName() == u"org.freedesktop.DBus.Error.AccessDenied")
        shell = u"gnome-shell keeps its monitor labels for its own settings ("_qs +
                quoted(shown.errorMessage()) + ")";
    else if (shown.errorName() == u"org.freedesktop.DBus.Error.UnknownMethod")
        shell = u"gnome-shell offers no monitor labels"_qs;
    QString failed;
    if (WaylandLabels::show(config, seconds, &failed))
        return true;
    *why = failed + "; " + shell;
    return false;
}

} // namespace Dispor::Gnome
