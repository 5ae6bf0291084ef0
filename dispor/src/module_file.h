#pragma once

#include <QByteArray>
#include <QString>

// Modules of ours opened beside the library or a plugin. Messages start
// with cannot ("cannot show labels: ").
namespace Dispor {

// The path of relative beside the file anchor lies in (each copy of the
// code finds it from its own file), or empty with why; owner and module
// name them when that file cannot be found ("the plugin's", "the labels
// module").
QByteArray besideOwnFile(const void *anchor, const char *relative, const QString &cannot, const char *owner,
                         const char *module, QString *why);

// The module's symbol, or null with why. The file must be a regular one,
// and the module is never closed: a library it loads may keep threads or
// handlers of its own.
const void *moduleSymbol(const QByteArray &file, const char *symbol, const QString &cannot, QString *why);
// The same, for a file its caller has looked at already.
const void *openedSymbol(const QByteArray &file, const char *symbol, const QString &cannot, QString *why);

} // namespace Dispor
