#include "connection.h"

#include "../text.h"
#include "../wayland/library_log.h"

#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <poll.h>

namespace Dispor::Labels {

using Wayland::LibraryLog;

namespace {

// Each interface at the version that has what the labels use, or the
// compositor's where it is older.
constexpr uint32_t compositorVersion = 4; // wl_surface.damage_buffer
constexpr uint32_t outputVersion = 4;     // wl_output.name
constexpr uint32_t xdgOutputVersion = 3;  // names from version 2 on
constexpr uint32_t layerShellVersion = 4;
constexpr uint32_t wmBaseVersion = 2;

template <typename Proxy>
Proxy *bind(wl_registry *registry, uint32_t name, const wl_interface &interface, uint32_t offered,
            uint32_t wanted)
{
    return static_cast<Proxy *>(wl_registry_bind(registry, name, &interface, std::min(offered, wanted)));
}

template <typename Proxy> uint32_t versionOf(Proxy *proxy)
{
    return wl_proxy_get_version(reinterpret_cast<wl_proxy *>(proxy));
}

const wl_callback_listener syncListener = {
    .done = [](void *data, wl_callback *, uint32_t) { *static_cast<bool *>(data) = true; },
};

Screen *screen(void *data)
{
    return static_cast<Screen *>(data);
}

const wl_output_listener outputListener = {
    .geometry = [](void *, wl_output *, int32_t, int32_t, int32_t, int32_t, int32_t, const char *,
                   const char *, int32_t) {},
    .mode =
        [](void *data, wl_output *, uint32_t flags, int32_t width, int32_t height, int32_t) {
            if (flags & WL_OUTPUT_MODE_CURRENT)
                screen(data)->modeSize = QSize(width, height);
        },
    .done = [](void *, wl_output *) {},
    .scale = [](void *data, wl_output *, int32_t factor) { screen(data)->scale = std::max(factor, 1); },
    .name = [](void *data, wl_output *,
               const char *name) { screen(data)->outputName = QString::fromUtf8(name); },
    .description = [](void *, wl_output *, const char *) {},
};

const zxdg_output_v1_listener xdgOutputListener = {
    .logical_position = [](void *, zxdg_output_v1 *, int32_t, int32_t) {},
    .logical_size = [](void *data, zxdg_output_v1 *, int32_t width,
                       int32_t height) { screen(data)->logicalSize = QSize(width, height); },
    .done = [](void *, zxdg_output_v1 *) {},
    .name = [](void *data, zxdg_output_v1 *,
               const char *name) { screen(data)->xdgName = QString::fromUtf8(name); },
    .description = [](void *, zxdg_output_v1 *, const char *) {},
};

// A window manager's liveness check, answered while the labels show.
const xdg_wm_base_listener wmBaseListener = {
    .ping = [](void *, xdg_wm_base *base, uint32_t serial) { xdg_wm_base_pong(base, serial); },
};

} // namespace

// The registry's listener, with access to the connection's globals.
struct Globals {
    static Connection *connection(void *data) { return static_cast<Connection *>(data); }

