// The desktop on an X server: the output under the pointer, and labels
// drawn with the server's core fonts over xcb.

#include "desktop.h"

#include "../text.h"
#include "names.h"

#include <QList>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include <poll.h>

namespace Dispor::X11 {

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

bool outputUnderPointer(Connection &connection, QString *name, QString *why)
{
    xcb_connection_t *c = connection.get();
    const xcb_query_pointer_cookie_t cookie = xcb_query_pointer(c, connection.root());
    ServerState state;
    if (!connection.read(&state, false, why))
        return false;
    const Reply<xcb_query_pointer_reply_t> pointer = reply(xcb_query_pointer_reply(c, cookie, nullptr));
    const QString server = u"the X server "_qs + Dispor::quoted(connection.display());
    if (!pointer) {
        *why = server + " did not tell where the pointer is";
        return false;
    }
    if (!pointer->same_screen) {
        *why = u"the pointer is on another screen of "_qs + server;
        return false;
    }
    // The first CRTC that holds it, by id; of the outputs that share that
    // CRTC, the first by id.
    for (const CrtcState &crtc : std::as_const(state.crtcs)) {
        if (crtc.mode == XCB_NONE || crtc.outputs.isEmpty())
            continue;
        if (pointer->root_x < crtc.x || pointer->root_y < crtc.y || pointer->root_x >= crtc.x + crtc.width ||
            pointer->root_y >= crtc.y + crtc.height)
            continue;
        const xcb_randr_output_t first = *std::min_element(crtc.outputs.cbegin(), crtc.outputs.cend());
        *name = state.outputs.value(first).name;
        return true;
    }
    *why =
        u"the pointer at %1,%2 is over no output of "_qs.arg(pointer->root_x).arg(pointer->root_y) + server;
    return false;
}

namespace {

// Core fonts from large to small; "fixed" is built into every server.
constexpr const char *fonts[] = {
    "-*-*-bold-r-normal--72-*-*-*-*-*-iso10646-1",
    "-*-*-bold-r-normal--48-*-*-*-*-*-iso8859-1",
    "-*-*-bold-r-normal--34-*-*-*-*-*-iso8859-1",
    "-*-*-bold-r-normal--24-*-*-*-*-*-iso8859-1",
    "12x24",
    "10x20",
    "9x15bold",
    "fixed",
};

struct Label {
    xcb_window_t window = XCB_NONE;
    QList<xcb_rectangle_t> text; // the text as filled rectangles
};

class Labels {
public:
    explicit Labels(Connection &connection) : m_connection(connection), m_c(connection.get()) {}
    ~Labels()
    {
        for (const Label &label : std::as_const(m_labels))
            xcb_destroy_window(m_c, label.window);
        if (m_gc)
            xcb_free_gc(m_c, m_gc);
        if (m_font)
            xcb_close_font(m_c, m_font);
        xcb_flush(m_c);
    }
    Labels(const Labels &) = delete;
    Labels &operator=(const Labels &) = delete;

    bool show(const ServerState &state, QString *why)
    {
        const xcb_screen_t *screen = screenOf(m_connection.root());
        if (!screen || !openFont(why))
            return false;
        m_gc = xcb_generate_id(m_c);
        const uint32_t gcValues[] = {screen->white_pixel, screen->black_pixel, m_font};
        xcb_create_gc(m_c, m_gc, m_connection.root(), XCB_GC_FOREGROUND | XCB_GC_BACKGROUND | XCB_GC_FONT,
                      gcValues);
        for (const CrtcState &crtc : std::as_const(state.crtcs)) {
            if (crtc.mode == XCB_NONE || crtc.outputs.isEmpty())
                continue;
            QList<xcb_randr_output_t> outputs = crtc.outputs;
            std::sort(outputs.begin(), outputs.end());
            QStringList names;
            for (const xcb_randr_output_t id : std::as_const(outputs))
                names.append(state.outputs.value(id).name);
            const Timings &timings = state.modes.value(crtc.mode).timings;
            const QList<QByteArray> lines = {names.join(u", ").toLatin1(),
                                             QStringLiteral("%1x%2 @ %3 Hz")
                                                 .arg(timings.width)
                                                 .arg(timings.height)
                                                 .arg(refreshRate(timings), 0, 'f', 2)
                                                 .toLatin1(),
                                             QStringLiteral("at %1,%2").arg(crtc.x).arg(crtc.y).toLatin1()};
            Label label;
            place(screen, crtc, lines, &label, names.join(u", "));
            m_labels.append(label);
        }
        for (const Label &label : std::as_const(m_labels))
            xcb_map_window(m_c, label.window);
        xcb_flush(m_c);
        if (xcb_connection_has_error(m_c)) {
            *why = u"the X server "_qs + Dispor::quoted(m_connection.display()) + " closed the connection";
            return false;
        }
        return true;
    }

