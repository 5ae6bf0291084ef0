#include "client.h"

#include "../text.h"
#include "library_log.h"

#include <QSet>

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"
#include "wlr-output-management-unstable-v1-client-protocol.h"
#include "wlr-output-power-management-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include <poll.h>
#include <sys/un.h>

namespace Dispor::Wayland {

namespace {

// Long enough for a busy compositor, short enough that a hung one does not
// hang the tool.
constexpr int answerTimeoutMs = 10000;
// Finding out whether a compositor is there at all must not hold up the
// choice of another display service for long.
constexpr int probeTimeoutMs = 3000;
// A compositor that switches the power at all does so within a few frames.
constexpr int powerTimeoutMs = 2000;

constexpr uint32_t managerVersionWanted = 4;
constexpr uint32_t outputVersionWanted = 4;
// From version 2 on, an xdg output tells its name.
constexpr uint32_t xdgVersionWanted = 3;
// Version 3 adds the parent, which tells nothing of the focus.
constexpr uint32_t toplevelsVersionWanted = 3;

// Why libwayland could not make a socket's path of WAYLAND_DISPLAY, found
// before it tries: it would say so itself on standard error, with the
// value as it is. Empty where it can.
QString unusableSocket(const QByteArray &name)
{
    QByteArray path = name;
    if (!name.startsWith('/')) {
        if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
            return QStringLiteral("XDG_RUNTIME_DIR is not set");
        const QByteArray dir = qgetenv("XDG_RUNTIME_DIR");
        if (!dir.startsWith('/'))
            return QStringLiteral("XDG_RUNTIME_DIR is not an absolute path");
        path = dir + '/' + name;
    }
    constexpr qsizetype longest = sizeof(sockaddr_un::sun_path) - 1;
    if (path.size() <= longest)
        return {};
    return u"its socket's path would be "_qs + QString::number(path.size()) + " bytes long, more than the " +
           QString::number(longest) + " a socket's path can hold";
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

template <typename Proxy> uint32_t versionOf(Proxy *proxy)
{
    return wl_proxy_get_version(reinterpret_cast<wl_proxy *>(proxy));
}

void releaseMode(ModeState &mode)
{
    if (!mode.proxy)
        return;
    if (versionOf(mode.proxy) >= ZWLR_OUTPUT_MODE_V1_RELEASE_SINCE_VERSION)
        zwlr_output_mode_v1_release(mode.proxy);
    else
        zwlr_output_mode_v1_destroy(mode.proxy);
    mode.proxy = nullptr;
}

void releaseHead(HeadState &head)
{
    for (const std::unique_ptr<ModeState> &mode : head.modes)
        releaseMode(*mode);
    head.modes.clear();
    head.currentMode = nullptr;
    if (!head.proxy)
        return;
    if (versionOf(head.proxy) >= ZWLR_OUTPUT_HEAD_V1_RELEASE_SINCE_VERSION)
        zwlr_output_head_v1_release(head.proxy);
    else
        zwlr_output_head_v1_destroy(head.proxy);
    head.proxy = nullptr;
}

struct PowerState {
    QString name;
    zwlr_output_power_v1 *proxy = nullptr;
    std::optional<bool> on;
    bool failed = false;
};

const zwlr_output_power_v1_listener powerListener = {
    .mode = [](void *data, zwlr_output_power_v1 *,
               uint32_t mode) { static_cast<PowerState *>(data)->on = mode == ZWLR_OUTPUT_POWER_V1_MODE_ON; },
    .failed = [](void *data, zwlr_output_power_v1 *) { static_cast<PowerState *>(data)->failed = true; },
};

// A power object for each wl_output still announced; each tells its mode
// on the next roundtrip.
template <typename Outputs>
std::vector<std::unique_ptr<PowerState>> watchPower(zwlr_output_power_manager_v1 *manager,
                                                    const Outputs &outputs)
{
    std::vector<std::unique_ptr<PowerState>> states;
    for (const auto &output : outputs) {
        if (!output.globalName)
            continue;
        auto state = std::make_unique<PowerState>();
        state->name = output.name;
        state->proxy = zwlr_output_power_manager_v1_get_output_power(manager, output.proxy);
        zwlr_output_power_v1_add_listener(state->proxy, &powerListener, state.get());
        states.push_back(std::move(state));
    }
    return states;
}

// Named where the compositor tells the name (wl_output version 4).
QString outputName(const QString &name)
{
    return name.isEmpty() ? QStringLiteral("an output") : quoted(name);
}

} // namespace

// A wl_output bound afresh: its name, and where the layout is asked for,
// its place in it as its xdg output tells it.
struct LayoutEntry {
    wl_output *output = nullptr;
    zxdg_output_v1 *xdg = nullptr;
    QString outputName; // wl_output version 4
    QString xdgName;    // xdg output version 2
    QSize size;
};

namespace {

const wl_output_listener layoutOutputListener = {
    .geometry = [](void *, wl_output *, int32_t, int32_t, int32_t, int32_t, int32_t, const char *,
                   const char *, int32_t) {},
    .mode = [](void *, wl_output *, uint32_t, int32_t, int32_t, int32_t) {},
    .done = [](void *, wl_output *) {},
    .scale = [](void *, wl_output *, int32_t) {},
    .name = [](void *data, wl_output *,
               const char *name) { static_cast<LayoutEntry *>(data)->outputName = QString::fromUtf8(name); },
    .description = [](void *, wl_output *, const char *) {},
};

const zxdg_output_v1_listener xdgOutputListener = {
    .logical_position = [](void *, zxdg_output_v1 *, int32_t, int32_t) {},
    .logical_size = [](void *data, zxdg_output_v1 *, int32_t width,
                       int32_t height) { static_cast<LayoutEntry *>(data)->size = QSize(width, height); },
    .done = [](void *, zxdg_output_v1 *) {},
    .name = [](void *data, zxdg_output_v1 *,
               const char *name) { static_cast<LayoutEntry *>(data)->xdgName = QString::fromUtf8(name); },
    .description = [](void *, zxdg_output_v1 *, const char *) {},
};

const wl_callback_listener syncListener = {
    .done = [](void *data, wl_callback *, uint32_t) { *static_cast<bool *>(data) = true; },
};

const zwlr_output_configuration_v1_listener configurationListener = {
    .succeeded =
        [](void *data, zwlr_output_configuration_v1 *) {
            *static_cast<std::optional<Answer> *>(data) = Answer::Succeeded;
        },
    .failed =
        [](void *data, zwlr_output_configuration_v1 *) {
            *static_cast<std::optional<Answer> *>(data) = Answer::Failed;
        },
    .cancelled =
        [](void *data, zwlr_output_configuration_v1 *) {
            *static_cast<std::optional<Answer> *>(data) = Answer::Cancelled;
        },
};

} // namespace

const ModeState *HeadState::mode(const QString &id) const
{
    for (const std::unique_ptr<ModeState> &mode : modes) {
        if (mode->id == id)
            return mode.get();
    }
    return nullptr;
}

// The listeners, with access to the session's lists.
struct Events {
    static ModeState *mode(void *data) { return static_cast<ModeState *>(data); }
    static HeadState *head(void *data) { return static_cast<HeadState *>(data); }

