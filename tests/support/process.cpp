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

extern char **environ;

namespace support {

std::ostream &operator<<(std::ostream &os, const Result &result)
{
    return os << "status " << result.status << "\n--- stdout ---\n"
              << result.out << "\n--- stderr ---\n"
              << result.err << "\n---";
}

Env merged(Env base, const Env &top)
{
    for (const auto &[key, value] : top)
        base[key] = value;
    return base;
}

Env inherited()
{
    Env env;
    for (char **entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const size_t equals = text.find('=');
        if (equals != std::string::npos)
            env[text.substr(0, equals)] = text.substr(equals + 1);
    }
    return env;
}

Env testEnvironment()
{
    Env env = {
        {"PATH", std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"},
        {"HOME", "/nonexistent"},
        {"LC_ALL", "C"},
        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus"},
    };
    for (const char *name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
        if (const char *value = std::getenv(name))
            env[name] = value;
    }
    return env;
}

Env pathOnly()
{
    Env env;
    if (const char *path = std::getenv("PATH"))
        env["PATH"] = path;
    return env;
}

namespace {

// Points fd at what the stream should be, in the child.
void place(Stream stream, int pipeEnd, int file, int fd)
{
    switch (stream) {
    case Stream::Pipe:
        ::dup2(pipeEnd, fd);
        break;
    case Stream::Null:
        ::dup2(::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY), fd);
        break;
    case Stream::Closed:
        ::close(fd);
        break;
    case Stream::Full:
        ::dup2(::open("/dev/full", O_WRONLY), fd);
        break;
    case Stream::File:
        ::dup2(file, fd);
        break;
    case Stream::Inherit:
        break;
    }
}

void makePipe(int fds[2])
{
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
}

} // namespace

Child spawn(const Spawn &spawn)
{
    // A reader that went away must not end the test.
    std::signal(SIGPIPE, SIG_IGN);
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    if (spawn.in == Stream::Pipe)
        makePipe(in);
    if (spawn.out == Stream::Pipe)
        makePipe(out);
    if (spawn.err == Stream::Pipe)
        makePipe(err);
    int file = -1;
    if (spawn.out == Stream::File || spawn.err == Stream::File) {
        file = ::open(spawn.file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (file < 0)
            throw std::runtime_error("cannot create " + spawn.file);
    }

    // Everything the child needs is made before the fork.
    std::vector<std::string> words{spawn.program};
    words.insert(words.end(), spawn.args.begin(), spawn.args.end());
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    for (const auto &[key, value] : spawn.env) {
        if (value)
            environment.push_back(key + "=" + *value);
    }
    std::vector<char *> envp;
    for (std::string &entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    const int pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::setpgid(0, 0);
        if (spawn.beforeExec)
            spawn.beforeExec();
        place(spawn.in, in[0], file, STDIN_FILENO);
        place(spawn.out, out[1], file, STDOUT_FILENO);
        place(spawn.err, err[1], file, STDERR_FILENO);
        // dup2 clears close-on-exec, but not when the descriptor is 3 already.
        if (spawn.fd3 == 3)
            ::fcntl(3, F_SETFD, 0);
        else if (spawn.fd3 >= 0)
            ::dup2(spawn.fd3, 3);
        if (spawn.closeOthers)
            ::close_range(spawn.fd3 >= 0 ? 4 : 3, ~0U, 0);
        ::execvpe(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    // Also here, so that the group exists before a stop may need it.
    ::setpgid(pid, pid);
    for (const int fd : {in[0], out[1], err[1], file}) {
        if (fd >= 0)
            ::close(fd);
    }
    return {pid, in[1], out[0], err[0]};
}

double now()
{
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

bool drain(int outFd, int errFd, double deadline, std::string &out, std::string &err)
{
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string *sinks[2] = {&out, &err};
    int open = (outFd >= 0) + (errFd >= 0);
    bool inTime = true;
    while (open > 0) {
        const int left = static_cast<int>((deadline - now()) * 1000);
        if (left <= 0) {
            inTime = false;
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
    for (const pollfd &fd : fds) {
        if (fd.fd >= 0)
            ::close(fd.fd);
    }
    return inTime;
}

std::string readLine(int fd, double timeoutSeconds)
{
    std::string line;
    const double deadline = now() + timeoutSeconds;
    while (true) {
        const int left = static_cast<int>((deadline - now()) * 1000);
        if (left <= 0)
            break;
        pollfd pfd{fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, left);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0)
            continue;
        char c;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || c == '\n')
            break;
        line += c;
    }
    return line;
}

int statusOf(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

int waitStatus(int pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return statusOf(status);
}

void stop(int pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    waitStatus(pid);
}

} // namespace support
