#include "process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace reliability {

namespace {

double now()
{
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

int statusOf(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

// Points fd at what the stream should be, in the child.
void place(Stream stream, int pipeEnd, int fd)
{
    switch (stream) {
    case Stream::Pipe:
        ::dup2(pipeEnd, fd);
        break;
    case Stream::Closed:
        ::close(fd);
        break;
    case Stream::Full: {
        const int full = ::open("/dev/full", O_WRONLY);
        ::dup2(full, fd);
        break;
    }
    }
}

} // namespace

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

std::vector<std::string> environmentFor(const e2e::VirtualSet &set, const e2e::Env &env)
{
    e2e::Env merged = {
        {"PATH", std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"},
        {"HOME", "/nonexistent"},
        {"LC_ALL", "C"},
        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus"},
    };
    for (const char *name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
        if (const char *value = std::getenv(name))
            merged[name] = value;
    }
    for (const auto &[key, value] : set.env())
        merged[key] = value;
    for (const auto &[key, value] : env)
        merged[key] = value;
    std::vector<std::string> result;
    for (const auto &[key, value] : merged) {
        if (value)
            result.push_back(key + "=" + *value);
    }
    return result;
}

Process::Process(const e2e::VirtualSet &set, const Launch &launch, const Gate *gate)
{
    std::signal(SIGPIPE, SIG_IGN);
    int outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
    if ((launch.out == Stream::Pipe && ::pipe2(outPipe, O_CLOEXEC) != 0)
        || (launch.err == Stream::Pipe && ::pipe2(errPipe, O_CLOEXEC) != 0))
        throw std::runtime_error("pipe failed");

    std::vector<std::string> words = launch.wrapper;
    words.push_back(e2e::dispctlBinary());
    words.insert(words.end(), launch.args.begin(), launch.args.end());
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment = environmentFor(set, launch.env);
    std::vector<char *> envp;
    for (std::string &entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    m_pid = ::fork();
    if (m_pid < 0)
        throw std::runtime_error("fork failed");
    if (m_pid == 0) {
        ::setpgid(0, 0);
        if (gate)
            gate->pass();
        const int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, STDIN_FILENO);
        place(launch.out, outPipe[1], STDOUT_FILENO);
        place(launch.err, errPipe[1], STDERR_FILENO);
        // The run gets the three standard streams and nothing else of ours,
        // whatever this process holds open (its limits are counted on it).
        ::close_range(3, ~0U, 0);
        ::execvpe(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    if (outPipe[1] >= 0)
        ::close(outPipe[1]);
    if (errPipe[1] >= 0)
        ::close(errPipe[1]);
    m_out = outPipe[0];
    m_err = errPipe[0];
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
    if (m_pid > 0 && !m_waited)
        ::kill(m_pid, signal);
}

e2e::Result Process::wait(int timeoutSeconds)
{
    e2e::Result result;
    pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
    std::string *sinks[2] = {&result.out, &result.err};
    int open = (m_out >= 0) + (m_err >= 0);
    const double deadline = now() + timeoutSeconds;
    bool timedOut = false;
    while (open > 0) {
        const int left = static_cast<int>((deadline - now()) * 1000);
        if (left <= 0) {
            timedOut = true;
            break;
        }
        if (::poll(fds, 2, left) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[65536];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    // With no pipe to watch, the deadline still holds for the process itself.
    int status = 0;
    for (;;) {
        if (timedOut) {
            ::kill(-m_pid, SIGKILL);
            ::kill(m_pid, SIGKILL);
        }
        const int done = ::waitpid(m_pid, &status, timedOut ? 0 : WNOHANG);
        if (done == m_pid)
            break;
        if (done < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (now() >= deadline)
            timedOut = true;
        else
            ::usleep(1000);
    }
    for (const pollfd &fd : fds) {
        if (fd.fd >= 0)
            ::close(fd.fd);
    }
    m_out = m_err = -1;
    m_waited = true;
    result.status = statusOf(status);
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