    static constexpr zwlr_output_mode_v1_listener modeListener = {
        .size =
            [](void *data, zwlr_output_mode_v1 *, int32_t width, int32_t height) {
                mode(data)->width = width;
                mode(data)->height = height;
            },
        .refresh = [](void *data, zwlr_output_mode_v1 *, int32_t refresh) { mode(data)->refresh = refresh; },
        .preferred = [](void *data, zwlr_output_mode_v1 *) { mode(data)->preferred = true; },
        .finished =
            [](void *data, zwlr_output_mode_v1 *) {
                ModeState *m = mode(data);
                HeadState *h = m->head;
                releaseMode(*m);
                if (h->currentMode == m)
                    h->currentMode = nullptr;
                std::erase_if(h->modes,
                              [m](const std::unique_ptr<ModeState> &other) { return other.get() == m; });
            },
    };

    static constexpr zwlr_output_head_v1_listener headListener = {
        .name = [](void *data, zwlr_output_head_v1 *,
                   const char *text) { head(data)->name = QString::fromUtf8(text); },
        .description = [](void *data, zwlr_output_head_v1 *,
                          const char *text) { head(data)->description = QString::fromUtf8(text); },
        .physical_size = [](void *, zwlr_output_head_v1 *, int32_t, int32_t) {},
        .mode =
            [](void *data, zwlr_output_head_v1 *, zwlr_output_mode_v1 *proxy) {
                HeadState *h = head(data);
                auto m = std::make_unique<ModeState>();
                m->head = h;
                m->proxy = proxy;
                m->id = QString::number(h->nextModeId++);
                zwlr_output_mode_v1_add_listener(proxy, &modeListener, m.get());
                h->modes.push_back(std::move(m));
            },
        .enabled = [](void *data, zwlr_output_head_v1 *,
                      int32_t enabled) { head(data)->enabled = enabled != 0; },
        .current_mode =
            [](void *data, zwlr_output_head_v1 *, zwlr_output_mode_v1 *proxy) {
                HeadState *h = head(data);
                h->currentMode = nullptr;
                for (const std::unique_ptr<ModeState> &m : h->modes) {
                    if (m->proxy == proxy)
                        h->currentMode = m.get();
                }
            },
        .position =
            [](void *data, zwlr_output_head_v1 *, int32_t x, int32_t y) {
                head(data)->position = {x, y};
            },
        .transform = [](void *data, zwlr_output_head_v1 *,
                        int32_t transform) { head(data)->transform = transform; },
        .scale = [](void *data, zwlr_output_head_v1 *,
                    wl_fixed_t scale) { head(data)->scale = wl_fixed_to_double(scale); },
        .finished =
            [](void *data, zwlr_output_head_v1 *) {
                HeadState *h = head(data);
                releaseHead(*h);
                std::erase_if(h->session->m_heads,
                              [h](const std::unique_ptr<HeadState> &other) { return other.get() == h; });
            },
        .make = [](void *data, zwlr_output_head_v1 *,
                   const char *text) { head(data)->make = QString::fromUtf8(text); },
        .model = [](void *data, zwlr_output_head_v1 *,
                    const char *text) { head(data)->model = QString::fromUtf8(text); },
        .serial_number = [](void *data, zwlr_output_head_v1 *,
                            const char *text) { head(data)->serialNumber = QString::fromUtf8(text); },
        .adaptive_sync =
            [](void *data, zwlr_output_head_v1 *, uint32_t state) {
                head(data)->adaptiveSync = state == ZWLR_OUTPUT_HEAD_V1_ADAPTIVE_SYNC_STATE_ENABLED;
            },
    };

