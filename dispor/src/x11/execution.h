#pragma once

#include "plan.h"
#include "server.h"

#include <functional>
#include <memory>

namespace Dispor::X11 {

// Carries out a plan on the server from the state before, step by step,
// and sends back what it did when asked.
class Execution {
public:
    Execution(Connection &connection, const ServerState &before);
    ~Execution();
    Execution(const Execution &) = delete;
    Execution &operator=(const Execution &) = delete;

    // False with the first failure's reason; what was done stays until undo().
    bool run(const Plan &plan, QString *reason);
    // Whether run() sent the server anything that changes it.
    bool sentAnything() const;
    // Sends back what run() changed, so that the server holds the state
    // before again: false with the first refusal's reason. Only a read-back
    // tells whether it holds.
    bool undo(QString *why);

private:
    class Steps;
    std::unique_ptr<Steps> m_steps;
};

// For tests: runs before each step of an apply ("modes", "layout", "primary",
// "properties", "gamma", "removals", "read-back", "undo"); returning false
// fails the apply there, as a refusal of the server would.
void setStepHook(std::function<bool(const char *step)> hook);
// Whether the hook lets the step run; else false with the reason.
bool testStep(const char *step, QString *reason);

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
