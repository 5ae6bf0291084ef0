#include "match.h"

namespace profile {

namespace {

bool sameMonitor(const Dispor::Output &output, const Identity &identity)
{
    return output.make() == identity.make && output.model() == identity.model &&
           output.serialNumber() == identity.serial;
}

} // namespace

Identity identityOf(const Dispor::Output &output, const Dispor::OutputList &connected)
{
    Identity identity{output.make(), output.model(), output.serialNumber(), {}};
    int same = 0;
    for (const Dispor::OutputPtr &other : connected)
        same += sameMonitor(*other, identity) ? 1 : 0;
    if ((identity.make.isEmpty() && identity.model.isEmpty() && identity.serial.isEmpty()) || same > 1)
        return Identity{{}, {}, {}, output.name()};
    return identity;
}

std::optional<Assignment> assign(const Profile &profile, const Dispor::OutputList &connected)
{
    if (profile.outputs.size() != connected.size())
        return std::nullopt;
    Assignment assignment;
    for (const OutputSettings &settings : profile.outputs) {
        const Identity &identity = settings.identity;
        int found = 0;
        int matches = 0;
        for (const Dispor::OutputPtr &output : connected) {
            const bool match = identity.byConnector() ? output->name() == identity.connector
                                                      : sameMonitor(*output, identity);
            if (match) {
                found = output->id();
                ++matches;
            }
        }
        // Two monitors alike: the identity cannot tell which is meant.
        if (matches != 1 || assignment.outputIds.contains(found))
            return std::nullopt;
        assignment.outputIds.append(found);
        assignment.exact += identity.byConnector() ? 0 : 1;
    }
    return assignment;
}

QString mismatch(const Profile &profile, const Dispor::OutputList &connected)
{
    QList<int> claimed;
    for (const OutputSettings &settings : profile.outputs) {
        const Identity &identity = settings.identity;
        QList<int> found;
        for (const Dispor::OutputPtr &output : connected) {
            if (identity.byConnector() ? output->name() == identity.connector
                                       : sameMonitor(*output, identity))
                found.append(output->id());
        }
        if (found.isEmpty())
            return QStringLiteral("%1 is not connected").arg(describe(identity));
        if (found.size() > 1)
            return QStringLiteral("%1 is connected more than once").arg(describe(identity));
        claimed.append(found.first());
    }
    for (const Dispor::OutputPtr &output : connected) {
        if (!claimed.contains(output->id()))
            return QStringLiteral("%1 is connected but not in the profile").arg(output->name());
    }
    return QStringLiteral("its outputs are not the connected ones");
}

Choice choose(const QList<Candidate> &candidates, const Dispor::OutputList &connected)
{
    Choice choice;
    qsizetype tiedWith = -1;
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        const std::optional<Assignment> assignment = assign(candidates[i].profile, connected);
        if (!assignment)
            continue;
        if (choice.index >= 0 && assignment->exact == choice.assignment.exact) {
            tiedWith = tiedWith < 0 ? i : tiedWith;
            continue;
        }
        if (choice.index < 0 || assignment->exact > choice.assignment.exact) {
            choice.index = i;
            choice.assignment = *assignment;
            tiedWith = -1;
        }
    }
    if (tiedWith >= 0) {
        choice.tie = {candidates[choice.index].name, candidates[tiedWith].name};
        choice.index = -1;
    }
    return choice;
}

QStringList connectedKey(const Dispor::OutputList &connected)
{
    QStringList key;
    for (const Dispor::OutputPtr &output : connected) {
        key.append(QStringList{output->name(), output->make(), output->model(), output->serialNumber()}.join(
            QChar(0x1f)));
    }
    key.sort();
    return key;
}

} // namespace profile