    static Session *session(void *data) { return static_cast<Session *>(data); }

    static constexpr zwlr_output_manager_v1_listener managerListener = {
        .head =
            [](void *data, zwlr_output_manager_v1 *, zwlr_output_head_v1 *proxy) {
                auto h = std::make_unique<HeadState>();
                h->session = session(data);
                h->proxy = proxy;
                zwlr_output_head_v1_add_listener(proxy, &headListener, h.get());
                session(data)->m_heads.push_back(std::move(h));
            },
        .done =
            [](void *data, zwlr_output_manager_v1 *, uint32_t serial) {
                session(data)->m_serial = serial;
                session(data)->m_done = true;
                ++session(data)->m_announced;
            },
        .finished = [](void *data, zwlr_output_manager_v1 *) { session(data)->m_finished = true; },
    };

    static constexpr wl_registry_listener registryListener = {
        .global =
            [](void *data, wl_registry *, uint32_t name, const char *interface, uint32_t version) {
                Session *s = session(data);
                if (std::strcmp(interface, zwlr_output_manager_v1_interface.name) == 0) {
                    s->m_managerName = name;
                    s->m_managerVersion = std::min(version, managerVersionWanted);
                } else if (std::strcmp(interface, zwlr_output_power_manager_v1_interface.name) == 0) {
                    s->m_powerName = name;
                } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0) {
                    s->m_xdgName = name;
                    s->m_xdgVersion = std::min(version, xdgVersionWanted);
                } else if (std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) == 0) {
                    s->m_toplevelsName = name;
                    s->m_toplevelsVersion = std::min(version, toplevelsVersionWanted);
                } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
                    s->m_outputGlobals.emplace_back(name, version);
                }
            },
        .global_remove =
            [](void *data, wl_registry *, uint32_t name) {
                Session *s = session(data);
                std::erase_if(s->m_outputGlobals,
                              [name](const auto &global) { return global.first == name; });
                for (Session::Output &output : s->m_outputs) {
                    if (output.globalName == name)
                        output.globalName = 0; // the compositor dropped it; the proxy goes with the session
                }
            },
    };

    static Session::Output *output(void *data) { return static_cast<Session::Output *>(data); }

    static constexpr wl_output_listener outputListener = {
        .geometry = [](void *, wl_output *, int32_t, int32_t, int32_t, int32_t, int32_t, const char *,
                       const char *, int32_t) {},
        .mode = [](void *, wl_output *, uint32_t, int32_t, int32_t, int32_t) {},
        .done = [](void *, wl_output *) {},
        .scale = [](void *, wl_output *, int32_t) {},
        .name = [](void *data, wl_output *,
                   const char *name) { output(data)->name = QString::fromUtf8(name); },
        .description = [](void *, wl_output *, const char *) {},
    };
};