    static constexpr wl_registry_listener listener = {
        .global =
            [](void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t version) {
                Connection *c = connection(data);
                const auto is = [interface](const wl_interface &known) {
                    return std::strcmp(interface, known.name) == 0;
                };
                if (is(wl_compositor_interface) && !c->m_compositor) {
                    c->m_compositor = bind<wl_compositor>(registry, name, wl_compositor_interface, version,
                                                          compositorVersion);
                } else if (is(wl_shm_interface) && !c->m_shm) {
                    c->m_shm = bind<wl_shm>(registry, name, wl_shm_interface, version, 1);
                } else if (is(zwlr_layer_shell_v1_interface) && !c->m_layerShell) {
                    c->m_layerShell = bind<zwlr_layer_shell_v1>(registry, name, zwlr_layer_shell_v1_interface,
                                                                version, layerShellVersion);
                } else if (is(xdg_wm_base_interface) && !c->m_wmBase) {
                    c->m_wmBase =
                        bind<xdg_wm_base>(registry, name, xdg_wm_base_interface, version, wmBaseVersion);
                    xdg_wm_base_add_listener(c->m_wmBase, &wmBaseListener, nullptr);
                } else if (is(zxdg_output_manager_v1_interface) && !c->m_xdgOutputs) {
                    c->m_xdgOutputs = bind<zxdg_output_manager_v1>(
                        registry, name, zxdg_output_manager_v1_interface, version, xdgOutputVersion);
                } else if (is(wl_output_interface)) {
                    auto s = std::make_unique<Screen>();
                    s->globalName = name;
                    s->output = bind<wl_output>(registry, name, wl_output_interface, version, outputVersion);
                    wl_output_add_listener(s->output, &outputListener, s.get());
                    c->m_screens.push_back(std::move(s));
                }
            },
        .global_remove =
            [](void *data, wl_registry *, uint32_t name) {
                // The proxy stays until the connection goes; the screen no
                // longer shows anything.
                for (const std::unique_ptr<Screen> &s : connection(data)->m_screens) {
                    if (s->globalName == name) {
                        s->globalName = 0;
                        s->outputName.clear();
                        s->xdgName.clear();
                    }
                }
            },
    };
};

std::unique_ptr<Connection> Connection::open(const QString &display, QString *why)
{
    const QByteArray name = display.isEmpty() ? qgetenv("WAYLAND_DISPLAY") : display.toLocal8Bit();
    std::unique_ptr<Connection> c(new Connection);
    c->m_socket = QString::fromLocal8Bit(name);
    c->m_display = wl_display_connect(name.isEmpty() ? nullptr : name.constData());
    if (!c->m_display) {
        const int error = errno;
        *why = u"cannot connect to the Wayland compositor "_qs + quoted(c->m_socket) + ": " +
               QString::fromLocal8Bit(std::strerror(error)) + LibraryLog::take();
        return {};
    }
    c->m_registry = wl_display_get_registry(c->m_display);
    wl_registry_add_listener(c->m_registry, &Globals::listener, c.get());
    if (!c->roundtrip(why))
        return {};
    // Each output's xdg output once both are known; one more round trip
    // brings what both tell.
    if (c->m_xdgOutputs) {
        for (const std::unique_ptr<Screen> &s : c->m_screens) {
            s->xdg = zxdg_output_manager_v1_get_xdg_output(c->m_xdgOutputs, s->output);
            zxdg_output_v1_add_listener(s->xdg, &xdgOutputListener, s.get());
        }
    }
    if (!c->roundtrip(why))
        return {};
    return c;
}

Connection::~Connection()
{
    for (const std::unique_ptr<Screen> &s : m_screens) {
        if (s->xdg)
            zxdg_output_v1_destroy(s->xdg);
        if (versionOf(s->output) >= WL_OUTPUT_RELEASE_SINCE_VERSION)
            wl_output_release(s->output);
        else
            wl_output_destroy(s->output);
    }
    if (m_xdgOutputs)
        zxdg_output_manager_v1_destroy(m_xdgOutputs);
    if (m_wmBase)
        xdg_wm_base_destroy(m_wmBase);
    if (m_layerShell) {
        if (versionOf(m_layerShell) >= ZWLR_LAYER_SHELL_V1_DESTROY_SINCE_VERSION)
            zwlr_layer_shell_v1_destroy(m_layerShell);
        else
            wl_proxy_destroy(reinterpret_cast<wl_proxy *>(m_layerShell));
    }
    // Bound at version 1: its release came later than Debian 12's
    // libwayland.
    if (m_shm)
        wl_shm_destroy(m_shm);
    if (m_compositor)
        wl_compositor_destroy(m_compositor);
    if (m_registry)
        wl_registry_destroy(m_registry);
    if (m_display) {
        wl_display_flush(m_display);
        wl_display_disconnect(m_display);
    }
}

QString Connection::connectionError() const
{
    const int error = wl_display_get_error(m_display);
    if (error == EPROTO) {
        const wl_interface *interface = nullptr;
        uint32_t id = 0;
        const uint32_t code = wl_display_get_protocol_error(m_display, &interface, &id);
        return u"the compositor closed the connection for protocol error "_qs + QString::number(code) +
               " on " + (interface ? QString::fromLatin1(interface->name) : QStringLiteral("the display")) +
               LibraryLog::take();
    }
    return u"the connection to the compositor broke: "_qs +
           QString::fromLocal8Bit(std::strerror(error ? error : EPIPE)) + LibraryLog::take();
}

bool Connection::dispatchUntil(const std::function<bool()> &done, Clock::time_point deadline,
                               const QString &awaited, QString *why)
{
    while (!done()) {
        if (wl_display_dispatch_pending(m_display) < 0) {
            *why = connectionError();
            return false;
        }
        if (done())
            return true;
        // Rounded up, so that a wait does not end just short of the deadline.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            *why = u"the Wayland compositor "_qs + quoted(m_socket) + " did not " + awaited;
            return false;
        }
        if (wl_display_prepare_read(m_display) != 0)
            continue;
        // What is queued goes out first; a full socket is waited on as the
        // answer is.
        if (wl_display_flush(m_display) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(m_display);
            *why = connectionError();
            return false;
        }
        pollfd p{wl_display_get_fd(m_display), POLLIN, 0};
        const int ready = ::poll(&p, 1, int(left));
        if (ready <= 0) {
            wl_display_cancel_read(m_display);
            if (ready < 0 && errno != EINTR) {
                *why = u"cannot wait for the compositor: "_qs + QString::fromLocal8Bit(std::strerror(errno));
                return false;
            }
            continue;
        }
        if (wl_display_read_events(m_display) < 0) {
            *why = connectionError();
            return false;
        }
    }
    return true;
}

bool Connection::roundtrip(QString *why)
{
    bool synced = false;
    wl_callback *callback = wl_display_sync(m_display);
    wl_callback_add_listener(callback, &syncListener, &synced);
    const bool ok = dispatchUntil([&synced] { return synced; }, Clock::now() + answerTime,
                                  u"answer within "_qs + QString::number(answerTime.count()) + " s", why);
    wl_callback_destroy(callback);
    return ok;
}

} // namespace Dispor::Labels
