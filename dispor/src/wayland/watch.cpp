// The change watch: a connection of its own, kept open, whose output
// manager tells each new state with done.

#include "../text.h"
#include "library_log.h"
#include "wayland_backend.h"

#include <wayland-client.h>

#include <cerrno>

#include <poll.h>

namespace Dispor::Wayland {

namespace {

class OutputsWatch : public Watch {
public:
    explicit OutputsWatch(std::unique_ptr<Session> session) : m_session(std::move(session)) {}

    int descriptor() const override { return m_session->descriptor(); }

    bool dispatch(bool *changed, QString *reason) override
    {
        // The first done, awaited before the watch began, was the state it
        // started from.
        const uint64_t before = m_session->announced();
        *changed = false;
        if (!m_session->takeEvents(reason) || !m_session->managing(reason))
            return false;
        *changed = m_session->announced() > before;
        return true;
    }

private:
    std::unique_ptr<Session> m_session;
};

} // namespace

std::unique_ptr<Watch> WaylandBackend::watch(QString *reason)
{
    std::unique_ptr<Session> session = Session::open(reason);
    if (!session || !session->update(reason))
        return {};
    return std::make_unique<OutputsWatch>(std::move(session));
}

int Session::descriptor() const
{
    return wl_display_get_fd(m_display);
}

QString Session::lost() const
{
    // Closed by the compositor, as it does when it ends: said plainly.
    const int error = wl_display_get_error(m_display);
    if (error == EPIPE || error == ECONNRESET) {
        LibraryLog::take();
        return u"the Wayland compositor "_qs + quoted(m_socket) + " went away";
    }
    return connectionError();
}

bool Session::takeEvents(QString *reason)
{
    const LibraryLog log;
    while (wl_display_prepare_read(m_display) != 0) {
        if (wl_display_dispatch_pending(m_display) < 0) {
            *reason = lost();
            return false;
        }
    }
    // Only what is there: the event loop wakes this when the descriptor is
    // readable, and a wake without anything to read is no reason to wait.
    pollfd in{wl_display_get_fd(m_display), POLLIN, 0};
    if (::poll(&in, 1, 0) <= 0) {
        wl_display_cancel_read(m_display);
    } else if (wl_display_read_events(m_display) < 0) {
        *reason = lost();
        return false;
    }
    if (wl_display_dispatch_pending(m_display) < 0 || (wl_display_flush(m_display) < 0 && errno != EAGAIN)) {
        *reason = lost();
        return false;
    }
    return true;
}

} // namespace Dispor::Wayland
