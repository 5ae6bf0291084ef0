#include "backend.h"

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
    // Whether its display service answers, for the choice without DISPOR_BACKEND.
    bool (*reachable)();
};

bool always()
{
    return true;
}

// In the order they are tried when DISPOR_BACKEND is unset or empty.
constexpr Known known[] = {
#ifdef DISPOR_HAVE_WAYLAND
    {"wayland", Wayland::createWaylandBackend, Wayland::waylandReachable},
#else
    {"wayland", nullptr, nullptr},
#endif
#ifdef DISPOR_HAVE_X11
    {"x11", X11::createX11Backend, X11::x11Reachable},
#else
    {"x11", nullptr, nullptr},
#endif
    {"virtual", Virtual::createVirtualBackend, always},
};

} // namespace

std::shared_ptr<Backend> createBackend(QString *reason)
{
    const QString wanted = qEnvironmentVariable("DISPOR_BACKEND");
    if (wanted.isEmpty()) {
        for (const Known &backend : known) {
            if (backend.create && backend.reachable())
                return backend.create(reason);
        }
        *reason = QStringLiteral("no display service is reachable");
        return {};
    }
    QString names;
    for (const Known &backend : known) {
        if (wanted == QLatin1StringView(backend.name)) {
            if (!backend.create) {
                *reason = u"DISPOR_BACKEND names the "_qs + wanted + " backend, which this build does not include";
                return {};
            }
            return backend.create(reason);
        }
    }
    *reason = u"DISPOR_BACKEND \""_qs + wanted + "\" names no backend; the known backends are virtual, wayland and x11";
    return {};
}

} // namespace Dispor
