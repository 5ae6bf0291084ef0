#include "connect.h"

#include "../text.h"

#include <X11/Xauth.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace Dispor::X11 {

namespace {

using Clock = std::chrono::steady_clock;

// How long a server may take to answer a connection setup.
constexpr int answerSeconds = 3;

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

int millisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

// Waits for events on fd until the deadline: false when it passed first.
bool waitFor(int fd, short events, Clock::time_point deadline)
{
    while (true) {
        pollfd pfd{fd, events, 0};
        const int ready = ::poll(&pfd, 1, millisecondsLeft(deadline));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

class Socket {
public:
    Socket() = default;
    explicit Socket(int fd) : m_fd(fd) {}
    ~Socket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Socket(Socket &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Socket &operator=(Socket &&other) noexcept
    {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    int fd() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd = -1;
};

// A socket connected to the address, or none with errno's value in *error
// (ETIMEDOUT when the deadline passed first).
Socket connectTo(const sockaddr *address, socklen_t length, Clock::time_point deadline, int *error)
{
    Socket socket(::socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socket.fd() < 0) {
        *error = errno;
        return {};
    }
    while (::connect(socket.fd(), address, length) != 0) {
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN) {
            // A local listener whose queue is full: it may yet accept.
            if (!millisecondsLeft(deadline)) {
                *error = ETIMEDOUT;
                return {};
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        if (errno != EINPROGRESS) {
            *error = errno;
            return {};
        }
        if (!waitFor(socket.fd(), POLLOUT, deadline)) {
            *error = ETIMEDOUT;
            return {};
        }
        int failure = 0;
        socklen_t size = sizeof failure;
        if (::getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &failure, &size) != 0)
            failure = errno;
        if (failure) {
            *error = failure;
            return {};
        }
        break;
    }
    return socket;
}

// The abstract socket first, then the one in the file system, as X clients
// on Linux try them.
Socket connectLocal(int number, Clock::time_point deadline, int *error)
{
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
    for (const bool abstract : {true, false}) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const size_t offset = abstract ? 1 : 0;
        if (path.size() + offset >= sizeof address.sun_path) {
            *error = ENAMETOOLONG;
            return {};
        }
        std::memcpy(address.sun_path + offset, path.data(), path.size());
        const auto length =
            socklen_t(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
        Socket socket = connectTo(reinterpret_cast<const sockaddr *>(&address), length, deadline, error);
        if (socket.fd() >= 0 || *error == ETIMEDOUT)
            return socket;
    }
    return {};
}

// The lookup runs on the resolver's own thread, so that a slow name server
// cannot hold the caller past the deadline.
struct Lookup {
    std::string host;
    std::string port;
    addrinfo hints{};
    gaicb request{};
};

Socket connectTcp(const std::string &host, int number, Clock::time_point deadline, int *error,
                  QString *lookupFailure)
{
    if (number < 0 || number > 65535 - 6000) {
        *error = EINVAL;
        return {};
    }
    auto *lookup = new Lookup;
    lookup->host =
        host.size() > 2 && host.front() == '[' && host.back() == ']' ? host.substr(1, host.size() - 2) : host;
    lookup->port = std::to_string(6000 + number);
    lookup->hints.ai_family = AF_UNSPEC;
    lookup->hints.ai_socktype = SOCK_STREAM;
    lookup->request.ar_name = lookup->host.c_str();
    lookup->request.ar_service = lookup->port.c_str();
    lookup->request.ar_request = &lookup->hints;
    gaicb *requests[] = {&lookup->request};
    int status = ::getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr);
    if (status == 0) {
        while ((status = ::gai_error(&lookup->request)) == EAI_INPROGRESS) {
            const int left = millisecondsLeft(deadline);
            if (!left)
                break;
            const timespec wait{left / 1000, long(left % 1000) * 1000000};
            ::gai_suspend(requests, 1, &wait);
        }
    }
    if (status == EAI_INPROGRESS && ::gai_cancel(&lookup->request) == EAI_NOTCANCELED) {
        // Still running: the resolver's thread owns the request now.
        *error = ETIMEDOUT;
        return {};
    }
    addrinfo *addresses = lookup->request.ar_result;
    delete lookup;
    if (status == EAI_INPROGRESS || status == EAI_CANCELED) {
        ::freeaddrinfo(addresses);
        *error = ETIMEDOUT;
        return {};
    }
    if (status != 0) {
        *lookupFailure =
            status == EAI_SYSTEM ? errnoText(errno) : QString::fromLocal8Bit(::gai_strerror(status));
        return {};
    }
    Socket socket;
    *error = EHOSTUNREACH;
    for (const addrinfo *a = addresses; a && socket.fd() < 0 && *error != ETIMEDOUT; a = a->ai_next)
        socket = connectTo(a->ai_addr, a->ai_addrlen, deadline, error);
    ::freeaddrinfo(addresses);
    return socket;
}

// The cookie xcb_connect would send for the display on this socket:
// MIT-MAGIC-COOKIE-1 from XAUTHORITY or ~/.Xauthority, found by the peer's
// address (the host's name for a local one) and the display's number.
struct Cookie {
    std::string name;
    std::string data;
};

std::optional<Cookie> cookieFor(int fd, int number)
{
    constexpr unsigned familyInternet = 0, familyInternet6 = 6, familyLocal = 256;
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &length) != 0)
        return std::nullopt;
    unsigned family = familyLocal;
    std::string address;
    if (peer.ss_family == AF_INET6) {
        const in6_addr &a = reinterpret_cast<const sockaddr_in6 *>(&peer)->sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&a)) {
            address.assign(reinterpret_cast<const char *>(&a) + 12, 4);
            if (address != std::string("\x7f\0\0\x01", 4))
                family = familyInternet;
        } else if (!IN6_IS_ADDR_LOOPBACK(&a)) {
            family = familyInternet6;
            address.assign(reinterpret_cast<const char *>(&a), sizeof a);
        }
    } else if (peer.ss_family == AF_INET) {
        const in_addr &a = reinterpret_cast<const sockaddr_in *>(&peer)->sin_addr;
        if (a.s_addr != htonl(INADDR_LOOPBACK)) {
            family = familyInternet;
            address.assign(reinterpret_cast<const char *>(&a), sizeof a);
        }
    } else if (peer.ss_family != AF_UNIX) {
        return std::nullopt;
    }
    if (family == familyLocal) {
        char host[256] = {};
        if (::gethostname(host, sizeof host - 1) != 0)
            return std::nullopt;
        address = host;
    }
    const std::string display = std::to_string(number);
    char magic[] = "MIT-MAGIC-COOKIE-1";
    char *types[] = {magic};
    const int typeLengths[] = {int(sizeof magic - 1)};
    Xauth *entry = ::XauGetBestAuthByAddr(family, unsigned(address.size()), address.data(),
                                          unsigned(display.size()), display.data(), 1, types, typeLengths);
    if (!entry)
        return std::nullopt;
    Cookie cookie{std::string(entry->name, entry->name_length), std::string(entry->data, entry->data_length)};
    ::XauDisposeAuth(entry);
    return cookie;
}

