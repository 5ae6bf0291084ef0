#include "sizes.h"

#include <cmath>
#include <limits>

namespace Dispor {

bool fitsInt(double value)
{
    return value >= double(std::numeric_limits<int>::min()) &&
           value <= double(std::numeric_limits<int>::max());
}

QSizeF exactLogicalSize(const Output &output)
{
    const Output::Data &d = output.data();
    QSizeF logical = output.size();
    if (d.scale > 0) {
        switch (d.sizing) {
        case Output::Data::Sizing::Rounded:
            logical = QSizeF(std::round(logical.width() / d.scale), std::round(logical.height() / d.scale));
            break;
        case Output::Data::Sizing::Truncated:
            logical = QSizeF(std::trunc(logical.width() / d.scale), std::trunc(logical.height() / d.scale));
            break;
        case Output::Data::Sizing::Unscaled:
            break;
        }
    }
    switch (d.rotation) {
    case Output::Rotation::Left:
    case Output::Rotation::Right:
    case Output::Rotation::Flipped90:
    case Output::Rotation::Flipped270:
        logical.transpose();
        break;
    default:
        break;
    }
    return logical;
}

QSizeF exactExplicitLogicalSize(const Output &output)
{
    if (const std::optional<QSizeF> &size = output.data().explicitLogicalSize)
        return QSizeF(std::round(size->width()), std::round(size->height()));
    return exactLogicalSize(output);
}

} // namespace Dispor
