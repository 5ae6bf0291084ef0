#include "dispor/config.h"

#include "backend.h"
#include "ranking.h"

#include <utility>

namespace Dispor {

Config::Config() : m_origin(std::make_unique<ConfigOrigin>()) {}

Config::Config(OutputList outputs) : m_outputs(std::move(outputs)), m_origin(std::make_unique<ConfigOrigin>()) {}

Config::Config(const Config &other)
    : m_outputs(other.m_outputs), m_origin(std::make_unique<ConfigOrigin>(*other.m_origin))
{
}

Config &Config::operator=(const Config &other)
{
    if (this != &other) {
        m_outputs = other.m_outputs;
        *m_origin = *other.m_origin;
    }
    return *this;
}

Config::~Config() = default;

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
    if (!output || priority == 0)
        return;
    m_origin->priorityRequests.append({output->id(), priority});

    QList<Ranking::Entry> entries;
    entries.reserve(m_outputs.size());
    for (const OutputPtr &other : std::as_const(m_outputs))
        entries.append({other->id(), other->priority(), other->isEnabled() && other->isConnected()});
    QList<int> ranking = Ranking::order(entries);
    Ranking::move(ranking, output->id(), priority);

    // Renumber all, so that outputs this snapshot disabled leave the ranking.
    for (const OutputPtr &other : std::as_const(m_outputs))
        dataOf(*other).priority = 0;
    for (qsizetype i = 0; i < ranking.size(); ++i)
        dataOf(*m_outputs.value(ranking[i])).priority = static_cast<uint32_t>(i + 1);
}

QSize Config::logicalSizeForOutputInt(const Output &output) const
{
    return output.logicalSize();
}

} // namespace Dispor
