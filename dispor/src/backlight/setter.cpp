#include "setter.h"

#include "../text.h"

#include "dispor/version.h"

#include <cerrno>
#include <cstring>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Dispor::Backlight {

namespace {

const char anchor = 0; // an address inside the library

const QString cannot = QStringLiteral("cannot set the backlight: ");

// dlopen trusts what it is given: a FIFO would hold it up without end.
bool regularFile(const QByteArray &file, QString *why)
{
    const int fd = ::open(file.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        *why = cannot + shownPath(file) + ": " + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat status;
    const bool regular = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    ::close(fd);
    if (!regular)
        *why = cannot + shownPath(file) + ": not a regular file";
    return regular;
}

const Module *open(QString *why)
{
    Dl_info own{};
    if (!::dladdr(&anchor, &own) || !own.dli_fname || own.dli_fname[0] != '/') {
        *why = cannot + "the library's own file cannot be found, nor the backlight module beside it";
        return nullptr;
    }
    const QByteArray self(own.dli_fname);
    const QByteArray file = self.left(self.lastIndexOf('/') + 1) + "dispor0/backlight.so";
    if (!regularFile(file, why))
        return nullptr;
    // Never closed: Qt's D-Bus library keeps a thread of its own.
    void *handle = ::dlopen(file.constData(), RTLD_LAZY | RTLD_LOCAL);
    const void *symbol = handle ? ::dlsym(handle, "dispor_backlight_module") : nullptr;
    if (!symbol) {
        *why = cannot + escaped(QString::fromLocal8Bit(::dlerror()));
        return nullptr;
    }
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
