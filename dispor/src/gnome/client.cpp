#include "client.h"

#include "../text.h"
#include "session_bus.h"

#include <QCryptographicHash>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QThread>
#include <QUrl>

#include <chrono>
#include <condition_variable>
#include <mutex>

Q_DECLARE_METATYPE(Dispor::Gnome::MonitorSetting)
Q_DECLARE_METATYPE(Dispor::Gnome::LogicalSetting)

namespace Dispor::Gnome {

namespace {

const QString service = QStringLiteral("org.gnome.Mutter.DisplayConfig");
const QString path = QStringLiteral("/org/gnome/Mutter/DisplayConfig");
const QString interface = service;
constexpr QLatin1StringView stateSignature("ua((ssss)a(siiddada{sv})a{sv})a(iiduba(ssss)a{sv})a{sv}");

// The name a client owns on the session bus for its turn to change mutter's
// state. The bus is the display session's: one name serves every client of
// the session, whatever runtime directory each has. It lies under the
// reverse domain of the project's own dispctl.org, where no other program
// names anything (the other names here are mutter's and the bus's).
const QString turnName = QStringLiteral("org.dispctl.Dispor.GnomeApply");
// RequestName's answers that this backend expects.
constexpr uint32_t primaryOwner = 1;
constexpr uint32_t inQueue = 2;

// Seconds each kind of call may take.
constexpr int answerSeconds = Session::answerSeconds;
constexpr int applySeconds = 10; // a mode change reprograms the outputs first

// QtDBus waits 25 s, then aborts, for a bus that accepts a connection and
// never answers: before it connects, the bus must answer the
// authentication and Hello within the given seconds. Other transports go
// straight on.
bool busAnswers(const QString &address, QString *reason)
{
    const BusProbe probe = probeSessionBus(address, answerSeconds);
    switch (probe.outcome) {
    case BusProbe::Answered:
    case BusProbe::NotProbed:
        return true;
    case BusProbe::Silent:
        *reason = sessionBusSilent(quoted(address), answerSeconds, probe.failure);
        return false;
    case BusProbe::Failed:
        break;
    }
    *reason = sessionBusUnreachable(quoted(address), probe.failure);
    return false;
}

// What a call does to mutter's state, for what an unanswered one means.
enum class Effect { None, Check, Change };

bool unanswered(const QDBusMessage &reply)
{
    const QString error = reply.errorName();
    return error == u"org.freedesktop.DBus.Error.NoReply" || error == u"org.freedesktop.DBus.Error.Timeout";
}

// Well before the time-out, no answer means the bus saw mutter go.
bool leftEarly(const QDBusMessage &reply, int seconds, const QDeadlineTimer &deadline)
{
    return unanswered(reply) && deadline.remainingTime() > seconds * 100;
}

// Whether the reply to message, asked for at most seconds from deadline's
// start, is an answer; false with a reason that names the call, or for an
// unanswered change, says that it may still be made.
bool answered(const QDBusMessage &message, const QDBusMessage &reply, int seconds,
              const QDeadlineTimer &deadline, QString *reason, const QString &refused = {},
              Effect effect = Effect::None)
{
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    const QString what = message.member() == u"Get" || message.member() == u"Set"
                             ? message.member() + u' ' + message.arguments().value(1).toString()
                             : message.member();
    const QString error = reply.errorName();
    const bool late = unanswered(reply);
    if (leftEarly(reply, seconds, deadline))
        *reason = u"mutter left the session bus without answering "_qs + what;
    else if (error == u"org.freedesktop.DBus.Error.ServiceUnknown" ||
             error == u"org.freedesktop.DBus.Error.NameHasNoOwner")
        *reason = u"mutter is no longer on the session bus ("_qs + service + " has no owner)";
    else if (late && effect == Effect::Change)
        *reason = u"mutter did not confirm the change within "_qs + QString::number(seconds) +
                  " s; it may still take effect";
    else if (late && effect == Effect::Check)
        *reason = u"mutter did not check the change within "_qs + QString::number(seconds) +
                  " s; nothing was changed";
    else if (late)
        *reason =
            message.service() + " did not answer " + what + " within " + QString::number(seconds) + " s";
    else if (!refused.isEmpty())
        *reason = refused + quoted(reply.errorMessage());
    else
        *reason = what + " failed: " +
                  quoted(reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage());
    return false;
}

// Waits at most seconds for the answer, as answered() tells it.
bool call(const QDBusConnection &connection, const QDBusMessage &message, int seconds, QDBusMessage *reply,
          QString *reason, const QString &refused = {}, Effect effect = Effect::None)
{
    const QDeadlineTimer deadline(seconds * 1000);
    *reply = connection.call(message, QDBus::Block, seconds * 1000);
    return answered(message, *reply, seconds, deadline, reason, refused, effect);
}

QDBusMessage method(const QString &name)
{
    return QDBusMessage::createMethodCall(service, path, interface, name);
}

// A call to the bus itself.
QDBusMessage busMethod(const QString &name, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        u"org.freedesktop.DBus"_qs, u"/org/freedesktop/DBus"_qs, u"org.freedesktop.DBus"_qs, name);
    message.setArguments(arguments);
    return message;
}

QDBusMessage property(const QString &name, const QVariantList &arguments)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(service, path, u"org.freedesktop.DBus.Properties"_qs, name);
    message.setArguments(arguments);
    return message;
}

