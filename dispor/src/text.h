#pragma once

#include <QString>

namespace Dispor {

// Text from outside (a name, a path, a socket) in double quotes, with control
// characters as \uXXXX escapes, so that a reason stays one line.
QString quoted(const QString &text);

} // namespace Dispor
