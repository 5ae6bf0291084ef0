#include "wayland_backend.h"

#include "../settle.h"
#include "../text.h"
#include "../wayland_labels.h"
#include "desktop.h"
#include "model.h"
#include "sway.h"

#include <algorithm>
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

// Of a stamp: the serial read at the fetch or after the snapshot's last
// apply; none for another stamp.
std::optional<uint32_t> serialOf(const QByteArray &stamp)
{
    bool ok = false;
    const uint32_t serial = stamp.toUInt(&ok);
    return ok ? std::optional<uint32_t>(serial) : std::nullopt;
}

} // namespace

bool WaylandBackend::fetch(ConfigPtr *config, QString *reason)
{
    CustomModeLists customModes;
    QHash<QString, QSize> laidOut;
    if (!m_session->update(reason) || !CustomModeFile(m_session->socket()).read(&customModes, reason) ||
        !RememberedFile(session()).read(&m_remembered, reason))
        return false;
    const std::vector<const HeadState *> heads = headsOf(*m_session);
    // At scale 1 an output is as large as its mode, whatever the compositor
    // keeps: only a scaled one needs the extra round trip for its size.
    const bool scaled = std::any_of(heads.begin(), heads.end(),
                                    [](const HeadState *head) { return head->lit() && head->scale != 1.0; });
    if (scaled && !m_session->logicalSizes(&laidOut, reason))
        return false;
    OutputList list;
    ConfigOrigin origin;
    origin.stamp = QByteArray::number(m_session->serial());
    for (Output::Data &d : describe(heads, m_session->managerVersion(), customModes, laidOut, m_remembered)) {
        origin.fetched.insert(d.id, d);
        list.insert(d.id, OutputPtr::create(std::move(d)));
    }
    *config = ConfigPtr::create(std::move(list));
    originOf(**config) = std::move(origin);
    return true;
}

