#include "socket.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace support {

namespace {

bool addressOf(const std::string &path, sockaddr_un &address)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

} // namespace

MuteSocket::MuteSocket(const std::string &path) : m_path(path)
{
    sockaddr_un address;
    if (!addressOf(path, address))
        throw std::runtime_error("socket path too long: " + path);
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(m_fd, 16) != 0) {
        const std::string why = std::strerror(errno);
        if (m_fd >= 0)
            ::close(m_fd);
        throw std::runtime_error("cannot listen on " + path + ": " + why);
    }
}

MuteSocket::~MuteSocket()
{
    ::close(m_fd);
    ::unlink(m_path.c_str());
}

namespace {

int listenOn(const std::string &path)
{
    sockaddr_un address;
    if (!addressOf(path, address))
        throw std::runtime_error("socket path too long: " + path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0) {
        const std::string why = std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        throw std::runtime_error("cannot listen on " + path + ": " + why);
    }
    return fd;
}

bool writeAll(int fd, const std::string &bytes)
{
    for (size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return true;
}

// Reads until the bytes read end with the text; false at the end.
bool readUntil(int fd, const std::string &text)
{
    std::string seen;
    char c;
    while (::read(fd, &c, 1) == 1) {
        seen += c;
        if (seen.size() >= text.size() && seen.compare(seen.size() - text.size(), text.size(), text) == 0)
            return true;
    }
    return false;
}

void serve(int fd, FakeBus::Fault fault)
{
    using Fault = FakeBus::Fault;
    if (fault == Fault::FloodsTheHandshake) {
        const std::string junk(4096, 'x');
        while (writeAll(fd, junk)) {
        }
        return;
    }
    if (!readUntil(fd, "\r\n") || !writeAll(fd, "OK 0123456789abcdef0123456789abcdef\r\n"))
        return;
    if (fault == Fault::HugeHelloReply && readUntil(fd, "Hello")) {
        // A method return (type 2) to serial 1 with a body of 128 MiB,
        // in this machine's byte order, then that body, slowly.
        std::string header = {'l', 2, 0, 1};
        const uint32_t words[] = {128u << 20, 1, 8};
        header.append(reinterpret_cast<const char *>(words), sizeof words);
        const char serial[] = {5, 1, 'u', 0, 1, 0, 0, 0};
        header.append(serial, sizeof serial);
        if (!writeAll(fd, header))
            return;
        const std::string zeros(4096, '\0');
        while (writeAll(fd, zeros))
            ::usleep(1000);
        return;
    }
    // Stuck: takes what comes and never answers.
    char buffer[4096];
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
}

} // namespace

FakeBus::FakeBus(const std::string &path, Fault fault) : m_path(path)
{
    const int listener = listenOn(path);
    m_pid = ::fork();
    if (m_pid < 0) {
        ::close(listener);
        throw std::runtime_error("cannot fork the fake bus");
    }
    if (m_pid == 0) {
        ::setpgid(0, 0);
        // Gone with the test, whatever becomes of it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::signal(SIGCHLD, SIG_IGN);
        for (;;) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            if (::fork() == 0) {
                serve(fd, fault);
                ::_exit(0);
            }
            ::close(fd);
        }
    }
    ::setpgid(m_pid, m_pid);
    ::close(listener);
}

FakeBus::~FakeBus()
{
    ::kill(-m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    ::unlink(m_path.c_str());
}

int connectPath(const std::string &path)
{
    sockaddr_un address;
    if (!addressOf(path, address))
        return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace support
