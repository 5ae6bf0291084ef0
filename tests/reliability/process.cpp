#include "process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace reliability {

Gate::Gate()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    m_read = fds[0];
    m_write = fds[1];
}

Gate::~Gate()
{
    open();
    ::close(m_read);
}

void Gate::open()
{
    if (m_write >= 0)
        ::close(m_write);
    m_write = -1;
}

void Gate::pass() const
{
    // Every child holds a copy of the write end until it drops it here; the
    // gate opens when the parent drops the last one.
    if (m_write >= 0)
        ::close(m_write);
    char byte;
    while (::read(m_read, &byte, 1) < 0 && errno == EINTR) {
    }
}

Process::Process(const e2e::VirtualSet &set, const Launch &launch, const Gate *gate)
{
    std::vector<std::string> words = launch.wrapper;
    words.push_back(e2e::dispctlBinary());
    words.insert(words.end(), launch.args.begin(), launch.args.end());
    support::Spawn spawn;
    spawn.program = words.front();
    spawn.args.assign(words.begin() + 1, words.end());
    spawn.env = support::merged(support::merged(support::testEnvironment(), set.env()), launch.env);
    spawn.out = launch.out;
    spawn.err = launch.err;
    // The run gets the three standard streams and nothing else of ours,
    // whatever this process holds open (its limits are counted on it).
    spawn.closeOthers = true;
    if (gate)
        spawn.beforeExec = [gate] { gate->pass(); };
    m_child = support::spawn(spawn);
}

Process::~Process()
{
    if (!m_waited) {
        kill(SIGKILL);
        wait(5);
    }
}

void Process::kill(int signal) const
{
    if (m_child.pid > 0 && !m_waited)
        ::kill(m_child.pid, signal);
}

e2e::Result Process::wait(int timeoutSeconds)
{
    e2e::Result result;
    const double deadline = support::now() + timeoutSeconds;
    bool timedOut = !support::drain(m_child.out, m_child.err, deadline, result.out, result.err);
    // With no pipe to watch, the deadline still holds for the process itself.
    int status = 0;
    for (;;) {
        if (timedOut) {
            ::kill(-m_child.pid, SIGKILL);
            ::kill(m_child.pid, SIGKILL);
        }
        const int done = ::waitpid(m_child.pid, &status, timedOut ? 0 : WNOHANG);
        if (done == m_child.pid)
            break;
        if (done < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (support::now() >= deadline)
            timedOut = true;
        else
            ::usleep(1000);
    }
    m_child.out = m_child.err = -1;
    m_waited = true;
    result.status = support::statusOf(status);
    if (timedOut)
        result.err += "\n[reliability: timed out]";
    return result;
}

e2e::Result runWith(const e2e::VirtualSet &set, const Launch &launch, int timeoutSeconds)
{
    Process process(set, launch);
    return process.wait(timeoutSeconds);
}

bool crashed(const e2e::Result &result)
{
    return result.status < 0 || result.status >= 128;
}

} // namespace reliability
