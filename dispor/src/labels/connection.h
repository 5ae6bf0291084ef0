#pragma once

#include <QSize>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct wl_compositor;
struct wl_display;
struct wl_output;
struct wl_registry;
struct wl_shm;
struct xdg_wm_base;
struct zwlr_layer_shell_v1;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;

namespace Dispor::Labels {

using Clock = std::chrono::steady_clock;

// An output as a label needs it.
struct Screen {
    uint32_t globalName = 0;
    wl_output *output = nullptr;
    zxdg_output_v1 *xdg = nullptr;
    QString outputName; // wl_output version 4
    QString xdgName;    // xdg-output version 2
    QSize logicalSize;  // xdg-output
    QSize modeSize;     // wl_output's current mode, in pixels
    int scale = 1;      // wl_output's

    QString name() const { return xdgName.isEmpty() ? outputName : xdgName; }
    // In the compositor's logical pixels: xdg-output's, else the mode's by
    // the scale.
    QSize size() const { return logicalSize.isValid() ? logicalSize : modeSize / scale; }
};

// A connection of the labels' own to a compositor, its globals, and its
// outputs with their names and sizes.
class Connection {
public:
    // Connected, the globals bound and the outputs told; null with a
    // one-line reason.
    static std::unique_ptr<Connection> open(const QString &display, QString *why);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    wl_display *display() const { return m_display; }
    wl_compositor *compositor() const { return m_compositor; }
    wl_shm *shm() const { return m_shm; }
    zwlr_layer_shell_v1 *layerShell() const { return m_layerShell; }
    xdg_wm_base *wmBase() const { return m_wmBase; }
    const std::vector<std::unique_ptr<Screen>> &screens() const { return m_screens; }

    // Dispatches until done() is true, false with a reason when the
    // connection breaks or the deadline passes first: then the compositor
    // "did not " + awaited, where awaited is set.
    bool dispatchUntil(const std::function<bool()> &done, Clock::time_point deadline, const QString &awaited,
                       QString *why);
    // Until the compositor has handled every request sent so far.
    bool roundtrip(QString *why);
    // How long the compositor may take to answer.
    static constexpr std::chrono::seconds answerTime{10};

private:
    Connection() = default;

    QString connectionError() const;

    friend struct Globals;

    QString m_socket;
    wl_display *m_display = nullptr;
    wl_registry *m_registry = nullptr;
    wl_compositor *m_compositor = nullptr;
    wl_shm *m_shm = nullptr;
    zwlr_layer_shell_v1 *m_layerShell = nullptr;
    xdg_wm_base *m_wmBase = nullptr;
    zxdg_output_manager_v1 *m_xdgOutputs = nullptr;
    std::vector<std::unique_ptr<Screen>> m_screens;
};

} // namespace Dispor::Labels
