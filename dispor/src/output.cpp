#include "dispor/output.h"

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

QSize Output::logicalSize() const
{
    QSize logical = size();
    if (m_d.scale > 0)
        logical = QSize(qRound(logical.width() / m_d.scale), qRound(logical.height() / m_d.scale));
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
