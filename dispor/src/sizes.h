#pragma once

#include "output_data.h"

#include <QSizeF>

namespace Dispor {

// The logical size as Output::logicalSize() works it out, before it becomes
// int: a pixel size or scale from outside can take it past int's range, and
// a check must see the value itself, not one pinned to the range.
QSizeF exactLogicalSize(const Output &output);
// The explicit logical size rounded, else the logical size, the same way.
QSizeF exactExplicitLogicalSize(const Output &output);

// Whether a whole number lies in int's range.
bool fitsInt(double value);

} // namespace Dispor
