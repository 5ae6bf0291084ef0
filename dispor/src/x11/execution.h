#pragma once

#include "plan.h"
#include "server.h"

#include <functional>
#include <memory>

namespace Dispor::X11 {

// Carries out a plan on the server from the state before, step by step;
// when a step fails, undoes what the earlier ones did.
bool execute(Connection &connection, const ServerState &before, const Plan &plan, QString *reason);

// For tests: runs before each step of an apply ("modes", "layout", "primary",
// "properties", "gamma", "removals"); returning false fails the apply there,
// as a refusal of the server would.
void setStepHook(std::function<bool(const char *step)> hook);

// Holds back SIGINT, SIGTERM, SIGHUP and SIGQUIT while it lives, so that
// the user cannot stop an apply half done: one that comes meanwhile is noted,
// and raised again with the action it had once the hold ends.
class SignalHold {
public:
    SignalHold();
    ~SignalHold();
    SignalHold(const SignalHold &) = delete;
    SignalHold &operator=(const SignalHold &) = delete;

private:
    struct Saved;
    std::unique_ptr<Saved> m_saved;
};

// Holds the server for one apply, so that nobody sees it half changed.
class ServerGrab {
public:
    explicit ServerGrab(xcb_connection_t *c) : m_c(c) { xcb_grab_server(m_c); }
    ~ServerGrab()
    {
        xcb_ungrab_server(m_c);
        xcb_flush(m_c);
    }
    ServerGrab(const ServerGrab &) = delete;
    ServerGrab &operator=(const ServerGrab &) = delete;

private:
    xcb_connection_t *m_c;
};

} // namespace Dispor::X11
