#include "commands/layout.h"

#include "core/print.h"

#include <dispor/config.h>

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <limits>

namespace {

// Layout arithmetic is done wide and pinned to the coordinate range, so
// that outputs placed at the far ends of it cannot wrap around.
int clampCoordinate(int64_t value)
{
    return static_cast<int>(std::clamp<int64_t>(value, std::numeric_limits<int>::min(),
                                                std::numeric_limits<int>::max()));
}

} // namespace

void normalizeLayout(const ConfigPtr &config)
{
    const Dispor::OutputList outputs = config->connectedOutputs();
    bool any = false;
    int minX = 0;
    int minY = 0;
    for (const OutputPtr &output : outputs) {
        if (!output->isEnabled())
            continue;
        const QPoint pos = output->pos();
        minX = any ? std::min(minX, pos.x()) : pos.x();
        minY = any ? std::min(minY, pos.y()) : pos.y();
        any = true;
    }
    if (!any)
        return;
    for (const OutputPtr &output : outputs) {
        if (!output->isEnabled())
            continue;
        const QPoint pos = output->pos();
        output->setPos(QPoint(clampCoordinate(int64_t(pos.x()) - minX), clampCoordinate(int64_t(pos.y()) - minY)));
    }
}

void adjustLayoutAfterResize(const OutputPtr &output, QSize oldSize, const ConfigPtr &config)
{
    const QSize newSize = output->explicitLogicalSizeInt();
    const int64_t dx = int64_t(newSize.width()) - oldSize.width();
    const int64_t dy = int64_t(newSize.height()) - oldSize.height();
    const QPoint pos = output->pos();
    const int64_t cx = pos.x() + int64_t(oldSize.width() / 2);
    const int64_t cy = pos.y() + int64_t(oldSize.height() / 2);

    for (const OutputPtr &other : config->connectedOutputs()) {
        if (!other->isEnabled() || other->id() == output->id())
            continue;
        const QPoint otherPos = other->pos();
        const int64_t sx = otherPos.x() >= cx ? dx : 0;
        const int64_t sy = otherPos.y() >= cy ? dy : 0;
        if (sx != 0 || sy != 0)
            other->setPos(QPoint(clampCoordinate(otherPos.x() + sx), clampCoordinate(otherPos.y() + sy)));
    }
    normalizeLayout(config);
}

int finishResize(const OutputPtr &output, QSize oldSize, const ConfigPtr &config)
{
    output->setExplicitLogicalSize(QSizeF(config->logicalSizeForOutputInt(output)));
    adjustLayoutAfterResize(output, oldSize, config);
    return applyConfig(config);
}

int placeNextTo(const OutputPtr &output, const ConfigPtr &config, const QString &reference, Side side)
{
    const OutputPtr other = resolveOutput(config, reference);
    if (!other) {
        printLineTo(std::cerr, "Unknown output: {}", reference);
        return 1;
    }
    if (other->id() == output->id()) {
        printLineTo(std::cerr, "The reference output cannot be the same as the moved output");
        return 1;
    }

    const QPoint at = other->pos();
    int64_t x = at.x();
    int64_t y = at.y();
    switch (side) {
    case Side::Above:
        y -= output->explicitLogicalSizeInt().height();
        break;
    case Side::Below:
        y += other->explicitLogicalSizeInt().height();
        break;
    case Side::LeftOf:
        x -= output->explicitLogicalSizeInt().width();
        break;
    case Side::RightOf:
        x += other->explicitLogicalSizeInt().width();
        break;
    }
    output->setPos(QPoint(clampCoordinate(x), clampCoordinate(y)));
    normalizeLayout(config);
    return applyConfig(config);
}
