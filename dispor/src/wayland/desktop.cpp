#include "desktop.h"

#include "dispor/mode.h"
#include "dispor/output.h"

#include <algorithm>

namespace Dispor::Wayland {

namespace {

QList<OutputPtr> enabledOutputs(const Config &config)
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

} // namespace

QString activeOutput(const Focus &focus, const Config &config, QString *why)
{
    if (focus.outputs.size() == 1)
        return focus.outputs.first();
    if (focus.outputs.size() > 1) {
        *why = u"the focused window is on "_qs + QString::number(focus.outputs.size()) +
               " outputs: " + focus.outputs.join(u", ");
        return {};
    }
    const QList<OutputPtr> enabled = enabledOutputs(config);
    if (enabled.size() == 1)
        return enabled.first()->name();
    *why = (focus.windows ? u"the focused window is on no output"_qs : u"no window has the focus"_qs) +
           ", and " +
           (enabled.isEmpty() ? u"no output is enabled"_qs
                              : QString::number(enabled.size()) + " outputs are enabled");
    return {};
}

QList<WaylandLabels::Label> labels(const Config &config)
{
    QList<WaylandLabels::Label> labels;
    for (const OutputPtr &output : enabledOutputs(config)) {
        QStringList lines = {output->name()};
        if (const ModePtr mode = output->currentMode()) {
            const QSize size = mode->size();
            QString line = QString::number(size.width()) + "x" + QString::number(size.height());
            if (mode->refreshRate() > 0)
                line += " @ " + QString::number(mode->refreshRate(), 'f', 2) + " Hz";
            lines.append(line);
        }
        lines.append(u"at "_qs + QString::number(output->pos().x()) + "," +
                     QString::number(output->pos().y()));
        labels.append({output->name(), lines});
    }
    return labels;
}

} // namespace Dispor::Wayland
