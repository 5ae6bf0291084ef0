#include "surface.h"

#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

#include <wayland-client.h>

namespace Dispor::Labels {

struct SurfaceEvents {
    static Surface *surface(void *data) { return static_cast<Surface *>(data); }

    static constexpr zwlr_layer_surface_v1_listener layerListener = {
        .configure =
            [](void *data, zwlr_layer_surface_v1 *, uint32_t serial, uint32_t width, uint32_t height) {
                surface(data)->configure(serial, QSize(int(width), int(height)));
            },
        .closed = [](void *data, zwlr_layer_surface_v1 *) { surface(data)->m_closed = true; },
    };

    static constexpr xdg_surface_listener xdgSurfaceListener = {
        .configure = [](void *data, xdg_surface *,
                        uint32_t serial) { surface(data)->configure(serial, surface(data)->m_offered); },
    };

    static constexpr xdg_toplevel_listener toplevelListener = {
        .configure = [](void *data, xdg_toplevel *, int32_t width, int32_t height,
                        wl_array *) { surface(data)->m_offered = QSize(width, height); },
        .close = [](void *data, xdg_toplevel *) { surface(data)->m_closed = true; },
        .configure_bounds = [](void *, xdg_toplevel *, int32_t, int32_t) {},
        .wm_capabilities = [](void *, xdg_toplevel *, wl_array *) {},
    };
};

Surface::Surface(Connection &connection, const Screen &screen, Typeface &typeface, QStringList lines,
                 Look look)
    : m_connection(connection), m_typeface(typeface), m_lines(std::move(lines)), m_look(look),
      m_output(screen.size()), m_scale(screen.scale)
{
    m_surface = wl_compositor_create_surface(connection.compositor());
    // An empty input region: pointer and touch pass through to what is below.
    wl_region *nothing = wl_compositor_create_region(connection.compositor());
    wl_surface_set_input_region(m_surface, nothing);
    wl_region_destroy(nothing);
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy *>(m_surface)) >=
        WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION)
        wl_surface_set_buffer_scale(m_surface, m_scale);
    else
        m_scale = 1;
    if (connection.layerShell()) {
        m_layer =
            zwlr_layer_shell_v1_get_layer_surface(connection.layerShell(), m_surface, screen.output,
                                                  ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "dispctl-identify");
        zwlr_layer_surface_v1_add_listener(m_layer, &SurfaceEvents::layerListener, this);
        // No anchor: centred on the output, over whatever else reserves space.
        zwlr_layer_surface_v1_set_size(m_layer, uint32_t(m_look.box.width()), uint32_t(m_look.box.height()));
        zwlr_layer_surface_v1_set_exclusive_zone(m_layer, -1);
        zwlr_layer_surface_v1_set_keyboard_interactivity(m_layer,
                                                         ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
    } else {
        m_xdgSurface = xdg_wm_base_get_xdg_surface(connection.wmBase(), m_surface);
        xdg_surface_add_listener(m_xdgSurface, &SurfaceEvents::xdgSurfaceListener, this);
        m_toplevel = xdg_surface_get_toplevel(m_xdgSurface);
        xdg_toplevel_add_listener(m_toplevel, &SurfaceEvents::toplevelListener, this);
        // Named, so that the windows can be told apart in a window list.
        xdg_toplevel_set_title(m_toplevel, ("dispctl identify: " + screen.name()).toUtf8().constData());
        xdg_toplevel_set_app_id(m_toplevel, "dispctl");
        xdg_toplevel_set_fullscreen(m_toplevel, screen.output);
    }
    // The first commit, without a buffer, asks for the first configure.
    wl_surface_commit(m_surface);
}

Surface::~Surface()
{
    if (m_layer)
        zwlr_layer_surface_v1_destroy(m_layer);
    if (m_toplevel)
        xdg_toplevel_destroy(m_toplevel);
    if (m_xdgSurface)
        xdg_surface_destroy(m_xdgSurface);
    wl_surface_destroy(m_surface);
}

void Surface::configure(uint32_t serial, QSize size)
{
    if (m_layer)
        zwlr_layer_surface_v1_ack_configure(m_layer, serial);
    else
        xdg_surface_ack_configure(m_xdgSurface, serial);
    // A dimension left to the surface: the frame's for a layer, the
    // output's for a window.
    const QSize own = m_layer ? m_look.box : m_output;
    const QSize wanted(size.width() > 0 ? size.width() : own.width(),
                       size.height() > 0 ? size.height() : own.height());
    if (m_drawn && wanted == m_size) {
        wl_surface_commit(m_surface);
        return;
    }
    std::optional<Picture> picture =
        draw(m_typeface, m_lines, m_look, wanted.expandedTo(QSize(1, 1)), m_scale, &m_failure);
    std::unique_ptr<Buffer> buffer =
        picture ? Buffer::create(m_connection.shm(), *picture, &m_failure) : nullptr;
    if (!buffer)
        return;
    wl_surface_attach(m_surface, buffer->get(), 0, 0);
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy *>(m_surface)) >=
        WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION)
        wl_surface_damage_buffer(m_surface, 0, 0, picture->width, picture->height);
    else
        wl_surface_damage(m_surface, 0, 0, wanted.width(), wanted.height());
    wl_surface_commit(m_surface);
    m_buffers.push_back(std::move(buffer));
    m_size = wanted;
    m_drawn = true;
}

} // namespace Dispor::Labels
