#include "backend.h"

#include "text.h"
#ifdef DISPOR_HAVE_GNOME
#include "gnome/gnome_backend.h"
#endif
#include "virtual/virtual_backend.h"
#ifdef DISPOR_HAVE_WAYLAND
#include "wayland/wayland_backend.h"
#endif
#ifdef DISPOR_HAVE_X11
#include "x11/x11_backend.h"
#endif

namespace Dispor {

namespace {

struct Known {
    const char *name;
    // Null while the backend is not part of the library.
    std::shared_ptr<Backend> (*create)(QString *reason);
    // For the choice without DISPOR_BACKEND: the backend when its display
    // service is there and can serve, else null with what was found. Null
    // for the simulated set, which is never chosen unasked.
    std::shared_ptr<Backend> (*probe)(QString *found);
};

// In the order they are tried when DISPOR_BACKEND is unset or empty.
constexpr Known known[] = {
#ifdef DISPOR_HAVE_WAYLAND
    {"wayland", Wayland::createWaylandBackend, Wayland::probeWaylandBackend},
#else
    {"wayland", nullptr, nullptr},
#endif
#ifdef DISPOR_HAVE_GNOME
    {"gnome", Gnome::createGnomeBackend, Gnome::createGnomeBackend},
#else
    {"gnome", nullptr, nullptr},
#endif
#ifdef DISPOR_HAVE_X11
    {"x11", X11::createX11Backend, X11::probeX11Backend},
#else
    {"x11", nullptr, nullptr},
#endif
    {"virtual", Virtual::createVirtualBackend, nullptr},
};

std::shared_ptr<Backend> findDisplayService(QString *reason)
{
    QStringList found;
    for (const Known &backend : known) {
        if (!backend.probe)
            continue;
        QString what;
        if (std::shared_ptr<Backend> chosen = backend.probe(&what))
            return chosen;
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
        if (wanted == QLatin1StringView(backend.name)) {
            if (!backend.create) {
                *reason = u"DISPOR_BACKEND names the "_qs + wanted + " backend, which this build does not include";
                return {};
            }
            return backend.create(reason);
        }
    }
    *reason = u"DISPOR_BACKEND "_qs + quoted(wanted) + " names no backend; the known backends are gnome, virtual, wayland and x11";
    return {};
}

} // namespace Dispor
