#include "module_file.h"

#include "text.h"

#include <cerrno>
#include <cstring>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Dispor {

namespace {

// dlopen trusts what it is given: a FIFO would hold it up without end.
bool regularFile(const QByteArray &file, const QString &cannot, QString *why)
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

} // namespace

QByteArray besideOwnFile(const void *anchor, const char *relative, const QString &cannot, const char *owner,
                         const char *module, QString *why)
{
    Dl_info own{};
    if (!::dladdr(anchor, &own) || !own.dli_fname || own.dli_fname[0] != '/') {
        *why = cannot + owner + " own file cannot be found, nor " + module + " beside it";
        return {};
    }
    const QByteArray self(own.dli_fname);
    return self.left(self.lastIndexOf('/') + 1) + relative;
}

const void *moduleSymbol(const QByteArray &file, const char *symbol, const QString &cannot, QString *why)
{
    return regularFile(file, cannot, why) ? openedSymbol(file, symbol, cannot, why) : nullptr;
}

const void *openedSymbol(const QByteArray &file, const char *symbol, const QString &cannot, QString *why)
{
    // Bound lazily: a run calls few of a plugin's many references into Qt
    // and the library, and binding them all at once doubled the cost of
    // opening it.
    void *handle = ::dlopen(file.constData(), RTLD_LAZY | RTLD_LOCAL);
    const void *found = handle ? ::dlsym(handle, symbol) : nullptr;
    if (!found) {
        // dlerror() names the file.
        *why = cannot + escaped(QString::fromLocal8Bit(::dlerror()));
        return nullptr;
    }
    return found;
}

} // namespace Dispor
