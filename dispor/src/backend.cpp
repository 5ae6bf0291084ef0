#include "backend.h"

#include "text.h"
#include "virtual/virtual_backend.h"
#ifdef DISPOR_HAVE_GNOME
#include "session_bus.h"
#endif
// dispor_internal, for the tests, has the backends linked in.
#ifdef DISPOR_BUILTIN_BACKENDS
#ifdef DISPOR_HAVE_GNOME
#include "gnome/gnome_backend.h"
#endif
#ifdef DISPOR_HAVE_WAYLAND
#include "wayland/wayland_backend.h"
#endif
#ifdef DISPOR_HAVE_X11
#include "x11/x11_backend.h"
#endif
#endif

#include "dispor/version.h"

#include <cstring>

#include <dlfcn.h>

namespace Dispor {

namespace {

struct Known {
    const char *name;
    // Linked in: the simulated set, and for the tests every backend.
    std::shared_ptr<Backend> (*create)(QString *reason);
    // For the choice without DISPOR_BACKEND; null for the simulated set,
    // which is never chosen unasked.
    std::shared_ptr<Backend> (*probe)(QString *found);
    // A plugin of this build, opened when the backend is probed or used.
    bool plugin;
    // Unset or empty, the probe would find nothing but that it is not set:
    // said here, without opening the plugin and the libraries it needs.
    const char *variable;
    // The variable names the session bus, which may be found without it
    // too; a bus that refuses a connection outright is said here as well.
    bool sessionBus = false;
};

// In the order they are tried when DISPOR_BACKEND is unset or empty.
constexpr Known known[] = {
#if defined(DISPOR_BUILTIN_BACKENDS) && defined(DISPOR_HAVE_WAYLAND)
    {"wayland", Wayland::createWaylandBackend, Wayland::probeWaylandBackend, false, "WAYLAND_DISPLAY"},
#elif defined(DISPOR_HAVE_WAYLAND)
    {"wayland", nullptr, nullptr, true, "WAYLAND_DISPLAY"},
#else
    {"wayland", nullptr, nullptr, false, "WAYLAND_DISPLAY"},
#endif
#if defined(DISPOR_BUILTIN_BACKENDS) && defined(DISPOR_HAVE_GNOME)
    {"gnome", Gnome::createGnomeBackend, Gnome::createGnomeBackend, false, "DBUS_SESSION_BUS_ADDRESS", true},
#elif defined(DISPOR_HAVE_GNOME)
    {"gnome", nullptr, nullptr, true, "DBUS_SESSION_BUS_ADDRESS", true},
#else
    {"gnome", nullptr, nullptr, false, "DBUS_SESSION_BUS_ADDRESS"},
#endif
#if defined(DISPOR_BUILTIN_BACKENDS) && defined(DISPOR_HAVE_X11)
    {"x11", X11::createX11Backend, X11::probeX11Backend, false, "DISPLAY"},
#elif defined(DISPOR_HAVE_X11)
    {"x11", nullptr, nullptr, true, "DISPLAY"},
#else
    {"x11", nullptr, nullptr, false, "DISPLAY"},
#endif
    {"virtual", Virtual::createVirtualBackend, nullptr, false, nullptr},
};

// The plugins sit in dispor0/ beside the library's own file, in the build
// tree as installed, so that no search path is needed.
const char anchor = 0; // an address inside the library

QByteArray pluginDirectory()
{
    Dl_info info{};
    if (!::dladdr(&anchor, &info) || !info.dli_fname)
        return QByteArrayLiteral("dispor0/");
    const QByteArray library(info.dli_fname);
    return library.left(library.lastIndexOf('/') + 1) + "dispor0/";
}

// The backend's plugin, opened once and kept for the life of the process
// (backends made by it must not outlive its code); null with a reason.
const BackendPlugin *loadPlugin(const char *name, QString *reason)
{
    const QByteArray file = pluginDirectory() + name + ".so";
    // Bound lazily: a run calls few of the plugin's many references into Qt
    // and the library, and binding them all at once doubled the cost of
    // opening it. The version check below keeps a plugin of another build out.
    void *handle = ::dlopen(file.constData(), RTLD_LAZY | RTLD_LOCAL);
    const void *symbol = handle ? ::dlsym(handle, "dispor_backend_plugin") : nullptr;
    if (!symbol) {
        // dlerror() names the file.
        *reason = u"cannot load the "_qs + QLatin1StringView(name) + " backend: " + QString::fromLocal8Bit(::dlerror());
        return nullptr;
    }
    const auto *plugin = static_cast<const BackendPlugin *>(symbol);
    if (std::strcmp(plugin->version, DISPOR_VERSION_STRING) != 0) {
        *reason = u"cannot load the "_qs + QLatin1StringView(name) + " backend: " + quoted(QString::fromLocal8Bit(file))
            + " belongs to Dispor " + quoted(QString::fromLatin1(plugin->version)) + ", not to " DISPOR_VERSION_STRING;
        return nullptr;
    }
    return plugin;
}

std::shared_ptr<Backend> findDisplayService(QString *reason)
{
    QStringList found;
    for (const Known &backend : known) {
        if (!backend.plugin && !backend.probe)
            continue;
#ifdef DISPOR_HAVE_GNOME
        if (backend.sessionBus) {
            // The probe's first findings, without the D-Bus libraries (a
            // millisecond of loading) where no bus listens.
            QString lookedAt;
            const QString address = sessionBusAddress(&lookedAt);
            if (address.isEmpty()) {
                found.append(sessionBusMissing(lookedAt.isEmpty() ? QString() : quoted(lookedAt)));
                continue;
            }
            const BusProbe refusal = sessionBusRefusal(address);
            if (refusal.outcome == BusProbe::Failed) {
                found.append(sessionBusUnreachable(quoted(address), refusal.failure));
                continue;
            }
        } else
#endif
        if (backend.variable && qEnvironmentVariableIsEmpty(backend.variable)) {
            found.append(QString::fromLatin1(backend.variable) + " is not set");
            continue;
        }
        auto probe = backend.probe;
        QString what;
        if (backend.plugin) {
            const BackendPlugin *plugin = loadPlugin(backend.name, &what);
            probe = plugin ? plugin->probe : nullptr;
        }
        if (probe) {
            if (std::shared_ptr<Backend> chosen = probe(&what))
                return chosen;
        }
        found.append(what);
    }
    *reason = u"found no display service to configure ("_qs + found.join(u"; ")
        + "); DISPOR_BACKEND=virtual selects the simulated display set";
    return {};
}

} // namespace

std::shared_ptr<Backend> createBackend(QString *reason)
{
    const QString wanted = qEnvironmentVariable("DISPOR_BACKEND");
    if (wanted.isEmpty())
        return findDisplayService(reason);
    for (const Known &backend : known) {
        if (wanted != QLatin1StringView(backend.name))
            continue;
        if (backend.create)
            return backend.create(reason);
        if (!backend.plugin) {
            *reason = u"DISPOR_BACKEND names the "_qs + wanted + " backend, which this build does not include";
            return {};
        }
        const BackendPlugin *plugin = loadPlugin(backend.name, reason);
        return plugin ? plugin->create(reason) : nullptr;
    }
    *reason = u"DISPOR_BACKEND "_qs + quoted(wanted) + " names no backend; the known backends are gnome, virtual, wayland and x11";
    return {};
}

} // namespace Dispor
