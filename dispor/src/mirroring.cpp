#include "mirroring.h"

#include <cmath>

namespace Dispor::Mirroring {

QString refusal(const Output::Data &replica, const QMap<int, Output::Data> &outputs, Chain chain)
{
    if (replica.replicationSource == replica.id)
        return QStringLiteral("the output cannot mirror itself");
    const auto source = outputs.constFind(replica.replicationSource);
    if (source == outputs.constEnd())
        return u"the replication source "_qs + QString::number(replica.replicationSource) + " is no output";
    const QString cannot = u"cannot mirror "_qs + source->name;
    if (!source->enabled)
        return cannot + ", which is disabled";
    if (!source->replicationSource)
        return {};
    if (chain == Chain::Unnamed)
        return cannot + ", which mirrors another output";
    if (source->replicationSource == replica.id)
        return cannot + ", which mirrors " + replica.name + "; end that mirror first";
    return cannot + ", which mirrors " + outputs.value(source->replicationSource).name;
}

QString modeFor(const QList<Candidate> &candidates, QSize size, float refreshRate)
{
    const Candidate *best = nullptr;
    const auto distance = [refreshRate](const Candidate &mode) {
        return std::abs(mode.refreshRate - refreshRate);
    };
    for (const Candidate &mode : candidates) {
        if (mode.size == size && (!best || distance(mode) < distance(*best)))
            best = &mode;
    }
    return best ? best->id : QString();
}

QString noModeRefusal(const QString &source, QSize size)
{
    return u"cannot mirror "_qs + source + ": the output has no mode of " + QString::number(size.width()) +
           u'x' + QString::number(size.height());
}

} // namespace Dispor::Mirroring
