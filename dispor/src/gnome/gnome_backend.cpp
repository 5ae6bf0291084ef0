#include "gnome_backend.h"

#include "../remembered.h"
#include "../settle.h"
#include "../text.h"
#include "model.h"
#include "readback.h"

#include <QSet>

namespace Dispor::Gnome {

namespace {

// Mutter forgets what a monitor had once it is off: the record of it, per
// session bus, in the runtime directory. Its writes take the record's own
// lock; they are made in the session's turn.
RememberedFile memoryOf(const QByteArray &bus)
{
    return RememberedFile(u"gnome-"_qs + QString::fromLatin1(bus));
}

// The record as it is; one that cannot be read is none, and the monitors
// that are off are described as unknown.
RememberedOutputs recordsOf(RememberedFile memory)
{
    RememberedOutputs records;
    QString unread;
    if (!memory.read(&records, &unread))
        records.clear();
    return records;
}

QSet<QString> litIn(const QList<LogicalState> &logical)
{
    QSet<QString> lit;
    for (const LogicalState &l : logical) {
        for (const QString &connector : l.connectors)
            lit.insert(connector);
    }
    return lit;
}

// What each monitor that the layout sent switches off has now.
QMap<QString, std::optional<Remembered>> switchedOff(const State &before, const Plan &plan)
{
    QMap<QString, std::optional<Remembered>> changes;
    QSet<QString> lit;
    for (const LogicalSetting &l : plan.logical) {
        for (const MonitorSetting &m : l.monitors)
            lit.insert(m.connector);
    }
    for (const Output::Data &d : describe(before, 0)) {
        if (d.enabled && !lit.contains(d.name))
            changes.insert(d.name, rememberedOf(d));
    }
    return changes;
}

// Once mutter holds `held`: a monitor on has no record any more. A record
// left for want of a write is harmless: it describes only monitors that
// are off, and the next disable writes it anew.
void forgetLit(RememberedFile &memory, const State &held)
{
    QMap<QString, std::optional<Remembered>> changes;
    for (const QString &connector : litIn(held.logical))
        changes.insert(connector, std::nullopt);
    QString unwritten;
    memory.update(changes, &unwritten);
}

} // namespace

bool GnomeBackend::fetch(ConfigPtr *config, QString *reason)
{
    State state;
    if (!m_session->state(&state, reason))
        return false;
    m_carriesLight = state.backlight.has_value();
    // Only a monitor that is off needs the record.
    RememberedOutputs records;
    QByteArray bus;
    QString unread;
    if (litIn(state.logical).size() < state.monitors.size() && m_session->busId(&bus, &unread))
        records = recordsOf(memoryOf(bus));
    OutputList list;
    ConfigOrigin origin;
    origin.stamp = state.stamp;
    for (Output::Data &d : describe(state, state.power, records)) {
        origin.fetched.insert(d.id, d);
        list.insert(d.id, OutputPtr::create(std::move(d)));
    }
    *config = ConfigPtr::create(std::move(list));
    originOf(**config) = std::move(origin);
    return true;
}

Applied GnomeBackend::apply(const Config &config, QByteArray *stamp, QString *reason)
{
    // Mutter's serial does not change on an apply: two clients that read the
    // same state would both pass the check, and the later apply would take
    // back the earlier one's change. Every client of the session takes
    // turns, from the check to the end of the apply, its read-back or its
    // setting back.
    const std::unique_ptr<Turn> turn = m_session->takeTurn(reason);
    if (!turn)
        return Applied::Refused;
    QByteArray bus;
    if (!m_session->busId(&bus, reason))
        return Applied::Refused;
    // Mutter's serial stays the same when another client applies: the
    // state as a whole tells whether the snapshot is out of date.
    State before;
    if (!m_session->state(&before, reason))
        return Applied::Refused;
    if (originOf(config).stamp != before.stamp) {
        *reason = QStringLiteral("the outputs changed since they were read");
        return Applied::Conflict;
    }
    RememberedFile memory = memoryOf(bus);
    Plan plan;
    if (!Gnome::plan(config, before, &plan, reason, recordsOf(memory)))
        return Applied::Refused;
    if (!plan.changes()) {
        *stamp = before.stamp;
        return Applied::Done;
    }
    // Verified first, so that a refusal changes nothing. Temporary, because
    // under GNOME Shell a persistent change is taken back after some seconds
    // unless the user confirms it there. What a monitor had is recorded
    // before it is switched off, and a record that cannot be written
    // refuses the change.
    if (plan.layout && (!m_session->apply(before, Method::Verify, plan.logical, reason) ||
                        !memory.update(switchedOff(before, plan), reason) ||
                        !m_session->apply(before, Method::Temporary, plan.logical, reason)))
        return Applied::Refused;
    // From here on a failure sets back what mutter took, the call that
    // failed included.
    Plan sent{plan.layout, plan.logical, {}, {}};
    bool taken = plan.layout;
    const auto failed = [&] {
        if (taken)
            *reason = setBack(before, sent, *reason, memory, false);
        return Applied::Refused;
    };
    for (const LuminanceSetting &l : std::as_const(plan.luminance)) {
        sent.luminance.append(l);
        if (!(l.luminance ? m_session->setLuminance(l.connector, l.colorMode, *l.luminance, reason)
                          : m_session->resetLuminance(l.connector, l.colorMode, reason)))
            return failed();
        taken = true;
    }
    if (!plan.backlight.isEmpty()) {
        // SetBacklight takes the serial of the latest Backlight, which an
        // apply moves on.
        State now = before;
        if (plan.layout && !m_session->state(&now, reason))
            return failed();
        for (const BacklightSetting &b : std::as_const(plan.backlight)) {
            sent.backlight.append(b);
            if (!m_session->setBacklight(now.backlightSerial, b.connector, b.value, reason))
                return failed();
            taken = true;
        }
    }
    // Read back: what mutter made of it, by its own rules. Mutter confirmed
    // the change: a read-back it does not answer leaves it unknown.
    State held;
    bool late = false;
    if (!m_session->state(&held, reason, &late)) {
        if (late)
            *reason = LayoutRules::unconfirmed(u"mutter"_qs, Session::answerSeconds);
        return Applied::Refused;
    }
    if (QStringList kept = notHeld(plan, held); !kept.isEmpty()) {
        for (QString &line : kept)
            line = escaped(line);
        *reason = setBack(before, sent, kept.join(u'\n'), memory, true);
        return Applied::NotHeld;
    }
    forgetLit(memory, held);
    *stamp = held.stamp;
    return Applied::Done;
}

QString GnomeBackend::setBack(const State &before, const Plan &sent, const QString &failure,
                              RememberedFile &memory, bool escape)
{
    const Plan back = Gnome::setBack(before, sent);
    const auto shown = [escape](const QString &text) { return escape ? escaped(text) : text; };
    QString why;
    bool sentBack = !back.layout || m_session->apply(before, Method::Temporary, back.logical, &why);
    for (const LuminanceSetting &l : std::as_const(back.luminance)) {
        sentBack =
            sentBack && (l.luminance ? m_session->setLuminance(l.connector, l.colorMode, *l.luminance, &why)
                                     : m_session->resetLuminance(l.connector, l.colorMode, &why));
    }
    if (sentBack && !back.backlight.isEmpty()) {
        State now;
        sentBack = m_session->state(&now, &why);
        for (const BacklightSetting &b : std::as_const(back.backlight))
            sentBack = sentBack && m_session->setBacklight(now.backlightSerial, b.connector, b.value, &why);
    }
    State held;
    QString unread;
    if (!m_session->state(&held, &unread))
        return LayoutRules::notUndone(failure, shown(sentBack ? unread : why),
                                      u"a state mutter did not report"_qs);
    forgetLit(memory, held);
    if (sentBack) {
        const QStringList kept = notHeld(back, held);
        if (kept.isEmpty())
            return LayoutRules::undone(failure);
        why = kept.join(u"; ");
    }
    return LayoutRules::notUndone(failure, shown(why), shown(holding(held)));
}

bool GnomeBackend::setDpms(Output::DpmsMode mode, QString *reason)
{
    // Mutter 43 takes any number without complaint.
    const uint32_t value = uint32_t(mode);
    if (value > uint32_t(Output::DpmsMode::Off)) {
        *reason =
            u"the power mode "_qs + QString::number(value) + " is not one of on, standby, suspend and off";
        return false;
    }
    return m_session->setPowerSaveMode(int(value), reason);
}

std::shared_ptr<Backend> createGnomeBackend(QString *reason)
{
    std::unique_ptr<Session> session = Session::open(reason);
    if (!session)
        return {};
    return std::make_shared<GnomeBackend>(std::move(session));
}

} // namespace Dispor::Gnome
