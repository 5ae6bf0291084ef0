#pragma once

#include "buffer.h"
#include "connection.h"
#include "look.h"

#include <QSize>
#include <QStringList>

#include <memory>
#include <vector>

struct wl_surface;
struct xdg_surface;
struct xdg_toplevel;
struct zwlr_layer_surface_v1;

namespace Dispor::Labels {

// One label on one output: a layer-shell surface on the overlay layer,
// centred, where the compositor offers layer-shell, else an xdg-shell
// window made fullscreen on the output. Neither takes input. Drawn anew at
// each size the compositor gives it.
class Surface {
public:
    Surface(Connection &connection, const Screen &screen, Typeface &typeface, QStringList lines, Look look);
    ~Surface();
    Surface(const Surface &) = delete;
    Surface &operator=(const Surface &) = delete;

    // Drawn at the size the compositor last gave it.
    bool drawn() const { return m_drawn; }
    // The compositor closed it (its output went, or the user closed the
    // window): nothing to wait for any longer.
    bool closed() const { return m_closed; }
    // Why the last drawing failed; empty while none did.
    const QString &failure() const { return m_failure; }

private:
    friend struct SurfaceEvents;

    // Acknowledges the configure of serial and draws at size (logical
    // pixels; 0 in a dimension: the surface's own choice).
    void configure(uint32_t serial, QSize size);

    Connection &m_connection;
    Typeface &m_typeface;
    const QStringList m_lines;
    const Look m_look;
    const QSize m_output; // the output's logical size
    int m_scale;          // the output's, where the surface can take it
    wl_surface *m_surface = nullptr;
    zwlr_layer_surface_v1 *m_layer = nullptr;
    xdg_surface *m_xdgSurface = nullptr;
    xdg_toplevel *m_toplevel = nullptr;
    QSize m_offered; // the toplevel's last configured size
    QSize m_size;    // as drawn
    // Every buffer attached: the compositor may still read an earlier one.
    std::vector<std::unique_ptr<Buffer>> m_buffers;
    bool m_drawn = false;
    bool m_closed = false;
    QString m_failure;
};

} // namespace Dispor::Labels
