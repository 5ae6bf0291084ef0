#include "dispor/config.h"

#include "config_origin.h"
#include "ranking.h"

#include <utility>

namespace Dispor {

Config::Config() : d(std::make_unique<Private>()) {}

Config::Config(OutputList outputs) : d(std::make_unique<Private>())
{
    d->outputs = std::move(outputs);
}

Config::Config(const Config &other) : d(std::make_unique<Private>(*other.d)) {}

Config &Config::operator=(const Config &other)
{
    if (this != &other)
        *d = *other.d;
    return *this;
}

Config::~Config() = default;

OutputList Config::outputs() const
{
    return d->outputs;
}

OutputPtr Config::output(int id) const
{
    return d->outputs.value(id);
}

OutputList Config::connectedOutputs() const
{
    OutputList connected;
    for (auto it = d->outputs.cbegin(); it != d->outputs.cend(); ++it) {
        if (it.value()->isConnected())
            connected.insert(it.key(), it.value());
    }
    return connected;
}

OutputPtr Config::primaryOutput() const
{
    for (const OutputPtr &output : d->outputs) {
        if (output->priority() == 1)
            return output;
    }
    return {};
}

void Config::setOutputPriority(const OutputPtr &output, uint32_t priority)
{
    if (!output || priority == 0)
        return;
    d->origin.priorityRequests.append({output->id(), priority});

    QList<Ranking::Entry> entries;
    entries.reserve(d->outputs.size());
    for (const OutputPtr &other : std::as_const(d->outputs))
        entries.append({other->id(), other->priority(), other->isEnabled() && other->isConnected()});
    QList<int> ranking = Ranking::order(entries);
    Ranking::move(ranking, output->id(), priority);

    // Renumber all, so that outputs this snapshot disabled leave the ranking.
    for (const OutputPtr &other : std::as_const(d->outputs))
        dataOf(*other).priority = 0;
    for (qsizetype i = 0; i < ranking.size(); ++i)
        dataOf(*d->outputs.value(ranking[i])).priority = static_cast<uint32_t>(i + 1);
}

QSize Config::logicalSizeForOutputInt(const Output &output) const
{
    return output.logicalSize();
}

QSize Config::logicalSizeForOutputInt(const OutputPtr &output) const
{
    return output->logicalSize();
}

} // namespace Dispor