Session::~Session()
{
    for (const std::unique_ptr<HeadState> &head : m_heads)
        releaseHead(*head);
    m_heads.clear();
    for (Output &output : m_outputs) {
        if (output.proxy) {
            if (versionOf(output.proxy) >= WL_OUTPUT_RELEASE_SINCE_VERSION)
                wl_output_release(output.proxy);
            else
                wl_output_destroy(output.proxy);
        }
    }
    if (m_power)
        zwlr_output_power_manager_v1_destroy(m_power);
    if (m_xdg)
        zxdg_output_manager_v1_destroy(m_xdg);
    if (m_manager)
        zwlr_output_manager_v1_destroy(m_manager);
    if (m_registry)
        wl_registry_destroy(m_registry);
    if (m_display) {
        const LibraryLog log;
        wl_display_flush(m_display);
        wl_display_disconnect(m_display);
    }
}

std::unique_ptr<Session> Session::open(QString *reason, bool probing)
{
    const QString socket = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (socket.isEmpty()) {
        *reason = probing
                      ? QStringLiteral("WAYLAND_DISPLAY is not set")
                      : QStringLiteral("WAYLAND_DISPLAY is not set, so no Wayland compositor can be reached");
        return {};
    }
    // With WAYLAND_SOCKET, libwayland takes the connection it names instead.
    const QString unusable =
        qEnvironmentVariableIsSet("WAYLAND_SOCKET") ? QString() : unusableSocket(qgetenv("WAYLAND_DISPLAY"));
    if (!unusable.isEmpty()) {
        *reason = u"cannot connect to the Wayland compositor "_qs + quoted(socket) + ": " + unusable;
        return {};
    }
    const LibraryLog log;
    std::unique_ptr<Session> session(new Session);
    session->m_socket = socket;
    session->m_display = wl_display_connect(nullptr);
    if (!session->m_display) {
        const int error = errno;
        *reason = u"cannot connect to the Wayland compositor "_qs + quoted(socket) + ": " + errnoText(error) +
                  LibraryLog::take();
        return {};
    }
    session->m_registry = wl_display_get_registry(session->m_display);
    wl_registry_add_listener(session->m_registry, &Events::registryListener, session.get());
    session->m_timeoutMs = probing ? probeTimeoutMs : answerTimeoutMs;
    const bool listed = session->roundtrip(reason);
    session->m_timeoutMs = answerTimeoutMs;
    if (!listed)
        return {};
    return session;
}

QString Session::silence(const QString &awaited) const
{
    return u"the Wayland compositor "_qs + quoted(m_socket) + " did not " + awaited + " within " +
           QString::number(m_timeoutMs / 1000) + " s";
}

QString Session::connectionError() const
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
    return u"the connection to the compositor broke: "_qs + errnoText(error ? error : EPIPE) +
           LibraryLog::take();
}