QString WaylandBackend::session() const
{
    return u"wayland-"_qs + m_session->socket();
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

Applied WaylandBackend::unknown(QString *reason) const
{
    if (m_session->timedOut())
        *reason = LayoutRules::unconfirmed(QStringLiteral("the compositor"), m_session->timeoutSeconds());
    return Applied::Refused;
}

void WaylandBackend::forgetLit()
{
    QMap<QString, std::optional<Remembered>> lit;
    for (const std::unique_ptr<HeadState> &head : m_session->heads()) {
        if (head->lit() && m_remembered.contains(head->name))
            lit.insert(head->name, std::nullopt);
    }
    QString ignored;
    // Not to fail a change made: a record left over describes the output
    // only once it is off again, and the next disable of ours replaces it.
    if (RememberedFile(session()).update(lit, &ignored)) {
        for (auto at = lit.cbegin(); at != lit.cend(); ++at)
            m_remembered.remove(at.key());
    }
}

Applied WaylandBackend::undo(const QList<HeadValues> &before, const QString &failure, Applied kind,
                             QString *reason)
{
    // What comes from outside is escaped where NotHeld's lines are.
    const auto said = [kind](const QString &text) { return kind == Applied::NotHeld ? escaped(text) : text; };
    Answer answer = Answer::Failed;
    QString why;
    const bool sent = m_session->configure(m_session->serial(), restoring(before, headsOf(*m_session)), false,
                                           &answer, &why);
    QString read;
    if (!m_session->update(&read)) {
        *reason = LayoutRules::notUndone(failure, said(sent ? read : why),
                                         QStringLiteral("what could not be read back"));
        return kind;
    }
    forgetLit();
    const QList<HeadValues> now = heldValues(headsOf(*m_session));
    if (notHeld(before, now).isEmpty()) {
        *reason = LayoutRules::undone(failure);
        return kind;
    }
    if (sent) {
        why = answer == Answer::Succeeded   ? QStringLiteral("the compositor took them and holds others")
              : answer == Answer::Cancelled ? QStringLiteral("the outputs changed meanwhile")
                                            : QStringLiteral("the compositor refused them");
    }
    *reason = LayoutRules::notUndone(failure, said(why), said(holding(before, now)));
    return kind;
}

Applied WaylandBackend::afterRefusal(const QList<HeadValues> &before, const QList<HeadValues> &sent,
                                     bool darkDisabled, QByteArray *stamp, QString *reason)
{
    const QString failure = QStringLiteral("the compositor refused the output configuration");
    *reason = failure;
    QString ignored;
    if (!m_session->update(&ignored))
        return Applied::Refused;
    const QList<HeadValues> held = heldValues(headsOf(*m_session));
    // phoc refuses to switch a dark head off, as dark as it is, and takes
    // the rest: all sent is held.
    if (darkDisabled && notHeld(withOwn(sent, held), held).isEmpty()) {
        *stamp = QByteArray::number(m_session->serial());
        forgetLit();
        return Applied::Done;
    }
    if (notHeld(before, held).isEmpty())
        return Applied::Refused;
    return undo(before, failure, Applied::Refused, reason);
}

Applied WaylandBackend::apply(const Config &config, QByteArray *stamp, QString *reason)
{
    // The serial the snapshot was made against: one other than the
    // compositor's means another client changed the heads since, and the
    // snapshot is out of date. The compositor checks it too, where it
    // counts, so a configuration goes without first asking for the latest
    // serial; only a refusal or a cancellation asks, to tell which it was.
    const std::optional<uint32_t> snapshot = serialOf(originOf(config).stamp);
    if (!m_session->managing(reason))
        return Applied::Refused;
    if (!snapshot || *snapshot != m_session->serial()) {
        *reason = QStringLiteral("the outputs changed since they were read");
        return Applied::Conflict;
    }
    const uint32_t serial = *snapshot;
    Plan planned;
    if (!plan(config, headsOf(*m_session), m_session->managerVersion(), &planned, reason, m_remembered))
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
    const QList<HeadValues> before = heldValues(headsOf(*m_session));
    const QList<HeadValues> sent = sentValues(planned.settings);
    const bool scaled =
        std::any_of(planned.settings.cbegin(), planned.settings.cend(), [](const HeadSetting &s) {
            return s.enabled && (!s.head->lit() || (s.scale && *s.scale != s.head->scale));
        });
    const bool darkDisabled = std::any_of(planned.settings.cbegin(), planned.settings.cend(),
                                          [](const HeadSetting &s) { return !s.enabled && s.head->dark; });
    uint64_t announced = 0;
    if (planned.configure) {
        // What an output switched off had, kept before it goes.
        QMap<QString, std::optional<Remembered>> records;
        for (auto at = planned.switchedOff.cbegin(); at != planned.switchedOff.cend(); ++at)
            records.insert(at.key(), *at);
        if (!RememberedFile(session()).update(records, reason))
            return Applied::Refused;
        m_remembered.insert(planned.switchedOff);
        // Tested and applied against the one serial the plan was made for:
        // a change that arrives in between cancels the configuration.
        for (const bool testOnly : {true, false}) {
            announced = m_session->announced();
            Answer answer = Answer::Failed;
            if (!m_session->configure(serial, planned.settings, testOnly, &answer, reason))
                return Applied::Refused;
            switch (answer) {
            case Answer::Succeeded:
                break;
            case Answer::Failed:
                *reason = QStringLiteral("the compositor refused the output configuration");
                return testOnly ? Applied::Refused : afterRefusal(before, sent, darkDisabled, stamp, reason);
            case Answer::Cancelled:
                *reason =
                    QStringLiteral("the compositor cancelled the output configuration, because the outputs "
                                   "changed meanwhile");
                return outdated(serial, Applied::Conflict, reason);
            }
        }
    }
    if (lists && !lists->commit(reason))
        return Applied::Refused;
    if (!planned.configure) {
        *stamp = QByteArray::number(serial);
        return Applied::Done;
    }
    // Read back: the compositor announced its new state before it answers
    // the round trip that follows its answer to the configuration. A second
    // announcement is another client's change, made since: what the heads
    // hold then is not this apply's to judge.
    if (!m_session->update(reason))
        return unknown(reason);
    *stamp = QByteArray::number(m_session->serial());
    const auto done = [this] {
        forgetLit();
        return Applied::Done;
    };
    if (m_session->announced() - announced > 1)
        return done();
    // What was left to the compositor is what it holds.
    const QList<HeadValues> asked = withOwn(sent, heldValues(headsOf(*m_session)));
    // Sends the heads as they are once more, each enabled one at the place
    // wanted, and reads back against that. Where the compositor does not
    // take it, what the apply before left is reported.
    bool othersChanged = false;
    const auto sendAgain = [&](const QList<HeadValues> &wanted, QStringList *kept) {
        announced = m_session->announced();
        Answer answer = Answer::Failed;
        QString ignored;
        if (!m_session->configure(m_session->serial(), placedAsSent(wanted, headsOf(*m_session)), false,
                                  &answer, &ignored) ||
            answer != Answer::Succeeded)
            return true;
        if (!m_session->update(reason))
            return false;
        *stamp = QByteArray::number(m_session->serial());
        othersChanged = m_session->announced() - announced > 1;
        *kept = notHeld(wanted, heldValues(headsOf(*m_session)));
        return true;
    };
    QStringList kept = notHeld(asked, heldValues(headsOf(*m_session)));
    if (!kept.isEmpty() && onlyPlacesNotHeld(asked, heldValues(headsOf(*m_session)))) {
        // labwc leaves an output sent at the place it already has to
        // wlroots' automatic layout, which moves it along when another
        // output moves; sent once more to where it now is not, it stays.
        if (!sendAgain(asked, &kept))
            return unknown(reason);
        if (othersChanged)
            return done();
    }
    if (kept.isEmpty() && scaled) {
        // sway sizes an output by the scale it keeps (1/120 steps), not by
        // the one sent: where its layout then leaves a gap or an overlap
        // at an output that was to join, the places go once more. Where
        // that is not taken, the places not joined are reported.
        QHash<QString, QSize> sizes;
        if (!m_session->logicalSizes(&sizes, reason))
            return unknown(reason);
        const QList<HeadValues> joined = joinedAsHeld(asked, sizes);
        kept = notHeld(joined, heldValues(headsOf(*m_session)));
        if (!kept.isEmpty()) {
            if (!sendAgain(joined, &kept))
                return unknown(reason);
            if (othersChanged)
                return done();
        }
    }
    if (kept.isEmpty())
        return done();
    for (QString &line : kept)
        line = escaped(line);
    return undo(before, kept.join(u'\n'), Applied::NotHeld, reason);
}

QString WaylandBackend::activeOutput(const Config &config, QString *why)
{
    // As long as the library waits for a compositor to answer.
    constexpr int answerSeconds = 3;
    const QByteArray sway = qgetenv("SWAYSOCK");
    if (!sway.isEmpty()) {
        const SwayFocus focus = swayFocusedOutput(sway, answerSeconds);
        *why = focus.why;
        return focus.name;
    }
    if (!m_session->hasToplevels())
        return Backend::activeOutput(config, why);
    Focus focus;
    if (!m_session->focus(&focus, why))
        return {};
    return Wayland::activeOutput(focus, config, why);
}

bool WaylandBackend::showLabels(const Config &config, int seconds, QString *why)
{
    return WaylandLabels::show(config, seconds, why);
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
        *reason = u"the Wayland compositor "_qs + quoted(session->socket()) +
                  " offers no output management (zwlr_output_manager_v1)";
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
