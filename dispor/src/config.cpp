#include "dispor/config.h"

#include <algorithm>

namespace Dispor {

OutputList Config::connectedOutputs() const
{
    OutputList connected;
    for (auto it = m_outputs.cbegin(); it != m_outputs.cend(); ++it) {
        if (it.value()->isConnected())
            connected.insert(it.key(), it.value());
    }
    return connected;
}

OutputPtr Config::primaryOutput() const
{
    for (const OutputPtr &output : m_outputs) {
        if (output->priority() == 1)
            return output;
    }
    return {};
}

void Config::setOutputPriority(const OutputPtr &output, uint32_t priority)
{
    if (!output)
        return;
    m_origin.priorityRequests.append({output->id(), priority});

    // The ranked outputs in rank order, without the one that moves.
    QList<OutputPtr> ranked;
    for (const OutputPtr &other : m_outputs) {
        if (other->id() != output->id() && other->isEnabled() && other->isConnected()
            && other->priority() > 0)
            ranked.append(other);
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const OutputPtr &a, const OutputPtr &b) { return a->priority() < b->priority(); });
    if (priority > 0) {
        const auto rank = std::min<qsizetype>(priority, ranked.size() + 1);
        ranked.insert(rank - 1, output);
    } else {
        output->data().priority = 0;
    }
    for (qsizetype i = 0; i < ranked.size(); ++i)
        ranked[i]->data().priority = static_cast<uint32_t>(i + 1);
}

QSize Config::logicalSizeForOutputInt(const Output &output) const
{
    return output.logicalSize();
}

} // namespace Dispor
