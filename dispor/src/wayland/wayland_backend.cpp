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

Applied WaylandBackend::apply(const Config &config, QByteArray *stamp, QString *reason)
{
    // The heads as they are now: a serial other than the snapshot's means
    // another client changed them since, and the snapshot is out of date.
    if (!m_session->update(reason))
        return Applied::Refused;
    const uint32_t serial = m_session->serial();
    if (originOf(config).stamp != QByteArray::number(serial)) {
        *reason = QStringLiteral("the outputs changed since they were read");
        return Applied::Conflict;
    }
    Plan planned;
    if (!plan(config, headsOf(*m_session), m_session->managerVersion(), &planned, reason))
        return Applied::Refused;
    // Locked from the check to the write, and checked before the compositor
    // is changed, so that a conflict over the lists changes nothing.
    std::optional<CustomModeFile> lists;
    if (!planned.wantedLists.isEmpty()) {
        lists.emplace(m_session->socket());
        if (const Applied begun = lists->begin(planned.fetchedLists, planned.wantedLists, reason);
            begun != Applied::Done)
            return begun;
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
                return Applied::Conflict;
            }
        }
        // What the compositor now holds, for a later apply of the snapshot.
        if (!m_session->update(reason))
            return Applied::Refused;
    }
    if (lists && !lists->commit(reason))
        return Applied::Refused;
    *stamp = QByteArray::number(m_session->serial());
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