QVariantMap properties(const QDBusArgument &arg)
{
    QVariantMap map;
    arg >> map;
    return map;
}

void readMonitor(const QDBusArgument &arg, QString *connector, QString *vendor = nullptr,
                 QString *product = nullptr, QString *serial = nullptr)
{
    QString ignored;
    arg.beginStructure();
    arg >> *connector >> (vendor ? *vendor : ignored) >> (product ? *product : ignored) >>
        (serial ? *serial : ignored);
    arg.endStructure();
}

// The text every field of the state is in, hashed.
QByteArray stampOf(const State &state)
{
    QByteArray text = QByteArray::number(state.serial) + ' ' + QByteArray::number(state.layoutMode) + '\n';
    for (const MonitorState &monitor : state.monitors) {
        text +=
            (monitor.connector + u'\t' + monitor.vendor + u'\t' + monitor.product + u'\t' + monitor.serial)
                .toUtf8() +
            (monitor.builtin ? " b" : "") + (monitor.underscanning.value_or(false) ? " u" : "") +
            (monitor.colorMode ? " c" + QByteArray::number(*monitor.colorMode) : "") + '\n';
        for (const ModeState &mode : monitor.modes)
            text += ' ' + mode.id.toUtf8() + (mode.current ? "*" : "");
        text += '\n';
    }
    for (const LogicalState &logical : state.logical) {
        text += QByteArray::number(logical.x) + ',' + QByteArray::number(logical.y) + ' ' +
                QByteArray::number(logical.scale, 'g', 17) + ' ' + QByteArray::number(logical.transform) +
                (logical.primary ? " p" : "") + ' ' + logical.connectors.join(u'\t').toUtf8() + '\n';
    }
    // Levels too, not the backlight's serial: that one moves with every apply.
    for (const LuminanceState &l : state.luminance.value_or(QList<LuminanceState>())) {
        text += "l " + l.connector.toUtf8() + ' ' + QByteArray::number(l.colorMode) + ' ' +
                QByteArray::number(l.luminance, 'g', 17) + (l.unset ? " unset" : "") + '\n';
    }
    for (const BacklightState &b : state.backlight.value_or(QList<BacklightState>())) {
        if (b.value)
            text += "b " + b.connector.toUtf8() + ' ' + QByteArray::number(*b.value) + '\n';
    }
    return QCryptographicHash::hash(text, QCryptographicHash::Sha1).toHex();
}

// Mutter's property maps carry numbers as the types it chose; anything
// else counts as absent.
std::optional<int> integer(const QVariantMap &map, const QString &key)
{
    bool ok = false;
    const int value = map.value(key).toInt(&ok);
    return map.contains(key) && ok ? std::optional<int>(value) : std::nullopt;
}