bool Session::dispatchOnce(int timeoutMs, QString *reason)
{
    const LibraryLog log;
    while (wl_display_prepare_read(m_display) != 0) {
        if (wl_display_dispatch_pending(m_display) < 0) {
            *reason = connectionError();
            return false;
        }
        return true;
    }
    while (wl_display_flush(m_display) < 0) {
        if (errno != EAGAIN) {
            wl_display_cancel_read(m_display);
            *reason = connectionError();
            return false;
        }
        pollfd out{wl_display_get_fd(m_display), POLLOUT, 0};
        ::poll(&out, 1, timeoutMs);
    }
    pollfd in{wl_display_get_fd(m_display), POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&in, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) {
        wl_display_cancel_read(m_display);
        *reason = ready == 0 ? silence() : u"cannot wait for the compositor: "_qs + errnoText(errno);
        return false;
    }
    if (wl_display_read_events(m_display) < 0 || wl_display_dispatch_pending(m_display) < 0) {
        *reason = connectionError();
        return false;
    }
    return true;
}

template <typename Done>
bool Session::dispatchUntil(Done done, QString *reason, const std::function<QString()> &awaited)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(m_timeoutMs);
    m_timedOut = false;
    while (!done()) {
        // Rounded up: a wait of the whole milliseconds below what is left
        // could end just before the deadline, and the silence would then be
        // reported without what it was that did not come.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || !dispatchOnce(int(left), reason)) {
            m_timedOut = Clock::now() >= deadline;
            if (m_timedOut)
                *reason = awaited ? silence(awaited()) : silence();
            return false;
        }
    }
    return true;
}

bool Session::roundtrip(QString *reason)
{
    bool synced = false;
    wl_callback *callback = wl_display_sync(m_display);
    wl_callback_add_listener(callback, &syncListener, &synced);
    const bool ok = dispatchUntil([&synced] { return synced; }, reason);
    wl_callback_destroy(callback);
    return ok;
}

bool Session::update(QString *reason)
{
    if (!m_manager) {
        if (!hasOutputManager()) {
            *reason = QStringLiteral("the compositor offers no output management (zwlr_output_manager_v1)");
            return false;
        }
        m_manager = static_cast<zwlr_output_manager_v1 *>(
            wl_registry_bind(m_registry, m_managerName, &zwlr_output_manager_v1_interface, m_managerVersion));
        zwlr_output_manager_v1_add_listener(m_manager, &Events::managerListener, this);
        if (!dispatchUntil([this] { return m_done || m_finished; }, reason))
            return false;
    } else if (!roundtrip(reason)) {
        return false;
    }
    return managing(reason) && findDark(reason);
}

bool Session::findDark(QString *reason)
{
    qsizetype enabled = 0;
    for (const std::unique_ptr<HeadState> &head : m_heads) {
        head->dark = false;
        enabled += head->enabled;
    }
    // A wl_output for each enabled head, as compositors make them: none is
    // dark, and the names are not needed. Before version 4 they tell none.
    const bool named = std::all_of(m_outputGlobals.cbegin(), m_outputGlobals.cend(),
                                   [](const auto &global) { return global.second >= 4; });
    if (qsizetype(m_outputGlobals.size()) >= enabled || !named)
        return true;
    std::vector<std::unique_ptr<LayoutEntry>> entries = freshOutputs(false);
    const bool ok = roundtrip(reason);
    QSet<QString> shown;
    for (const std::unique_ptr<LayoutEntry> &entry : entries)
        shown.insert(entry->outputName);
    release(entries);
    if (!ok)
        return false;
    for (const std::unique_ptr<HeadState> &head : m_heads)
        head->dark = head->enabled && !shown.contains(head->name);
    return true;
}

bool Session::managing(QString *reason) const
{
    if (m_finished) {
        *reason = QStringLiteral("the compositor stopped its output management");
        return false;
    }
    return true;
}

