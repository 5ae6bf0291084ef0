#include "harness.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char **environ;

namespace e2e {

std::ostream &operator<<(std::ostream &os, const Result &result)
{
    return os << "status " << result.status << "\n--- stdout ---\n"
              << result.out << "\n--- stderr ---\n"
              << result.err << "\n---";
}

TempDir::TempDir()
{
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/dispctl-test-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir()
{
    // Tests may leave read-only entries behind; make them removable first.
    ::nftw(
        m_path.c_str(),
        [](const char *path, const struct stat *st, int type, struct FTW *) {
            if (type == FTW_D || type == FTW_DNR)
                ::chmod(path, st->st_mode | S_IRWXU);
            return 0;
        },
        16, FTW_PHYS);
    ::nftw(
        m_path.c_str(), [](const char *path, const struct stat *, int, struct FTW *) { return ::remove(path); },
        16, FTW_DEPTH | FTW_PHYS);
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::string &path, const std::string &content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

bool fileExists(const std::string &path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

MuteSocket::MuteSocket(const std::string &path)
{
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(m_fd, 16) != 0)
        throw std::runtime_error("cannot make a socket at " + path);
}

MuteSocket::~MuteSocket()
{
    ::close(m_fd);
}

VirtualSet::VirtualSet(const std::string &document) : m_document(m_dir.file("virtual-display.json"))
{
    if (!document.empty())
        write(document);
}

Env VirtualSet::env() const
{
    return {
        {"DISPOR_BACKEND", "virtual"},
        {"DISPOR_VIRTUAL_STATE", m_document},
        {"XDG_RUNTIME_DIR", m_dir.path()},
    };
}

namespace {

std::vector<std::string> buildEnvironment(const Env &env)
{
    Env merged = {
        {"PATH", std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"},
        {"HOME", "/nonexistent"},
        {"LC_ALL", "C"},
        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus"},
    };
    // A sanitizer build's runs report where its test run says.
    for (const char *name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
        if (const char *value = std::getenv(name))
            merged[name] = value;
    }
    for (const auto &[key, value] : env)
        merged[key] = value;
    std::vector<std::string> result;
    for (const auto &[key, value] : merged) {
        if (value)
            result.push_back(key + "=" + *value);
    }
    return result;
}

struct Child {
    int pid = -1;
    int out = -1;
    int err = -1;
    int in = -1;
};

Child spawn(const std::string &program, const std::vector<std::string> &args, const Env &env, bool withInput,
            bool captureErr = true)
{
    int outPipe[2], errPipe[2], inPipe[2] = {-1, -1};
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0
        || (withInput && ::pipe2(inPipe, O_CLOEXEC) != 0))
        throw std::runtime_error("pipe failed");

    std::vector<std::string> environment = buildEnvironment(env);
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (std::string &entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    const int pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::setpgid(0, 0);
        if (withInput) {
            ::dup2(inPipe[0], STDIN_FILENO);
        } else {
            const int null = ::open("/dev/null", O_RDONLY);
            ::dup2(null, STDIN_FILENO);
        }
        ::dup2(outPipe[1], STDOUT_FILENO);
        if (captureErr)
            ::dup2(errPipe[1], STDERR_FILENO);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    Child child{pid, outPipe[0], errPipe[0], -1};
    if (withInput) {
        ::close(inPipe[0]);
        child.in = inPipe[1];
    }
    return child;
}

double now()
{
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

int waitStatus(int pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

void stop(int pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    waitStatus(pid);
}

} // namespace

Result runProgram(const std::string &program, const std::vector<std::string> &args, const Env &env,
                  const std::optional<std::string> &input, int timeoutSeconds)
{
    std::signal(SIGPIPE, SIG_IGN);
    Child child = spawn(program, args, env, input.has_value());
    if (input) {
        size_t done = 0;
        while (done < input->size()) {
            const ssize_t n = ::write(child.in, input->data() + done, input->size() - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        ::close(child.in);
    }

    Result result;
    pollfd fds[2] = {{child.out, POLLIN, 0}, {child.err, POLLIN, 0}};
    std::string *sinks[2] = {&result.out, &result.err};
    int open = 2;
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
    if (timedOut)
        ::kill(-child.pid, SIGKILL);
    for (const pollfd &fd : fds) {
        if (fd.fd >= 0)
            ::close(fd.fd);
    }
    result.status = waitStatus(child.pid);
    if (timedOut)
        result.err += "\n[harness: timed out]";
    return result;
}

std::string dispctlBinary()
{
    return DISPCTL_BINARY;
}

Result run(const VirtualSet &set, const std::vector<std::string> &args, const Env &env)
{
    Env merged = set.env();
    for (const auto &[key, value] : env)
        merged[key] = value;
    return runProgram(dispctlBinary(), args, merged);
}

Result run(const VirtualSet &set, const SessionBus &bus, const std::vector<std::string> &args, const Env &env)
{
    Env merged = {{"DBUS_SESSION_BUS_ADDRESS", bus.address()}};
    for (const auto &[key, value] : env)
        merged[key] = value;
    return run(set, args, merged);
}

namespace {

// Reads one line from fd, waiting at most timeoutSeconds.
std::string readLine(int fd, int timeoutSeconds)
{
    std::string line;
    const double deadline = now() + timeoutSeconds;
    while (true) {
        const int left = static_cast<int>((deadline - now()) * 1000);
        if (left <= 0)
            break;
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, left) <= 0)
            continue;
        char c;
        const ssize_t n = ::read(fd, &c, 1);
        if (n <= 0)
            break;
        if (c == '\n')
            return line;
        line += c;
    }
    return line;
}

} // namespace

SessionBus::SessionBus()
{
    const std::string config = m_dir.file("bus.conf");
    writeFile(config, "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                      " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                      "<busconfig>\n"
                      "  <type>session</type>\n"
                      "  <listen>unix:path="
                          + m_dir.file("bus")
                          + "</listen>\n"
                            "  <policy context=\"default\">\n"
                            "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                            "    <allow eavesdrop=\"true\"/>\n"
                            "    <allow own=\"*\"/>\n"
                            "  </policy>\n"
                            "</busconfig>\n");
    Child child = spawn("/usr/bin/dbus-daemon", {"--config-file=" + config, "--nofork", "--print-address=1"}, {},
                        false, false);
    m_pid = child.pid;
    ::close(child.err);
    m_address = readLine(child.out, 10);
    ::close(child.out);
    if (m_address.empty())
        throw std::runtime_error("dbus-daemon did not start");
}

SessionBus::~SessionBus()
{
    stop(m_pid);
}

Compositor::Compositor(const SessionBus &bus, const std::vector<std::string> &arguments)
{
    Child child = spawn(FAKE_VANTOR_BINARY, arguments, {{"DBUS_SESSION_BUS_ADDRESS", bus.address()}}, false, false);
    m_pid = child.pid;
    ::close(child.err);
    const std::string line = readLine(child.out, 10);
    ::close(child.out);
    if (line != "ready")
        throw std::runtime_error("fake-vantor did not start: " + line);
}

Compositor::~Compositor()
{
    stop(m_pid);
}

} // namespace e2e