// The properties of the interface that mutter 48 added (Luminance,
// Backlight), read where present, and PowerSaveMode.
bool readProperties(const QVariantMap &all, State *state, QString *reason)
{
    bool isInt = false;
    state->power = all.value(u"PowerSaveMode"_qs).toInt(&isInt);
    if (!isInt) {
        *reason = QStringLiteral("mutter's PowerSaveMode is not a number");
        return false;
    }
    if (all.contains(u"Luminance"_qs)) {
        QList<LuminanceState> list;
        for (const QVariantMap &entry : qdbus_cast<QList<QVariantMap>>(all.value(u"Luminance"_qs))) {
            LuminanceState l;
            l.connector = entry.value(u"connector"_qs).toString();
            l.colorMode = entry.value(u"color-mode"_qs).toUInt();
            l.luminance = entry.value(u"luminance"_qs, 100.0).toDouble();
            l.standard = entry.value(u"default"_qs, 100.0).toDouble();
            l.unset = entry.value(u"is-unset"_qs).toBool();
            list.append(l);
        }
        state->luminance = list;
    }
    if (all.contains(u"Backlight"_qs)) {
        const QDBusArgument arg = all.value(u"Backlight"_qs).value<QDBusArgument>();
        if (arg.currentSignature() != u"(uaa{sv})") {
            *reason = u"mutter's Backlight has the signature "_qs + quoted(arg.currentSignature()) +
                      " instead of (uaa{sv})";
            return false;
        }
        QList<QVariantMap> entries;
        arg.beginStructure();
        arg >> state->backlightSerial >> entries;
        arg.endStructure();
        QList<BacklightState> list;
        for (const QVariantMap &entry : std::as_const(entries)) {
            BacklightState b;
            b.connector = entry.value(u"connector"_qs).toString();
            b.active = entry.value(u"active"_qs).toBool();
            b.min = integer(entry, u"min"_qs);
            b.max = integer(entry, u"max"_qs);
            b.value = integer(entry, u"value"_qs);
            list.append(b);
        }
        state->backlight = list;
    }
    return true;
}

} // namespace

// Sees the turn change hands while a client waits in the bus's queue. It
// lives in a thread of its own, where the bus's signals reach it: the
// waiting thread runs none of the program's events.
class TurnWatch : public QObject {
    Q_OBJECT

public:
    explicit TurnWatch(const QString &self) : m_self(self) {}

    std::mutex mutex;
    std::condition_variable changed;
    bool acquired = false;
    int handovers = 0;

public Q_SLOTS:
    void nameAcquired(const QString &name)
    {
        if (name == turnName)
            handedOver(true);
    }
    void ownerChanged(const QString &name, const QString &, const QString &owner)
    {
        if (name == turnName)
            handedOver(owner == m_self);
    }

private:
    void handedOver(bool toSelf)
    {
        {
            const std::lock_guard lock(mutex);
            acquired = acquired || toSelf;
            ++handovers;
        }
        changed.notify_all();
    }

    const QString m_self;
};

namespace {

// The watch's thread and the signals it takes, for one wait.
class Watching {
public:
    explicit Watching(const QDBusConnection &connection)
        : m_connection(connection), m_watch(connection.baseService())
    {
        m_watch.moveToThread(&m_thread);
        m_thread.start();
        m_watching = hook(true, u"NameAcquired"_qs, SLOT(nameAcquired(QString))) &&
                     hook(true, u"NameOwnerChanged"_qs, SLOT(ownerChanged(QString, QString, QString)));
    }
    ~Watching()
    {
        hook(false, u"NameAcquired"_qs, SLOT(nameAcquired(QString)));
        hook(false, u"NameOwnerChanged"_qs, SLOT(ownerChanged(QString, QString, QString)));
        m_thread.quit();
        m_thread.wait();
    }
    Watching(const Watching &) = delete;
    Watching &operator=(const Watching &) = delete;

    bool watching() const { return m_watching; }
    TurnWatch &watch() { return m_watch; }

private:
    // The bus's signal about the turn's name, to the watch or no more.
    bool hook(bool on, const QString &signal, const char *slot)
    {
        const QString bus = u"org.freedesktop.DBus"_qs;
        return on ? m_connection.connect(bus, u"/org/freedesktop/DBus"_qs, bus, signal, {turnName}, {},
                                         &m_watch, slot)
                  : m_connection.disconnect(bus, u"/org/freedesktop/DBus"_qs, bus, signal, {turnName}, {},
                                            &m_watch, slot);
    }