bool Session::configure(uint32_t serial, const QList<HeadSetting> &settings, bool testOnly, Answer *answer,
                        QString *reason)
{
    zwlr_output_configuration_v1 *configuration =
        zwlr_output_manager_v1_create_configuration(m_manager, serial);
    std::optional<Answer> answered;
    zwlr_output_configuration_v1_add_listener(configuration, &configurationListener, &answered);
    std::vector<zwlr_output_configuration_head_v1 *> configured;
    for (const HeadSetting &setting : settings) {
        if (!setting.enabled) {
            zwlr_output_configuration_v1_disable_head(configuration, setting.head->proxy);
            continue;
        }
        zwlr_output_configuration_head_v1 *head =
            zwlr_output_configuration_v1_enable_head(configuration, setting.head->proxy);
        configured.push_back(head);
        if (setting.customMode)
            zwlr_output_configuration_head_v1_set_custom_mode(
                head, setting.customMode->width, setting.customMode->height, setting.customMode->refresh);
        else if (setting.mode)
            zwlr_output_configuration_head_v1_set_mode(head, setting.mode->proxy);
        zwlr_output_configuration_head_v1_set_position(head, setting.position.x(), setting.position.y());
        if (setting.transform)
            zwlr_output_configuration_head_v1_set_transform(head, *setting.transform);
        if (setting.scale)
            zwlr_output_configuration_head_v1_set_scale(head, wl_fixed_from_double(*setting.scale));
        if (setting.adaptiveSync &&
            versionOf(head) >= ZWLR_OUTPUT_CONFIGURATION_HEAD_V1_SET_ADAPTIVE_SYNC_SINCE_VERSION)
            zwlr_output_configuration_head_v1_set_adaptive_sync(
                head, *setting.adaptiveSync ? ZWLR_OUTPUT_HEAD_V1_ADAPTIVE_SYNC_STATE_ENABLED
                                            : ZWLR_OUTPUT_HEAD_V1_ADAPTIVE_SYNC_STATE_DISABLED);
    }
    if (testOnly)
        zwlr_output_configuration_v1_test(configuration);
    else
        zwlr_output_configuration_v1_apply(configuration);
    const bool ok = dispatchUntil([&answered] { return answered.has_value(); }, reason);
    for (zwlr_output_configuration_head_v1 *head : configured)
        zwlr_output_configuration_head_v1_destroy(head);
    zwlr_output_configuration_v1_destroy(configuration);
    if (!ok)
        return false;
    *answer = *answered;
    return true;
}

bool Session::bindOutputs(QString *reason)
{
    if (m_outputsBound)
        return true;
    m_outputsBound = true;
    m_outputs.reserve(m_outputGlobals.size());
    for (const auto &[name, version] : m_outputGlobals) {
        Output &output = m_outputs.emplace_back();
        output.globalName = name;
        output.proxy = static_cast<wl_output *>(
            wl_registry_bind(m_registry, name, &wl_output_interface, std::min(version, outputVersionWanted)));
    }
    // Listeners only once the list no longer moves.
    for (Output &output : m_outputs)
        wl_output_add_listener(output.proxy, &Events::outputListener, &output);
    return roundtrip(reason);
}

bool Session::bindPower(QString *reason)
{
    if (!bindOutputs(reason))
        return false;
    if (!m_power)
        m_power = static_cast<zwlr_output_power_manager_v1 *>(
            wl_registry_bind(m_registry, m_powerName, &zwlr_output_power_manager_v1_interface, 1));
    return true;
}

bool Session::logicalSizes(QHash<QString, QSize> *sizes, QString *reason)
{
    sizes->clear();
    if (!hasLayout())
        return true;
    if (!m_xdg)
        m_xdg = static_cast<zxdg_output_manager_v1 *>(
            wl_registry_bind(m_registry, m_xdgName, &zxdg_output_manager_v1_interface, m_xdgVersion));
    std::vector<std::unique_ptr<LayoutEntry>> entries = freshOutputs(true);
    bool synced = false;
    wl_callback *callback = wl_display_sync(m_display);
    wl_callback_add_listener(callback, &syncListener, &synced);
    const bool ok = dispatchUntil([&synced] { return synced; }, reason,
                                  [] { return QStringLiteral("tell its layout (xdg-output)"); });
    wl_callback_destroy(callback);
    for (const std::unique_ptr<LayoutEntry> &entry : entries) {
        const QString &name = entry->xdgName.isEmpty() ? entry->outputName : entry->xdgName;
        if (ok && !name.isEmpty() && entry->size.isValid())
            sizes->insert(name, entry->size);
    }
    release(entries);
    return ok;
}

