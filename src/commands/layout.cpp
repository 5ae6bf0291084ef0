#include "commands/layout.h"

#include "core/print.h"

#include <dispor/config.h>
#include <dispor/layout.h>

namespace {

int outOfRange()
{
    printLineTo(stderr, "The layout would not fit the coordinate range");
    return 1;
}

} // namespace

int normalizeLayout(const ConfigPtr &config)
{
    return Dispor::LayoutRules::normalize(*config) ? 0 : outOfRange();
}

int adjustLayoutAfterResize(const OutputPtr &output, QSize oldSize, const ConfigPtr &config)
{
    return Dispor::LayoutRules::adjustAfterResize(*config, *output, oldSize) ? 0 : outOfRange();
}

int leaveLayout(const OutputPtr &output, const ConfigPtr &config)
{
    bool moved = false;
    if (!Dispor::LayoutRules::closeUpAround(*config, *output, &moved))
        return outOfRange();
    return moved ? normalizeLayout(config) : 0;
}

int joinLayout(const OutputPtr &output, const ConfigPtr &config)
{
    bool moved = false;
    if (!Dispor::LayoutRules::placeJoining(*config, *output, &moved))
        return outOfRange();
    return moved ? normalizeLayout(config) : 0;
}

int applyEnabled(const OutputPtr &output, const ConfigPtr &config, bool enabled)
{
    if (enabled != output->isEnabled()) {
        if (!enabled && leaveLayout(output, config) != 0)
            return 1;
        output->setEnabled(enabled);
        if (enabled && output->isConnected() && output->replicationSource() == 0 &&
            joinLayout(output, config) != 0)
            return 1;
    }
    return applyConfig(config);
}

int applyReplicationSource(const OutputPtr &output, const ConfigPtr &config, int sourceId)
{
    const int was = output->replicationSource();
    if (sourceId != was && output->isEnabled() && output->isConnected()) {
        if (was == 0 && leaveLayout(output, config) != 0)
            return 1;
        output->setReplicationSource(sourceId);
        if (sourceId == 0 && joinLayout(output, config) != 0)
            return 1;
    }
    output->setReplicationSource(sourceId);
    return applyConfig(config);
}

int finishResize(const OutputPtr &output, QSize oldSize, const ConfigPtr &config)
{
    output->setExplicitLogicalSize(QSizeF(config->logicalSizeForOutputInt(output)));
    if (adjustLayoutAfterResize(output, oldSize, config) != 0)
        return 1;
    return applyConfig(config);
}

int placeNextTo(const OutputPtr &output, const ConfigPtr &config, const QString &reference, Side side)
{
    const OutputPtr other = resolveOutput(config, reference);
    if (!other) {
        printLineTo(stderr, "Unknown output: {}", reference);
        return 1;
    }
    if (other->id() == output->id()) {
        printLineTo(stderr, "The reference output cannot be the same as the moved output");
        return 1;
    }

    // Without a size an output has no edge to share: its position is
    // whatever the backend reports for it, often the origin. A disabled
    // output whose shape nobody remembers is placed all the same: the
    // library refuses that where its server would drop it.
    const QSize otherSize = other->explicitLogicalSizeInt();
    const QSize size = output->explicitLogicalSizeInt();
    const bool ownSizeCounts = (side == Side::Above || side == Side::LeftOf) && output->isPlacementKnown();
    if (otherSize.isEmpty() || (ownSizeCounts && size.isEmpty())) {
        const OutputPtr &sizeless = otherSize.isEmpty() ? other : output;
        printLineTo(stderr, "Output {} has no place in the layout", sizeless->name());
        return 1;
    }
    return Dispor::LayoutRules::placeBeside(*config, *output, *other, side) ? applyConfig(config)
                                                                            : outOfRange();
}
