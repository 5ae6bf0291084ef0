#include "setter.h"

#include "../module_file.h"
#include "../text.h"

#include "dispor/version.h"

#include <cstring>

namespace Dispor::Backlight {

namespace {

const char anchor = 0; // an address inside the library

const QString cannot = QStringLiteral("cannot set the backlight: ");

const Module *open(QString *why)
{
    const QByteArray file =
        besideOwnFile(&anchor, "dispor0/backlight.so", cannot, "the library's", "the backlight module", why);
    // Never closed: Qt's D-Bus library keeps a thread of its own.
    const void *symbol =
        file.isEmpty() ? nullptr : moduleSymbol(file, "dispor_backlight_module", cannot, why);
    if (!symbol)
        return nullptr;
    const auto *module = static_cast<const Module *>(symbol);
    if (!module->version || !module->set || std::strcmp(module->version, DISPOR_VERSION_STRING) != 0) {
        *why = cannot + shownPath(file) + " is not this build's (Dispor " DISPOR_VERSION_STRING ")";
        return nullptr;
    }
    return module;
}

} // namespace

bool set(const QString &device, uint32_t level, QString *why)
{
    // Opened once, also by operations run on threads of their own.
    static QString failure;
    static const Module *const module = open(&failure);
    if (!module) {
        *why = failure;
        return false;
    }
    return module->set(device, level, answerSeconds, why);
}

} // namespace Dispor::Backlight
