#include "wayland_backend.h"

#include "model.h"
#include "../text.h"

#include <optional>

namespace Dispor::Wayland {

namespace {

std::vector<const HeadState *> headsOf(const Session &session)
{
    std::vector<const HeadState *> heads;
    heads.reserve(session.heads().size());
    for (const std::unique_ptr<HeadState> &head : session.heads())
        heads.push_back(head.get());
    return heads;
}

} // namespace

bool WaylandBackend::fetch(ConfigPtr *config, QString *reason)
{
    CustomModeLists customModes;
    if (!m_session->update(reason) || !CustomModeFile(m_session->socket()).read(&customModes, reason))
        return false;
    OutputList list;
    ConfigOrigin origin;
    origin.stamp = QByteArray::number(m_session->serial());
    for (Output::Data &d : describe(headsOf(*m_session), m_session->managerVersion(), customModes)) {
        origin.fetched.insert(d.id, d);
        list.insert(d.id, OutputPtr::create(std::move(d)));
    }
    *config = ConfigPtr::create(std::move(list));
    originOf(**config) = std::move(origin);
    return true;
}

bool WaylandBackend::snapshotSerial(const QByteArray &stamp, std::optional<uint32_t> *serial, QString *reason)
{
    serial->reset();
    bool ok = false;
    if (stamp.startsWith('@')) {
        const int token = stamp.mid(1).toInt(&ok);
        return !ok || m_session->settled(token, serial, reason);
    }
    const uint32_t fetched = stamp.toUInt(&ok);
    if (ok)
        *serial = fetched;
    return true;
}

Applied WaylandBackend::outdated(uint32_t serial, Applied otherwise, QString *reason)
{
    QString failure;
    if (!m_session->update(&failure)) {
        *reason = failure;
        return Applied::Refused;
    }
    if (m_session->serial() != serial) {
        *reason = QStringLiteral("the outputs changed since they were read");
        return Applied::Conflict;
    }
    return otherwise;
}

Applied WaylandBackend::apply(const Config &config, QByteArray *stamp, QString *reason)
{
    // The serial the snapshot was made against: one other than the
    // compositor's means another client changed the heads since, and the
    // snapshot is out of date. The compositor checks it too, where it
    // counts, so a configuration goes without first asking for the latest
    // serial; only a refusal or a cancellation asks, to tell which it was.
    std::optional<uint32_t> snapshot;
    if (!snapshotSerial(originOf(config).stamp, &snapshot, reason) || !m_session->managing(reason))
        return Applied::Refused;
    if (!snapshot || *snapshot != m_session->serial()) {
        *reason = QStringLiteral("the outputs changed since they were read");
        return Applied::Conflict;
    }
    const uint32_t serial = *snapshot;
    Plan planned;
    if (!plan(config, headsOf(*m_session), m_session->managerVersion(), &planned, reason))
        return outdated(serial, Applied::Refused, reason);
    // Nothing for the compositor to check: ask it here.
    if (!planned.configure) {
        if (const Applied current = outdated(serial, Applied::Done, reason); current != Applied::Done)
            return current;
    }
    // Locked from the check to the write, and checked before the compositor
    // is changed, so that a conflict over the lists changes nothing.
    std::optional<CustomModeFile> lists;
    if (!planned.wantedLists.isEmpty()) {
        lists.emplace(m_session->socket());
        if (const Applied begun = lists->begin(planned.fetchedLists, planned.wantedLists, reason);
            begun != Applied::Done)
            return planned.configure ? outdated(serial, begun, reason) : begun;
    }
    if (planned.configure) {
        // Tested and applied against the one serial the plan was made for:
        // a change that arrives in between cancels the configuration.
        for (const bool testOnly : {true, false}) {
            Answer answer = Answer::Failed;
            if (!m_session->configure(serial, planned.settings, testOnly, &answer, reason))
                return Applied::Refused;
            switch (answer) {
            case Answer::Succeeded:
                break;
            case Answer::Failed:
                *reason = QStringLiteral("the compositor refused the output configuration");
                return Applied::Refused;
            case Answer::Cancelled:
                *reason = QStringLiteral("the compositor cancelled the output configuration, because the outputs "
                                         "changed meanwhile");
                return outdated(serial, Applied::Conflict, reason);
            }
        }
    }
    if (lists && !lists->commit(reason))
        return Applied::Refused;
    // For a later apply of the snapshot, what the compositor holds once it
    // has announced the change: asked for now, waited for only then.
    if (!planned.configure) {
        *stamp = QByteArray::number(serial);
        return Applied::Done;
    }
    int token = 0;
    if (!m_session->settle(&token, reason))
        return Applied::Refused;
    *stamp = '@' + QByteArray::number(token);
    return Applied::Done;
}

bool WaylandBackend::setDpms(Output::DpmsMode mode, QString *reason)
{
    // The protocol knows only on and off.
    return m_session->setPower(mode == Output::DpmsMode::On, reason);
}

namespace {

std::shared_ptr<Backend> open(QString *reason, bool probing)
{
    std::unique_ptr<Session> session = Session::open(reason, probing);
    if (!session)
        return {};
    if (!session->hasOutputManager()) {
        *reason = u"the Wayland compositor "_qs + quoted(session->socket())
            + " offers no output management (zwlr_output_manager_v1)";
        return {};
    }
    return std::make_shared<WaylandBackend>(std::move(session));
}

} // namespace

std::shared_ptr<Backend> createWaylandBackend(QString *reason)
{
    return open(reason, false);
}

std::shared_ptr<Backend> probeWaylandBackend(QString *found)
{
    return open(found, true);
}

} // namespace Dispor::Wayland