    QDBusConnection m_connection;
    QThread m_thread;
    TurnWatch m_watch; // gone before its thread
    bool m_watching = false;
};

} // namespace

QDBusArgument &operator<<(QDBusArgument &arg, const MonitorSetting &monitor)
{
    QVariantMap properties;
    if (monitor.underscanning)
        properties.insert(QStringLiteral("underscanning"), *monitor.underscanning);
    if (monitor.colorMode)
        properties.insert(QStringLiteral("color-mode"), *monitor.colorMode);
    arg.beginStructure();
    arg << monitor.connector << monitor.mode << properties;
    arg.endStructure();
    return arg;
}

// Only to register the type; mutter never sends these.
const QDBusArgument &operator>>(const QDBusArgument &arg, MonitorSetting &)
{
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const LogicalSetting &logical)
{
    arg.beginStructure();
    arg << logical.x << logical.y << logical.scale << logical.transform << logical.primary
        << logical.monitors;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, LogicalSetting &)
{
    return arg;
}

const ModeState *MonitorState::mode(const QString &id) const
{
    for (const ModeState &mode : modes) {
        if (mode.id == id)
            return &mode;
    }
    return nullptr;
}

Session::~Session()
{
    QDBusConnection::disconnectFromBus(m_connection.name());
}

std::unique_ptr<Session> Session::open(QString *reason)
{
    QString lookedAt;
    UsersBus why = UsersBus::Missing;
    const QString address = sessionBusAddress(&lookedAt, &why);
    if (address.isEmpty()) {
        *reason = sessionBusMissing(lookedAt.isEmpty() ? QString() : quoted(lookedAt), why);
        return {};
    }
    if (!busAnswers(address, reason))
        return {};
    static int connections = 0;
    const QString name = u"dispor-gnome-"_qs + QString::number(++connections);
    QDBusConnection connection = QDBusConnection::connectToBus(address, name);
    std::unique_ptr<Session> session(new Session(connection));
    if (!connection.isConnected()) {
        *reason = u"cannot connect to the session bus at "_qs + quoted(address) + ": " +
                  quoted(connection.lastError().message());
        return {};
    }
    QDBusMessage reply;
    if (!call(connection, busMethod(u"NameHasOwner"_qs, {service}), answerSeconds, &reply, reason))
        return {};
    if (!reply.arguments().value(0).toBool()) {
        *reason = u"the session bus offers no "_qs + service;
        return {};
    }
    qDBusRegisterMetaType<MonitorSetting>();
    qDBusRegisterMetaType<QList<MonitorSetting>>();
    qDBusRegisterMetaType<LogicalSetting>();
    qDBusRegisterMetaType<QList<LogicalSetting>>();
    return session;
}

bool Session::busId(QByteArray *id, QString *reason)
{
    if (m_busId.isEmpty()) {
        QDBusMessage reply;
        if (!call(m_connection, busMethod(u"GetId"_qs, {}), answerSeconds, &reply, reason))
            return false;
        // A file name: whatever the bus answered, nothing but safe bytes.
        m_busId = QUrl::toPercentEncoding(reply.arguments().value(0).toString());
        if (m_busId.isEmpty()) {
            *reason = QStringLiteral("the session bus gave no id of its own");
            return false;
        }
    }
    *id = m_busId;
    return true;
}

Turn::~Turn()
{
    // Left held where the bus does not answer, it goes when the session's
    // connection closes.
    QDBusMessage reply;
    QString unanswered;
    call(m_connection, busMethod(u"ReleaseName"_qs, {turnName}), answerSeconds, &reply, &unanswered);
}

