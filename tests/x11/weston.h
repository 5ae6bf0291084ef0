#pragma once

// weston on its headless backend with Xwayland, for tests that need a Wayland
// desktop whose X server is Xwayland (weston offers no wlroots output
// management). Each instance runs in a fresh 0700 XDG_RUNTIME_DIR and is
// stopped by its process group, Xwayland included.
//
// Needs weston and Xwayland on PATH; depends only on tests/e2e/harness.h.

#include "e2e/harness.h"

#include <string>

namespace testbed {

class Weston {
public:
    // Starts weston and waits until its Wayland socket accepts connections and,
    // with xwayland, its Xwayland server answers an X connection setup
    // (Xwayland starts on the first X client; this makes it start). Throws
    // std::runtime_error naming what it waited for, with weston's log, when
    // that takes longer than timeoutSeconds.
    explicit Weston(bool xwayland = true, int timeoutSeconds = 20);
    // SIGTERM to the group, then SIGKILL if it outlives a bound; removes an
    // X lock file and socket the group left behind.
    ~Weston();
    Weston(const Weston &) = delete;
    Weston &operator=(const Weston &) = delete;

    // The WAYLAND_DISPLAY name (a socket in runtimeDir()).
    const std::string &waylandDisplay() const { return m_socket; }
    const std::string &runtimeDir() const { return m_dir.path(); }
    // Xwayland's DISPLAY, ":N"; empty without Xwayland.
    const std::string &xDisplay() const { return m_xDisplay; }
    int pid() const { return m_pid; }
    // weston's log and its standard streams so far.
    std::string log() const;

    // The environment a client of this desktop gets: XDG_RUNTIME_DIR,
    // WAYLAND_DISPLAY and DISPLAY.
    e2e::Env env() const;

private:
    void stop();

    e2e::TempDir m_dir;
    std::string m_socket = "wayland-w";
    std::string m_xDisplay;
    int m_pid = -1;
};

} // namespace testbed
