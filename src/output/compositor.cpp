#include "output/compositor.h"

#include <QFile>

#include <dlfcn.h>

// The calls live in a module (compositor_bus.cpp) that only the commands
// making them open, so that no other run loads Qt's D-Bus library.

namespace {

// Where the module sits relative to the tool, the same in the build tree
// and installed.
QByteArray modulePath()
{
    const QByteArray tool = QFile::encodeName(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")));
    return tool.left(tool.lastIndexOf('/') + 1) + DISPCTL_MODULE_DIR "/compositor.so";
}

// The module's calls, loaded once and kept; null with *error set.
const CompositorCalls *calls(QString *error)
{
    static QString failure;
    static const CompositorCalls *loaded = [] () -> const CompositorCalls * {
        const QByteArray path = modulePath();
        void *handle = ::dlopen(path.constData(), RTLD_LAZY | RTLD_LOCAL);
        const void *symbol = handle ? ::dlsym(handle, "dispctl_compositor_calls") : nullptr;
        if (!symbol)
            failure = u"cannot load the session-bus module: "_qs + QString::fromLocal8Bit(::dlerror());
        return static_cast<const CompositorCalls *>(symbol);
    }();
    *error = failure;
    return loaded;
}

} // namespace

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