std::unique_ptr<Turn> Session::takeTurn(QString *reason)
{
    // Without flags: queued behind the holder, never taking it from one, and
    // never taken from this client.
    QDBusMessage reply;
    if (!call(m_connection, busMethod(u"RequestName"_qs, {turnName, 0u}), answerSeconds, &reply, reason))
        return {};
    // From here on, whatever ends the wait lets the name go or leaves the queue.
    std::unique_ptr<Turn> turn(new Turn(m_connection));
    const uint32_t answer = reply.arguments().value(0).toUInt();
    if (answer == primaryOwner)
        return turn;
    if (answer != inQueue) {
        *reason =
            u"the session bus answered RequestName for "_qs + turnName + " with " + QString::number(answer);
        return {};
    }
    Watching watching(m_connection);
    if (!watching.watching()) {
        *reason = u"cannot watch "_qs + turnName +
                  " on the session bus: " + quoted(m_connection.lastError().message());
        return {};
    }
    // Handed over before the watch began: the bus says so now.
    if (!call(m_connection, busMethod(u"GetNameOwner"_qs, {turnName}), answerSeconds, &reply, reason))
        return {};
    if (reply.arguments().value(0).toString() == m_connection.baseService())
        return turn;
    TurnWatch &watch = watching.watch();
    std::unique_lock lock(watch.mutex);
    for (;;) {
        const int seen = watch.handovers;
        const bool moved = watch.changed.wait_for(lock, std::chrono::seconds(turnWaitSeconds),
                                                  [&] { return watch.acquired || watch.handovers != seen; });
        if (watch.acquired)
            return turn;
        if (!moved)
            break;
    }
    lock.unlock();
    if (!m_connection.isConnected()) {
        *reason = u"the session bus closed the connection while this client waited for "_qs + turnName;
        return {};
    }
    // The process to look at, where the bus can tell.
    QString holder;
    QString unasked;
    if (call(m_connection, busMethod(u"GetConnectionUnixProcessID"_qs, {turnName}), answerSeconds, &reply,
             &unasked))
        holder = u" (process "_qs + QString::number(reply.arguments().value(0).toUInt()) + u')';
    *reason = u"the apply holding "_qs + turnName + " on the session bus" + holder + " has not finished in " +
              QString::number(turnWaitSeconds) + " s (a writer stopped or hangs); nothing was changed";
    return {};
}

bool Session::state(State *state, QString *reason, bool *late)
{
    // Both asked at once: one wait on mutter, not two. Right after an apply
    // mutter is still busy, and each wait costs milliseconds.
    const QDeadlineTimer deadline(answerSeconds * 1000);
    const QDBusMessage current = method(u"GetCurrentState"_qs);
    const QDBusMessage all = property(u"GetAll"_qs, {interface});
    QDBusPendingCall currentCall = m_connection.asyncCall(current, answerSeconds * 1000);
    QDBusPendingCall allCall = m_connection.asyncCall(all, answerSeconds * 1000);
    currentCall.waitForFinished();
    QDBusMessage reply = currentCall.reply();
    if (late)
        *late = unanswered(reply) && !leftEarly(reply, answerSeconds, deadline);
    if (!answered(current, reply, answerSeconds, deadline, reason))
        return false;
    if (reply.signature() != stateSignature) {
        *reason = u"GetCurrentState answered with the signature "_qs + quoted(reply.signature()) +
                  " instead of " + stateSignature;
        return false;
    }
    *state = State{};
    const QVariantList args = reply.arguments();
    state->serial = args.at(0).toUInt();

    const QDBusArgument monitors = args.at(1).value<QDBusArgument>();
    monitors.beginArray();
    while (!monitors.atEnd()) {
        MonitorState monitor;
        monitors.beginStructure();
        readMonitor(monitors, &monitor.connector, &monitor.vendor, &monitor.product, &monitor.serial);
        monitors.beginArray();
        while (!monitors.atEnd()) {
            ModeState mode;
            monitors.beginStructure();
            monitors >> mode.id >> mode.width >> mode.height >> mode.refresh >> mode.preferredScale >>
                mode.scales;
            const QVariantMap flags = properties(monitors);
            monitors.endStructure();
            mode.current = flags.value(u"is-current"_qs).toBool();
            mode.preferred = flags.value(u"is-preferred"_qs).toBool();
            mode.variable = flags.value(u"refresh-rate-mode"_qs).toString() == u"variable";
            monitor.modes.append(mode);
        }
        monitors.endArray();
        const QVariantMap flags = properties(monitors);
        monitors.endStructure();
        monitor.builtin = flags.value(u"is-builtin"_qs).toBool();
        if (flags.contains(u"is-underscanning"_qs))
            monitor.underscanning = flags.value(u"is-underscanning"_qs).toBool();
        if (flags.contains(u"color-mode"_qs)) {
            monitor.colorMode = flags.value(u"color-mode"_qs).toUInt();
            monitor.colorModes = qdbus_cast<QList<uint32_t>>(flags.value(u"supported-color-modes"_qs));
        }
        state->monitors.append(monitor);
    }
    monitors.endArray();

    const QDBusArgument logicals = args.at(2).value<QDBusArgument>();
    logicals.beginArray();
    while (!logicals.atEnd()) {
        LogicalState logical;
        logicals.beginStructure();
        logicals >> logical.x >> logical.y >> logical.scale >> logical.transform >> logical.primary;
        logicals.beginArray();
        while (!logicals.atEnd()) {
            QString connector;
            readMonitor(logicals, &connector);
            logical.connectors.append(connector);
        }
        logicals.endArray();
        properties(logicals);
        logicals.endStructure();
        state->logical.append(logical);
    }
    logicals.endArray();

    const QVariantMap global = qdbus_cast<QVariantMap>(args.at(3));
    state->layoutMode = global.value(u"layout-mode"_qs, 2u).toUInt();
    state->canChangeLayoutMode = global.value(u"supports-changing-layout-mode"_qs).toBool();

    allCall.waitForFinished();
    reply = allCall.reply();
    if (late)
        *late = unanswered(reply) && !leftEarly(reply, answerSeconds, deadline);
    if (!answered(all, reply, answerSeconds, deadline, reason))
        return false;
    if (!readProperties(qdbus_cast<QVariantMap>(reply.arguments().value(0)), state, reason))
        return false;
    state->stamp = stampOf(*state);
    return true;
}

