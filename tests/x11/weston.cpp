#include "weston.h"

#include <bit>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testbed {

namespace {

void pause()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// The display number whose lock file names pid (the X server's owner
// writes its pid there), or -1.
int displayLockedBy(int pid)
{
    DIR *dir = ::opendir("/tmp");
    if (!dir)
        return -1;
    int number = -1;
    while (const dirent *entry = ::readdir(dir)) {
        int n = -1;
        char rest[8] = {};
        if (std::sscanf(entry->d_name, ".X%d-loc%1s", &n, rest) != 2 || std::strcmp(rest, "k") != 0)
            continue;
        const std::string text = e2e::readFile(std::string("/tmp/") + entry->d_name);
        if (std::atoi(text.c_str()) == pid) {
            number = n;
            break;
        }
    }
    ::closedir(dir);
    return number;
}

// Whether the X server on the socket answers a connection setup (Success,
// Failed or Authenticate) before the deadline.
bool xAnswers(const std::string &socketPath, double deadline)
{
    const int fd = support::connectPath(socketPath);
    if (fd < 0)
        return false;
    uint8_t request[12] = {std::endian::native == std::endian::little ? uint8_t('l') : uint8_t('B'), 0};
    const uint16_t version = 11;
    std::memcpy(request + 2, &version, 2);
    bool answered = false;
    if (::send(fd, request, sizeof request, MSG_NOSIGNAL) == ssize_t(sizeof request)) {
        pollfd pfd{fd, POLLIN, 0};
        const int left = static_cast<int>((deadline - support::now()) * 1000);
        char first;
        answered = left > 0 && ::poll(&pfd, 1, left) > 0 && ::recv(fd, &first, 1, 0) == 1;
    }
    ::close(fd);
    return answered;
}

} // namespace

Weston::Weston(bool xwayland, int timeoutSeconds)
{
    ::chmod(m_dir.path().c_str(), 0700);
    const std::string logFile = m_dir.file("weston.log");
    const std::string out = m_dir.file("weston.out");
    support::Spawn spawn{"weston",
                         {"--backend=headless-backend.so", "--socket=" + m_socket, "--idle-time=0",
                          "--no-config", "--log=" + logFile},
                         support::merged(support::inherited(), {{"XDG_RUNTIME_DIR", m_dir.path()},
                                                                {"WAYLAND_DISPLAY", std::nullopt},
                                                                {"WAYLAND_SOCKET", std::nullopt},
                                                                {"DISPLAY", std::nullopt}})};
    if (xwayland)
        spawn.args.push_back("--xwayland");
    spawn.out = spawn.err = support::Stream::File;
    spawn.file = out;
    m_pid = support::spawn(spawn).pid;

    // Each stage needs the one before: the socket, then the display weston
    // reserved for Xwayland, then Xwayland itself.
    enum Stage { Socket, Lock, Answer, Ready };
    const char *const waits[] = {"the Wayland socket to accept connections",
                                 "an X lock file holding weston's pid",
                                 "Xwayland to answer an X connection setup"};
    const double deadline = support::now() + timeoutSeconds;
    Stage stage = Socket;
    int number = -1;
    while (stage != Ready && support::now() < deadline) {
        if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            throw std::runtime_error("weston exited while starting:\n" + log());
        }
        if (stage == Socket) {
            const int fd = support::connectPath(m_dir.file(m_socket));
            if (fd >= 0) {
                ::close(fd);
                stage = xwayland ? Lock : Ready;
            }
        }
        if (stage == Lock && (number = displayLockedBy(m_pid)) >= 0)
            stage = Answer;
        if (stage == Answer && xAnswers("/tmp/.X11-unix/X" + std::to_string(number), deadline))
            stage = Ready;
        if (stage != Ready)
            pause();
    }
    if (stage != Ready) {
        const std::string text = log();
        stop();
        throw std::runtime_error("weston did not get ready within " + std::to_string(timeoutSeconds) +
                                 " s: waited for " + waits[stage] + "\n" + text);
    }
    if (xwayland)
        m_xDisplay = ":" + std::to_string(number);
}

Weston::~Weston()
{
    stop();
}

void Weston::stop()
{
    if (m_pid <= 0)
        return;
    const int group = m_pid;
    ::kill(-group, SIGTERM);
    // weston stops Xwayland itself on SIGTERM; whatever outlives the bound
    // is killed, the whole group.
    const double deadline = support::now() + 10;
    bool reaped = false;
    while (support::now() < deadline) {
        if (!reaped && ::waitpid(m_pid, nullptr, WNOHANG) == m_pid)
            reaped = true;
        if (reaped && ::kill(-group, 0) != 0 && errno == ESRCH)
            break;
        pause();
    }
    ::kill(-group, SIGKILL);
    if (!reaped)
        ::waitpid(m_pid, nullptr, 0);
    // A killed server leaves its lock file and socket: the next server must
    // not take the number for taken.
    const int number = displayLockedBy(m_pid);
    if (number >= 0) {
        ::unlink(("/tmp/.X11-unix/X" + std::to_string(number)).c_str());
        ::unlink(("/tmp/.X" + std::to_string(number) + "-lock").c_str());
    }
    m_pid = -1;
}

std::string Weston::log() const
{
    return e2e::readFile(m_dir.file("weston.log")) + e2e::readFile(m_dir.file("weston.out"));
}

e2e::Env Weston::env() const
{
    return {{"XDG_RUNTIME_DIR", runtimeDir()},
            {"WAYLAND_DISPLAY", m_socket},
            {"DISPLAY", m_xDisplay.empty() ? std::nullopt : std::optional<std::string>(m_xDisplay)}};
}

} // namespace testbed
