#include "x11_backend.h"

#include "../text.h"

namespace Dispor::X11 {

namespace {

// RandR's notify events on the root window, on a connection of the watch's
// own: the backend's connection reads replies, and events queued there would
// wait for its next request.
class RandrWatch : public Watch {
public:
    RandrWatch(std::unique_ptr<Connection> connection, uint8_t firstEvent)
        : m_connection(std::move(connection)), m_firstEvent(firstEvent)
    {}

    int descriptor() const override { return xcb_get_file_descriptor(m_connection->get()); }

    bool dispatch(bool *changed, QString *reason) override
    {
        *changed = false;
        xcb_connection_t *c = m_connection->get();
        while (xcb_generic_event_t *event = xcb_poll_for_event(c)) {
            const uint8_t type = event->response_type & 0x7f;
            // Screen changes, then CRTC and output changes under one code.
            if (type == m_firstEvent + XCB_RANDR_SCREEN_CHANGE_NOTIFY ||
                type == m_firstEvent + XCB_RANDR_NOTIFY)
                *changed = true;
            std::free(event);
        }
        if (xcb_connection_has_error(c)) {
            *reason = u"the X server "_qs + quoted(m_connection->display()) + " closed the connection";
            return false;
        }
        return true;
    }

private:
    std::unique_ptr<Connection> m_connection;
    uint8_t m_firstEvent;
};

} // namespace

std::unique_ptr<Watch> X11Backend::watch(QString *reason)
{
    std::unique_ptr<Connection> connection = Connection::open(reason);
    if (!connection)
        return {};
    xcb_connection_t *c = connection->get();
    // Known since the connection asked for RandR: no round trip.
    const xcb_query_extension_reply_t *randr = xcb_get_extension_data(c, &xcb_randr_id);
    xcb_randr_select_input(c, connection->root(),
                           XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE |
                               XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE);
    if (xcb_flush(c) <= 0) {
        *reason = u"the X server "_qs + quoted(connection->display()) + " closed the connection";
        return {};
    }
    return std::make_unique<RandrWatch>(std::move(connection), randr->first_event);
}

} // namespace Dispor::X11
