#include "backend.h"

#include "text.h"

#include <algorithm>

// What a backend gives where its display service has no way of its own
// (the desktop's answers, a watch of changes); in the support objects
// every plugin carries.
namespace Dispor {

QList<OutputPtr> enabledByName(const Config &config)
{
    QList<OutputPtr> enabled;
    for (const OutputPtr &output : config.connectedOutputs()) {
        if (output->isEnabled())
            enabled.append(output);
    }
    std::sort(enabled.begin(), enabled.end(),
              [](const OutputPtr &a, const OutputPtr &b) { return a->name() < b->name(); });
    return enabled;
}

QString Backend::activeOutput(const Config &config, QString *why)
{
    QString only;
    int enabled = 0;
    for (const OutputPtr &output : config.connectedOutputs()) {
        if (output->isEnabled()) {
            only = output->name();
            ++enabled;
        }
    }
    if (enabled == 1)
        return only;
    *why = u"on this desktop the active output is known only when exactly one output is enabled, and "_qs +
           (enabled ? QString::number(enabled) + " are" : u"none is"_qs);
    return {};
}

bool Backend::showLabels(const Config &, int, QString *why)
{
    *why = u"cannot show labels: the "_qs + name() + " backend has no way to show them";
    return false;
}

std::unique_ptr<Watch> Backend::watch(QString *reason)
{
    *reason = u"the "_qs + name() + " backend cannot tell of changes to the outputs";
    return {};
}

} // namespace Dispor
