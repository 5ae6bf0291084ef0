#include "socket.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
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