// xcb_connect_to_fd waits for the server's answer without end. Past the
// deadline the socket is shut down under it, which ends that wait.
class Watchdog {
public:
    Watchdog(int fd, Clock::time_point deadline)
        : m_thread([this, fd, deadline] {
              std::unique_lock lock(m_mutex);
              if (!m_wake.wait_until(lock, deadline, [this] { return m_finished; })) {
                  m_fired = true;
                  ::shutdown(fd, SHUT_RDWR);
              }
          })
    {}
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

    // Whether the deadline came first.
    bool finish()
    {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_wake.notify_one();
        m_thread.join();
        return m_fired;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_finished = false;
    bool m_fired = false;
    std::thread m_thread; // last: it uses the others
};

} // namespace

xcb_connection_t *connectWithin(const QString &display, int *screen, QString *reason)
{
    char *host = nullptr;
    int number = 0;
    if (!xcb_parse_display(display.toLocal8Bit().constData(), &host, &number, screen)) {
        *reason = u"DISPLAY "_qs + Dispor::quoted(display) + " does not name an X server";
        return nullptr;
    }
    const std::string hostName = host;
    std::free(host);
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(answerSeconds);
    // Worded only for a failure.
    const auto server = [&display] { return u"the X server "_qs + Dispor::quoted(display); };
    const auto mute = [&server] {
        return server() + " did not answer within " + QString::number(answerSeconds) + " s";
    };
    // A second try for a server that closed the connection in its setup: one
    // that resets when its last client leaves drops a connection that comes
    // in just as it resets.
    xcb_connection_t *connection = nullptr;
    for (int attempt = 0; !connection; ++attempt) {
        int error = 0;
        QString lookupFailure;
        Socket socket = hostName.empty() || hostName == "unix"
                            ? connectLocal(number, deadline, &error)
                            : connectTcp(hostName, number, deadline, &error, &lookupFailure);
        if (socket.fd() < 0) {
            if (!lookupFailure.isEmpty())
                *reason = u"cannot connect to "_qs + server() + ": " + lookupFailure;
            else
                *reason = error == ETIMEDOUT ? mute()
                                             : u"cannot connect to "_qs + server() + ": " + errnoText(error);
            return nullptr;
        }
        std::optional<Cookie> cookie = cookieFor(socket.fd(), number);
        xcb_auth_info_t auth{};
        if (cookie) {
            auth.namelen = int(cookie->name.size());
            auth.name = cookie->name.data();
            auth.datalen = int(cookie->data.size());
            auth.data = cookie->data.data();
        }
        const int fd = socket.release();
        Watchdog watchdog(fd, deadline);
        // Owns the socket from here on, whether it succeeds or not.
        connection = xcb_connect_to_fd(fd, cookie ? &auth : nullptr);
        const bool late = watchdog.finish();
        if (late || xcb_connection_has_error(connection)) {
            xcb_disconnect(connection);
            connection = nullptr;
            if (late || attempt == 1 || !millisecondsLeft(deadline)) {
                *reason = late ? mute() : u"cannot connect to "_qs + server();
                return nullptr;
            }
        }
    }
    return connection;
}

} // namespace Dispor::X11
