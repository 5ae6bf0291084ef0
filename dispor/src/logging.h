#pragma once

#include <QLoggingCategory>

namespace Dispor {

// Where the library reports what no return value carries: the category
// "dispor", which a program can filter or route with Qt's logging rules
// and message handler. Made on first use, not at load.
const QLoggingCategory &lcDispor();

} // namespace Dispor
