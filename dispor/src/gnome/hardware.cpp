#include "hardware.h"

#include <algorithm>

namespace Dispor::Gnome {

void describeHardware(Output::Data &d, const MonitorState &monitor)
{
    const ModeState *current = monitor.mode(d.currentModeId);
    d.vrrPolicy = current && current->variable ? Output::VrrPolicy::Always : Output::VrrPolicy::Never;
    if (std::any_of(monitor.modes.begin(), monitor.modes.end(),
                    [](const ModeState &m) { return m.variable; }))
        d.capabilities |= Output::Capability::Vrr;
    if (monitor.underscanning) {
        d.capabilities |= Output::Capability::Overscan;
        d.overscan = *monitor.underscanning ? underscanPercent : 0;
    }
}

QString modeForPolicy(const MonitorState &monitor, const QString &modeId, Output::VrrPolicy policy,
                      QString *why)
{
    if (policy == Output::VrrPolicy::Automatic) {
        *why =
            QStringLiteral("mutter switches VRR with the mode, always or never, and has no automatic policy");
        return {};
    }
    const ModeState *current = monitor.mode(modeId);
    if (!current) {
        *why = QStringLiteral("mutter switches VRR with the mode of an enabled output only");
        return {};
    }
    const bool variable = policy == Output::VrrPolicy::Always;
    for (const ModeState &mode : monitor.modes) {
        if (mode.variable == variable && mode.width == current->width && mode.height == current->height &&
            mode.refresh == current->refresh)
            return mode.id;
    }
    *why = u"mutter lists no "_qs + (variable ? u"variable"_qs : u"fixed"_qs) + "-rate twin of the mode " +
           current->id;
    return {};
}

std::optional<bool> underscanningFor(uint32_t overscan, QString *why)
{
    if (overscan == 0 || overscan == underscanPercent)
        return overscan != 0;
    *why = u"mutter underscans by "_qs + QString::number(underscanPercent) +
           " % or not at all: 0 switches it off, " + QString::number(underscanPercent) + " on";
    return std::nullopt;
}

} // namespace Dispor::Gnome
