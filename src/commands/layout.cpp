#include "commands/layout.h"

#include "core/print.h"

#include <dispor/config.h>
#include <dispor/layout.h>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

int outOfRange()
{
    printLineTo(stderr, "The layout would not fit the coordinate range");
    return 1;
}

bool fits(int64_t x, int64_t y, QSize size)
{
    const auto inRange = [](int64_t v) {
        return v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max();
    };
    return inRange(x) && inRange(y) && inRange(x + size.width()) && inRange(y + size.height());
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
    const auto target = [&] {
        int64_t x = other->pos().x(), y = other->pos().y();
        switch (side) {
        case Side::Above:
            y -= size.height();
            break;
        case Side::Below:
            y += otherSize.height();
            break;
        case Side::LeftOf:
            x -= size.width();
            break;
        case Side::RightOf:
            x += otherSize.width();
            break;
        }
        return std::pair{x, y};
    };

    // A disabled output is placed as computed; the others are normalised
    // without it. Worked out wide, as the place may lie past the range
    // until the layout is normalised.
    if (!output->isEnabled()) {
        const auto [x, y] = target();
        if (!fits(x, y, size))
            return outOfRange();
        output->setPos(QPoint(static_cast<int>(x), static_cast<int>(y)));
        return normalizeLayout(config) != 0 ? 1 : applyConfig(config);
    }
    // A mirror placed, even against its own source, mirrors no more.
    if (output->replicationSource() != 0)
        output->setReplicationSource(0);
    // Already there: nothing leaves its place, and nothing else moves.
    else if (const auto [x, y] = target(); x == output->pos().x() && y == output->pos().y())
        return normalizeLayout(config) != 0 ? 1 : applyConfig(config);
    // The place the output leaves closes up first, as when it is switched
    // off, so that the outputs it joined do not come apart.
    else if (leaveLayout(output, config) != 0)
        return 1;
    const auto [x, y] = target();
    int64_t left = x, top = y;
    for (const OutputPtr &other : config->connectedOutputs()) {
        if (other->isEnabled() && other->id() != output->id()) {
            left = std::min<int64_t>(left, other->pos().x());
            top = std::min<int64_t>(top, other->pos().y());
        }
    }
    for (const OutputPtr &other : config->connectedOutputs()) {
        if (other->isEnabled() && other->id() != output->id() &&
            !fits(other->pos().x() - left, other->pos().y() - top, other->explicitLogicalSizeInt()))
            return outOfRange();
    }
    if (!fits(x - left, y - top, size))
        return outOfRange();
    for (const OutputPtr &other : config->connectedOutputs()) {
        if (other->isEnabled() && other->id() != output->id())
            other->setPos(other->pos() - QPoint(static_cast<int>(left), static_cast<int>(top)));
    }
    output->setPos(QPoint(static_cast<int>(x - left), static_cast<int>(y - top)));
    return applyConfig(config);
}
