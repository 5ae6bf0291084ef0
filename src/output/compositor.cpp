#include "output/compositor.h"

#include <QByteArray>
#include <QList>

#include <climits>
#include <cstdlib>
#include <memory>

#include <dlfcn.h>
#include <sys/auxv.h>
#include <unistd.h>

// The calls live in a module (compositor_bus.cpp) that only the commands
// making them open, so that no other run loads Qt's D-Bus library.

namespace {

// The tool's own file, resolved, or empty. /proc/self/exe names it; where
// there is no /proc (a chroot, a sandbox) the name the kernel started it by
// does, made absolute against the working directory the tool started in
// (it never changes it). dladdr would not help: for the program itself it
// gives argv[0], which need not name the file at all.
QByteArray toolFile()
{
    char link[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", link, sizeof link);
    if (n > 0 && size_t(n) < sizeof link && link[0] == '/')
        return QByteArray(link, n);
    const auto *name = reinterpret_cast<const char *>(::getauxval(AT_EXECFN));
    if (!name || !*name)
        return {};
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(name, nullptr), &std::free);
    if (!resolved || resolved.get()[0] != '/')
        return {};
    return QByteArray(resolved.get());
}

// Where the module sits relative to the tool, the same in the build tree
// and installed; empty when the tool's file cannot be found. Never a path
// relative to the working directory, where anyone may have put a module.
QByteArray modulePath(const char *file)
{
    const QByteArray tool = toolFile();
    if (tool.isEmpty())
        return {};
    return tool.left(tool.lastIndexOf('/') + 1) + DISPCTL_MODULE_DIR "/" + file;
}

// The session-bus module's calls; null with *error set.
const CompositorCalls *calls(QString *error)
{
    QString failure;
    const void *symbol = moduleSymbol("compositor.so", "dispctl_compositor_calls", &failure);
    if (!symbol)
        *error = u"cannot load the session-bus module: "_qs + failure;
    return static_cast<const CompositorCalls *>(symbol);
}

} // namespace

const void *moduleSymbol(const char *file, const char *symbol, QString *error)
{
    // A run opens one or two modules: a short list, searched by name.
    struct Opened {
        QByteArray key;
        const void *symbol;
        QString failure;
    };
    static QList<Opened> opened;
    const QByteArray key = QByteArray(file) + '/' + symbol;
    for (const Opened &o : std::as_const(opened)) {
        if (o.key == key) {
            *error = o.failure;
            return o.symbol;
        }
    }
    Opened o{key, nullptr, {}};
    const QByteArray path = modulePath(file);
    if (path.isEmpty()) {
        o.failure = u"the tool's own file cannot be found"_qs;
    } else {
        void *handle = ::dlopen(path.constData(), RTLD_LAZY | RTLD_LOCAL);
        o.symbol = handle ? ::dlsym(handle, symbol) : nullptr;
        if (!o.symbol)
            o.failure = QString::fromLocal8Bit(::dlerror());
    }
    opened.append(o);
    *error = o.failure;
    return o.symbol;
}

BusReply activeOutputName()
{
    BusReply failed;
    const CompositorCalls *module = calls(&failed.error);
    return module ? module->activeOutputName() : failed;
}

BusReply showOutputLocator()
{
    BusReply failed;
    const CompositorCalls *module = calls(&failed.error);
    return module ? module->showOutputLocator() : failed;
}
