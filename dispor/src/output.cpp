#include "dispor/output.h"

#include <algorithm>
#include <cmath>

namespace Dispor {

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
    if (m_d.explicitLogicalSize)
        return m_d.explicitLogicalSize->toSize();
    return logicalSize();
}

void Output::setScale(double scale)
{
    if (m_d.scaleStep > 0 && scale > 0 && std::isfinite(scale))
        scale = std::max(1.0, std::round(scale / m_d.scaleStep)) * m_d.scaleStep;
    m_d.scale = scale;
}

QSize Output::logicalSize() const
{
    QSize logical = size();
    if (m_d.scale > 0) {
        switch (m_d.sizing) {
        case Data::Sizing::Rounded:
            logical = QSize(qRound(logical.width() / m_d.scale), qRound(logical.height() / m_d.scale));
            break;
        case Data::Sizing::Truncated:
            logical = QSize(int(logical.width() / m_d.scale), int(logical.height() / m_d.scale));
            break;
        case Data::Sizing::Unscaled:
            break;
        }
    }
    switch (m_d.rotation) {
    case Rotation::Left:
    case Rotation::Right:
    case Rotation::Flipped90:
    case Rotation::Flipped270:
        logical.transpose();
        break;
    default:
        break;
    }
    return logical;
}

} // namespace Dispor
