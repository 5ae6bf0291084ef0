#include "dispor/output.h"

#include "sizes.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Dispor {

namespace {

// Converting a double outside int's range is undefined: such a value is
// pinned to the nearest end. Loaders refuse what would get here.
int toInt(double value)
{
    if (std::isnan(value))
        return 0;
    return int(std::clamp(value, double(std::numeric_limits<int>::min()), double(std::numeric_limits<int>::max())));
}

QSize toSize(const QSizeF &size)
{
    return QSize(toInt(size.width()), toInt(size.height()));
}

} // namespace

QSize Output::size() const
{
    if (m_d.size)
        return *m_d.size;
    if (const ModePtr mode = currentMode())
        return mode->size();
    return QSize(0, 0);
}

QSize Output::explicitLogicalSizeInt() const
{
    return toSize(exactExplicitLogicalSize(*this));
}

void Output::setScale(double scale)
{
    if (m_d.scaleStep > 0 && scale > 0 && std::isfinite(scale))
        scale = std::max(1.0, std::round(scale / m_d.scaleStep)) * m_d.scaleStep;
    m_d.scale = scale;
}

QSize Output::logicalSize() const
{
    return toSize(exactLogicalSize(*this));
}

} // namespace Dispor
