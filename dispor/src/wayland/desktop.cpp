#include "desktop.h"

#include "../backend.h"

#include "dispor/output.h"

namespace Dispor::Wayland {

QString activeOutput(const Focus &focus, const Config &config, QString *why)
{
    if (focus.outputs.size() == 1)
        return focus.outputs.first();
    if (focus.outputs.size() > 1) {
        *why = u"the focused window is on "_qs + QString::number(focus.outputs.size()) +
               " outputs: " + focus.outputs.join(u", ");
        return {};
    }
    const QList<OutputPtr> enabled = enabledByName(config);
    if (enabled.size() == 1)
        return enabled.first()->name();
    *why = (focus.windows ? u"the focused window is on no output"_qs : u"no window has the focus"_qs) +
           ", and " +
           (enabled.isEmpty() ? u"no output is enabled"_qs
                              : QString::number(enabled.size()) + " outputs are enabled");
    return {};
}

} // namespace Dispor::Wayland
