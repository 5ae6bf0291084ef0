#include "x11_backend.h"

#include "../changes.h"
#include "../settle.h"
#include "../text.h"
#include "description.h"
#include "desktop.h"
#include "execution.h"
#include "plan.h"
#include "readback.h"

#include <xcb/dpms.h>

namespace Dispor::X11 {

using Data = Output::Data;

bool X11Backend::fetch(ConfigPtr *config, QString *reason)
{
    ServerState state;
    // Asks the hardware again, as xrandr does: what the server last saw may
    // be older than a monitor plugged in since.
    if (!m_connection->read(&state, true, reason))
        return false;
    OutputList list;
    ConfigOrigin origin;
    m_remembered = remembered(state);
    // The snapshot's outputs copy the description, which the origin keeps.
    origin.fetched = describe(state, m_remembered);
    for (const Data &d : std::as_const(origin.fetched))
        list.insert(d.id, OutputPtr::create(d));
    m_fetchedStamp = QByteArray::number(++m_fetches);
    origin.stamp = m_fetchedStamp;
    m_fetched = std::move(state);
    *config = ConfigPtr::create(std::move(list));
    originOf(**config) = std::move(origin);
    return true;
}

bool X11Backend::carriesLight(const Output::Data &output) const
{
    const auto fetched = m_fetched.outputs.constFind(xcb_randr_output_t(output.id));
    return fetched != m_fetched.outputs.cend() && backlightOf(*fetched, m_fetched.atoms);
}

RememberedOutputs X11Backend::remembered(const ServerState &state)
{
    RememberedOutputs records;
    for (const OutputState &output : state.outputs) {
        if (output.connected && !state.crtcs.value(output.crtc).mode) {
            QString ignored;
            m_records.read(&records, &ignored);
            break;
        }
    }
    return records;
}

bool X11Backend::keepSwitchedOff(const ServerState &now, const QMap<int, Data> &described, const Plan &plan,
                                 RememberedOutputs *records, QString *reason)
{
    QSet<xcb_randr_output_t> lit;
    for (const CrtcTarget &target : plan.layout.crtcs) {
        if (target.mode)
            lit.unite(QSet<xcb_randr_output_t>(target.outputs.cbegin(), target.outputs.cend()));
    }
    QMap<QString, std::optional<Remembered>> kept;
    for (const CrtcState &crtc : now.crtcs) {
        for (const xcb_randr_output_t output : crtc.mode ? crtc.outputs : QList<xcb_randr_output_t>()) {
            if (!lit.contains(output))
                kept.insert(now.outputs.value(output).name, rememberedOf(described.value(int(output))));
        }
    }
    if (kept.isEmpty())
        return true;
    QString why;
    if (!m_records.update(kept, &why)) {
        *reason = QStringList(kept.keys()).join(u", ") + ": cannot keep what " +
                  (kept.size() == 1 ? u"it has for when it is"_qs : u"they have for when they are"_qs) +
                  " enabled again: " + why;
        return false;
    }
    for (auto at = kept.cbegin(); at != kept.cend(); ++at)
        records->insert(at.key(), **at);
    return true;
}

void X11Backend::forgetLit(const ServerState &state, const Layout &layout, const RememberedOutputs &records)
{
    QMap<QString, std::optional<Remembered>> done;
    for (const CrtcTarget &target : layout.crtcs) {
        for (const xcb_randr_output_t output : target.mode ? target.outputs : QList<xcb_randr_output_t>()) {
            if (records.contains(state.outputs.value(output).name))
                done.insert(state.outputs.value(output).name, std::nullopt);
        }
    }
    // A record left behind does no harm: it is read only for an output that
    // is off, and written anew before we switch one off.
    QString ignored;
    m_records.update(done, &ignored);
}

QString X11Backend::setBack(Execution &execution, const ServerState &before, const Plan &plan,
                            const QString &failure, bool escape, const RememberedOutputs &records)
{
    QString why;
    const bool sent = execution.undo(&why);
    const std::optional<QString> holds = heldInstead(*m_connection, before, plan);
    if (holds && holds->isEmpty()) {
        forgetLit(before, layoutOf(before), records);
        return LayoutRules::undone(failure);
    }
    if (sent || why.isEmpty())
        why = holds ? u"the X server holds something else"_qs : u"the outputs could not be read back"_qs;
    const QString held = holds ? *holds : u"an unknown state"_qs;
    return LayoutRules::notUndone(failure, escape ? escaped(why) : why, escape ? escaped(held) : held);
}

QString X11Backend::emulationRefusal() const
{
    return u"the outputs of the X server "_qs + Dispor::quoted(m_connection->display()) +
           " are Xwayland's emulation of the Wayland compositor's outputs; changes would not reach the "
           "screens";
}

Applied X11Backend::apply(const Config &config, QByteArray *, QString *reason)
{
    const ConfigOrigin &origin = originOf(config);
    if (m_connection->emulated()) {
        // Decided from the snapshot alone: nothing goes to the server.
        bool changed = !origin.priorityRequests.isEmpty();
        for (const OutputPtr &output : config.outputs()) {
            const auto fetched = origin.fetched.constFind(output->id());
            changed = changed ||
                      (fetched != origin.fetched.constEnd() && changesAnything(*fetched, output->data()));
        }
        if (!changed)
            return Applied::Done;
        *reason = emulationRefusal();
        return Applied::Refused;
    }
    // From the grab to the end of the apply or its rollback; the grab is
    // released before a signal held back meanwhile is acted on.
    SignalHold hold;
    ServerGrab grab(m_connection->get());
    ServerState now;
    if (!m_connection->read(&now, false, reason, &m_fetched))
        return Applied::Refused;
    // Read again just as the snapshot's fetch read it, the server is
    // described as the snapshot was, and need not be described again.
    const bool unchanged = !origin.stamp.isEmpty() && origin.stamp == m_fetchedStamp && now == m_fetched;
    RememberedOutputs records = unchanged ? m_remembered : remembered(now);
    const QMap<int, Data> described = unchanged ? origin.fetched : describe(now, records);
    // Held by the grab, the server must still be as the snapshot found it:
    // a change made since by another client would otherwise be overwritten
    // with values worked out from the old state.
    bool same = unchanged || described.size() == origin.fetched.size();
    for (auto at = described.cbegin(); !unchanged && same && at != described.cend(); ++at) {
        const auto fetched = origin.fetched.constFind(at.key());
        same = fetched != origin.fetched.constEnd() && Changes::sameState(*fetched, *at);
    }
    if (!same) {
        *reason = QStringLiteral("the outputs changed since they were read");
        return Applied::Conflict;
    }
    Plan plan;
    bool planned = planApply(now, described, config, &plan, reason);
    if (plan.transformsUnread) {
        if (!m_connection->readTransforms(&now, reason))
            return Applied::Refused;
        planned = planApply(now, described, config, &plan, reason);
    }
    if (!planned)
        return Applied::Refused;
    if (!plan.changed)
        return Applied::Done;
    if (!keepSwitchedOff(now, described, plan, &records, reason))
        return Applied::Refused;
    Execution execution(*m_connection, now);
    QString failure;
    if (!execution.run(plan, &failure) || !testStep("read-back", &failure)) {
        *reason = execution.sentAnything() ? setBack(execution, now, plan, failure, false, records) : failure;
        return Applied::Refused;
    }
    const Applied held = readBack(*m_connection, now, plan, &failure);
    if (held == Applied::NotHeld)
        failure = setBack(execution, now, plan, failure, true, records);
    else if (held == Applied::Done)
        forgetLit(now, plan.layout, records);
    *reason = failure;
    return held;
}

bool X11Backend::setDpms(Output::DpmsMode mode, QString *reason)
{
    if (m_connection->emulated()) {
        *reason = emulationRefusal();
        return false;
    }
    xcb_connection_t *c = m_connection->get();
    if (!m_connection->hasDpms()) {
        *reason = QStringLiteral("the X server has no DPMS extension, so it cannot switch display power");
        return false;
    }
    auto capable = reply(xcb_dpms_capable_reply(c, xcb_dpms_capable(c), nullptr));
    if (!capable || !capable->capable) {
        *reason = QStringLiteral("the X server's screens cannot switch display power");
        return false;
    }
    return m_connection->check(xcb_dpms_enable_checked(c), "to enable DPMS", reason) &&
           m_connection->check(xcb_dpms_force_level_checked(c, uint16_t(mode)), "to switch display power",
                               reason);
}

QString X11Backend::activeOutput(const Config &, QString *why)
{
    // Xwayland's pointer and outputs only emulate the compositor's.
    QString name;
    if (m_connection->emulated())
        *why = u"the X server "_qs + Dispor::quoted(m_connection->display()) +
               " is Xwayland, whose outputs only emulate the Wayland compositor's";
    else
        outputUnderPointer(*m_connection, &name, why);
    return name;
}

bool X11Backend::showLabels(const Config &, int seconds, QString *why)
{
    if (m_connection->emulated()) {
        *why = u"the X server "_qs + Dispor::quoted(m_connection->display()) +
               " is Xwayland, whose outputs only emulate the Wayland compositor's";
        return false;
    }
    return X11::showLabels(*m_connection, seconds, why);
}

std::shared_ptr<Backend> probeX11Backend(QString *found)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        *found = QStringLiteral("DISPLAY is not set");
        return {};
    }
    std::unique_ptr<Connection> connection = Connection::open(found);
    if (!connection)
        return {};
    if (connection->emulated()) {
        *found = u"the X server "_qs + Dispor::quoted(connection->display()) +
                 " is Xwayland, whose outputs only emulate the Wayland compositor's";
        return {};
    }
    return std::make_shared<X11Backend>(std::move(connection));
}

std::shared_ptr<Backend> createX11Backend(QString *reason)
{
    std::unique_ptr<Connection> connection = Connection::open(reason);
    if (!connection)
        return {};
    return std::make_shared<X11Backend>(std::move(connection));
}

} // namespace Dispor::X11
