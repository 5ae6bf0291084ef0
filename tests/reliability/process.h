#pragma once

// Starting dispctl with more control than e2e::run gives: several at once
// behind a common gate, killed at a chosen moment, with standard output or
// error closed or on /dev/full, or as another user.

#include "e2e/harness.h"

#include <string>
#include <vector>

namespace reliability {

// What a child's standard output or error is: Pipe, Closed or Full.
using support::Stream;

struct Launch {
    std::vector<std::string> args;
    e2e::Env env;
    Stream out = Stream::Pipe;
    Stream err = Stream::Pipe;
    // Words put before the dispctl binary (setpriv … to change the user).
    std::vector<std::string> wrapper;
};

// Children wait behind the gate until it opens, so that many of them start
// their work at the same moment.
class Gate {
public:
    Gate();
    ~Gate();
    Gate(const Gate &) = delete;
    Gate &operator=(const Gate &) = delete;
    void open();
    // In a child before it waits: drops its copy of the write end and blocks
    // until every copy is gone.
    void pass() const;

private:
    int m_read = -1;
    int m_write = -1;
};

// One run of dispctl on a virtual set.
class Process {
public:
    Process(const e2e::VirtualSet &set, const Launch &launch, const Gate *gate = nullptr);
    ~Process();
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    int pid() const { return m_child.pid; }
    void kill(int signal) const;
    // Collects the output and the status; a run still going after the
    // timeout is killed and its stderr says so.
    e2e::Result wait(int timeoutSeconds = 30);

private:
    support::Child m_child;
    bool m_waited = false;
};

// Runs and waits.
e2e::Result runWith(const e2e::VirtualSet &set, const Launch &launch, int timeoutSeconds = 30);

// A status a crash would give (128 + signal), as text for a failure message.
bool crashed(const e2e::Result &result);

} // namespace reliability