bool Session::apply(const State &basis, Method method, const QList<LogicalSetting> &logical, QString *reason)
{
    QDBusMessage message = Gnome::method(u"ApplyMonitorsConfig"_qs);
    QVariantMap global;
    // Left out, mutter would fall back to its default layout mode.
    if (basis.canChangeLayoutMode)
        global.insert(u"layout-mode"_qs, basis.layoutMode);
    message.setArguments({basis.serial, uint32_t(method), QVariant::fromValue(logical), global});
    QDBusMessage reply;
    return call(m_connection, message, applySeconds, &reply, reason,
                u"mutter refused the output configuration: "_qs,
                method == Method::Verify ? Effect::Check : Effect::Change);
}

bool Session::setPowerSaveMode(int mode, QString *reason)
{
    QDBusMessage reply;
    // Switching the screens may take as long as a mode change.
    return call(
        m_connection,
        property(u"Set"_qs, {interface, u"PowerSaveMode"_qs, QVariant::fromValue(QDBusVariant(mode))}),
        applySeconds, &reply, reason, {}, Effect::Change);
}

bool Session::setLuminance(const QString &connector, uint32_t colorMode, double luminance, QString *reason)
{
    QDBusMessage message = method(u"SetLuminance"_qs);
    message.setArguments({connector, colorMode, luminance});
    QDBusMessage reply;
    return call(m_connection, message, answerSeconds, &reply, reason, {}, Effect::Change);
}

bool Session::resetLuminance(const QString &connector, uint32_t colorMode, QString *reason)
{
    QDBusMessage message = method(u"ResetLuminance"_qs);
    message.setArguments({connector, colorMode});
    QDBusMessage reply;
    return call(m_connection, message, answerSeconds, &reply, reason, {}, Effect::Change);
}

bool Session::setBacklight(uint32_t serial, const QString &connector, int value, QString *reason)
{
    QDBusMessage message = method(u"SetBacklight"_qs);
    message.setArguments({serial, connector, value});
    QDBusMessage reply;
    return call(m_connection, message, answerSeconds, &reply, reason,
                u"mutter refused the backlight level: "_qs, Effect::Change);
}

} // namespace Dispor::Gnome

#include "client.moc"