std::vector<std::unique_ptr<LayoutEntry>> Session::freshOutputs(bool layout)
{
    // Bound afresh: each tells its state at once, and a roundtrip after
    // waits for all of it.
    std::vector<std::unique_ptr<LayoutEntry>> entries;
    for (const auto &[name, version] : m_outputGlobals) {
        auto entry = std::make_unique<LayoutEntry>();
        entry->output = static_cast<wl_output *>(
            wl_registry_bind(m_registry, name, &wl_output_interface, std::min(version, outputVersionWanted)));
        wl_output_add_listener(entry->output, &layoutOutputListener, entry.get());
        if (layout) {
            entry->xdg = zxdg_output_manager_v1_get_xdg_output(m_xdg, entry->output);
            zxdg_output_v1_add_listener(entry->xdg, &xdgOutputListener, entry.get());
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

void Session::release(const std::vector<std::unique_ptr<LayoutEntry>> &entries)
{
    for (const std::unique_ptr<LayoutEntry> &entry : entries) {
        if (entry->xdg)
            zxdg_output_v1_destroy(entry->xdg);
        if (versionOf(entry->output) >= WL_OUTPUT_RELEASE_SINCE_VERSION)
            wl_output_release(entry->output);
        else
            wl_output_destroy(entry->output);
    }
}

bool Session::setPower(bool on, QString *reason)
{
    if (!hasPowerManager()) {
        *reason =
            QStringLiteral("the compositor offers no output power management (zwlr_output_power_manager_v1), "
                           "so it cannot switch display power");
        return false;
    }
    if (!bindPower(reason))
        return false;
    const std::vector<std::unique_ptr<PowerState>> states = watchPower(m_power, m_outputs);
    const auto settled = [on](const std::unique_ptr<PowerState> &state) {
        return state->failed || state->on == on;
    };
    const auto allSettled = [&] { return std::all_of(states.begin(), states.end(), settled); };
    // Each power object tells its mode at once; ask only those that differ,
    // then wait until each reports the new mode or fails. sway switches a
    // few frames after the request (13-70 ms measured, answering round
    // trips meanwhile); phoc and wayfire never do. So the wait is short,
    // and a compositor that still answers a round trip once it is over did
    // not take the request.
    bool ok = roundtrip(reason);
    bool unswitched = false;
    if (ok) {
        for (const std::unique_ptr<PowerState> &state : states) {
            if (!settled(state)) {
                zwlr_output_power_v1_set_mode(state->proxy, on ? ZWLR_OUTPUT_POWER_V1_MODE_ON
                                                               : ZWLR_OUTPUT_POWER_V1_MODE_OFF);
            }
        }
        const int timeoutMs = std::exchange(m_timeoutMs, powerTimeoutMs);
        ok = dispatchUntil(allSettled, reason);
        m_timeoutMs = timeoutMs;
        unswitched = !ok && m_timedOut;
        if (unswitched)
            ok = roundtrip(reason);
    }
    QStringList failed, silent;
    for (const std::unique_ptr<PowerState> &state : states) {
        if (state->failed)
            failed.append(outputName(state->name));
        else if (!settled(state))
            silent.append(outputName(state->name));
        zwlr_output_power_v1_destroy(state->proxy);
    }
    wl_display_flush(m_display);
    if (!ok)
        return false;
    failed.sort();
    silent.sort();
    if (!failed.isEmpty())
        *reason = u"the compositor could not switch the power of "_qs + failed.join(u", ");
    if (unswitched)
        *reason = (failed.isEmpty() ? QString() : *reason + "; ") + "the Wayland compositor " +
                  quoted(m_socket) + " answers, but did not switch the power of " + silent.join(u", ") +
                  " within " + QString::number(powerTimeoutMs / 1000) + " s";
    return failed.isEmpty() && !unswitched;
}

} // namespace Dispor::Wayland
