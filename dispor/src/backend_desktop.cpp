#include "backend.h"

#include "text.h"

// The desktop's answers a backend gives where its display service has no
// way of its own; in the support objects every plugin carries.
namespace Dispor {

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

} // namespace Dispor