    // Redraws what the server asks to be drawn until the time is up.
    bool keep(Clock::time_point until, QString *why)
    {
        const int fd = xcb_get_file_descriptor(m_c);
        for (;;) {
            while (xcb_generic_event_t *event = xcb_poll_for_event(m_c)) {
                if ((event->response_type & 0x7f) == XCB_EXPOSE) {
                    const auto *expose = reinterpret_cast<const xcb_expose_event_t *>(event);
                    if (expose->count == 0)
                        draw(expose->window);
                }
                std::free(event);
            }
            xcb_flush(m_c);
            if (xcb_connection_has_error(m_c)) {
                *why =
                    u"the X server "_qs + Dispor::quoted(m_connection.display()) + " closed the connection";
                return false;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
            if (left <= 0)
                return true;
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, int(left));
        }
    }

private:
    const xcb_screen_t *screenOf(xcb_window_t root) const
    {
        for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_c)); it.rem;
             xcb_screen_next(&it)) {
            if (it.data->root == root)
                return it.data;
        }
        return nullptr;
    }

    bool openFont(QString *why)
    {
        for (const char *name : fonts) {
            const xcb_font_t font = xcb_generate_id(m_c);
            if (xcb_generic_error_t *error = xcb_request_check(
                    m_c, xcb_open_font_checked(m_c, font, uint16_t(std::strlen(name)), name))) {
                std::free(error);
                continue;
            }
            const Reply<xcb_query_font_reply_t> info =
                reply(xcb_query_font_reply(m_c, xcb_query_font(m_c, font), nullptr));
            if (!info) {
                xcb_close_font(m_c, font);
                continue;
            }
            m_font = font;
            m_ascent = info->font_ascent;
            m_descent = info->font_descent;
            return true;
        }
        *why =
            u"the X server "_qs + Dispor::quoted(m_connection.display()) + " has not even the font \"fixed\"";
        return false;
    }

    int textWidth(const QByteArray &line) const
    {
        QList<xcb_char2b_t> chars;
        for (const char ch : line)
            chars.append({0, uint8_t(ch)});
        const Reply<xcb_query_text_extents_reply_t> extents = reply(xcb_query_text_extents_reply(
            m_c, xcb_query_text_extents(m_c, m_font, uint32_t(chars.size()), chars.constData()), nullptr));
        return extents ? extents->overall_width : 0;
    }

    int lineHeight() const { return m_ascent + m_descent; }

    // The lines drawn with the font into a bitmap and read back as filled
    // rectangles, one per run of set pixels: core fonts are bitmaps, often
    // small ones, and so the text can be drawn as large as the output asks.
    QList<xcb_rectangle_t> render(const QList<QByteArray> &lines, QSize *size)
    {
        const xcb_setup_t *setup = xcb_get_setup(m_c);
        const int pad = std::max<int>(setup->bitmap_format_scanline_pad, 8);
        const bool lsb = setup->bitmap_format_bit_order == XCB_IMAGE_ORDER_LSB_FIRST;
        const int height = lineHeight();
        QList<xcb_rectangle_t> rects;
        int widest = 0;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            // ImageText8 takes at most 255 characters.
            const QByteArray text = lines[i].left(255);
            const int width = std::min(textWidth(text), 4096);
            widest = std::max(widest, width);
            if (width <= 0 || height <= 0)
                continue;
            const xcb_pixmap_t bitmap = xcb_generate_id(m_c);
            xcb_create_pixmap(m_c, 1, bitmap, m_connection.root(), uint16_t(width), uint16_t(height));
            const xcb_gcontext_t gc = xcb_generate_id(m_c);
            const uint32_t values[] = {1, 0, m_font};
            xcb_create_gc(m_c, gc, bitmap, XCB_GC_FOREGROUND | XCB_GC_BACKGROUND | XCB_GC_FONT, values);
            xcb_image_text_8(m_c, uint8_t(text.size()), bitmap, gc, 0, int16_t(m_ascent), text.constData());
            const Reply<xcb_get_image_reply_t> image =
                reply(xcb_get_image_reply(m_c,
                                          xcb_get_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, bitmap, 0, 0,
                                                        uint16_t(width), uint16_t(height), 1),
                                          nullptr));
            xcb_free_gc(m_c, gc);
            xcb_free_pixmap(m_c, bitmap);
            if (!image)
                continue;
            const uint8_t *data = xcb_get_image_data(image.get());
            const int length = xcb_get_image_data_length(image.get());
            const int stride = (width + pad - 1) / pad * pad / 8;
            const auto lit = [&](int x, int y) {
                const int at = y * stride + x / 8;
                return at < length && (data[at] >> (lsb ? x % 8 : 7 - x % 8) & 1);
            };
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width;) {
                    if (!lit(x, y)) {
                        ++x;
                        continue;
                    }
                    int end = x;
                    while (end < width && lit(end, y))
                        ++end;
                    rects.append({int16_t(x), int16_t(int(i) * height + y), uint16_t(end - x), 1});
                    x = end;
                }
            }
        }
        *size = QSize(widest, int(lines.size()) * height);
        return rects;
    }

    // Centred on the CRTC's area; each line about a fourteenth of its
    // height, and the text no wider than nine tenths of it.
    void place(const xcb_screen_t *screen, const CrtcState &crtc, const QList<QByteArray> &lines,
               Label *label, const QString &names)
    {
        QSize text;
        label->text = render(lines, &text);
        int zoom = std::max(1, crtc.height / 14 / std::max(1, lineHeight()));
        zoom = std::max(1, std::min(zoom, crtc.width * 9 / 10 / std::max(1, text.width())));
        const int margin = zoom * std::max(4, lineHeight() / 2);
        for (xcb_rectangle_t &r : label->text)
            r = {int16_t(margin + r.x * zoom), int16_t(margin + r.y * zoom), uint16_t(r.width * zoom),
                 uint16_t(r.height * zoom)};
        const int width = std::min<int>(text.width() * zoom + 2 * margin, crtc.width);
        const int height = std::min<int>(text.height() * zoom + 2 * margin, crtc.height);
        const int x = crtc.x + (crtc.width - width) / 2;
        const int y = crtc.y + (crtc.height - height) / 2;
        label->window = xcb_generate_id(m_c);
        const uint32_t values[] = {screen->black_pixel, screen->white_pixel, 1, XCB_EVENT_MASK_EXPOSURE};
        xcb_create_window(
            m_c, XCB_COPY_FROM_PARENT, label->window, screen->root, int16_t(x), int16_t(y),
            uint16_t(std::max(width, 1)), uint16_t(std::max(height, 1)), 2, XCB_WINDOW_CLASS_INPUT_OUTPUT,
            screen->root_visual,
            XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
        // Named, so that the windows can be told apart in a window list.
        const QByteArray title = "dispctl identify: " + names.toUtf8();
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, label->window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            uint32_t(title.size()), title.constData());
    }

    void draw(xcb_window_t window)
    {
        for (const Label &label : std::as_const(m_labels)) {
            if (label.window != window)
                continue;
            // In pieces well below the smallest request limit.
            constexpr qsizetype piece = 4096;
            for (qsizetype at = 0; at < label.text.size(); at += piece) {
                const qsizetype n = std::min(piece, label.text.size() - at);
                xcb_poly_fill_rectangle(m_c, window, m_gc, uint32_t(n), label.text.constData() + at);
            }
        }
    }

    Connection &m_connection;
    xcb_connection_t *m_c;
    xcb_font_t m_font = XCB_NONE;
    xcb_gcontext_t m_gc = XCB_NONE;
    int m_ascent = 0;
    int m_descent = 0;
    QList<Label> m_labels;
};

} // namespace

bool showLabels(Connection &connection, int seconds, QString *why)
{
    ServerState state;
    if (!connection.read(&state, false, why))
        return false;
    const Clock::time_point until = Clock::now() + std::chrono::seconds(seconds);
    Labels labels(connection);
    return labels.show(state, why) && labels.keep(until, why);
}

} // namespace Dispor::X11
