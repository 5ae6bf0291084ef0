#pragma once

#include <QByteArray>
#include <QString>

namespace Dispor {

// Control characters (C0, DEL and C1) as \uXXXX escapes, so that a reason
// stays one line and cannot drive a terminal.
QString escaped(const QString &text);

// Text from outside (a name, a path, a socket) escaped, in double quotes.
QString quoted(const QString &text);

// A file's path for a message: as it is, or quoted() when it holds anything
// escaped() changes.
QString shownPath(const QByteArray &path);

} // namespace Dispor
