#include "gnome_backend.h"

#include "../text.h"
#include "../wayland_labels.h"

#include <QDBusMessage>
#include <QThread>

// Linked in where the build has the label windows; without them the
// fallback is a refusal that says so.
namespace Dispor::WaylandLabels {
bool show(const QString &display, const QList<Label> &labels, int seconds, QString *why)
    __attribute__((weak));
} // namespace Dispor::WaylandLabels

namespace Dispor::Gnome {

namespace {

QDBusMessage shellMethod(const QString &name)
{
    return QDBusMessage::createMethodCall(u"org.gnome.Shell"_qs, u"/org/gnome/Shell"_qs,
                                          u"org.gnome.Shell"_qs, name);
}

// Its name, mode and place, one a line, as the label windows show them.
WaylandLabels::Label labelOf(const Output &output)
{
    QStringList lines = {output.name()};
    if (const ModePtr mode = output.currentMode())
        lines.append(QString::number(mode->size().width()) + u'x' + QString::number(mode->size().height()) +
                     " @ " + QString::number(double(mode->refreshRate()), 'f', 2) + " Hz");
    lines.append(u"at "_qs + QString::number(output.pos().x()) + u',' + QString::number(output.pos().y()));
    return {output.name(), lines};
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
    QList<WaylandLabels::Label> labels;
    for (const OutputPtr &output : config.connectedOutputs()) {
        if (!output->isEnabled())
            continue;
        numbers.insert(output->name(), int(numbers.size()) + 1);
        labels.append(labelOf(*output));
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
    // The shell's answer is said only where the windows cannot stand in.
    QString shell = u"no gnome-shell runs on the session bus"_qs;
    if (shown.errorName() == u"org.freedesktop.DBus.Error.AccessDenied")
        shell = u"gnome-shell keeps its monitor labels for its own settings ("_qs +
                quoted(shown.errorMessage()) + ")";
    else if (shown.errorName() == u"org.freedesktop.DBus.Error.UnknownMethod")
        shell = u"gnome-shell offers no monitor labels"_qs;
    if (!WaylandLabels::show) {
        *why = u"cannot show labels: "_qs + shell + ", and this build has no label windows";
        return false;
    }
    QString failed;
    if (WaylandLabels::show({}, labels, seconds, &failed))
        return true;
    *why = shell + "; " + failed;
    return false;
}

} // namespace Dispor::Gnome
