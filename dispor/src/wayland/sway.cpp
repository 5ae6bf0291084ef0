#include "sway.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace Dispor::Wayland {

namespace {

using Clock = std::chrono::steady_clock;

// The i3 IPC framing sway speaks: magic, payload length and message type
// in the host's byte order, then the payload.
constexpr char magic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr size_t headerSize = sizeof magic + 8;
constexpr uint32_t getOutputs = 3;
// A reply listing outputs is a few kilobytes; more is no reply of sway's.
constexpr uint32_t largestReply = 16 << 20;

class Socket {
public:
    explicit Socket(int fd) : m_fd(fd) {}
    ~Socket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

// Milliseconds left, at least 0.
int left(Clock::time_point deadline)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return ms > 0 ? int(ms) : 0;
}

// Waits for the socket to take or give bytes; false when the time is up.
bool await(int fd, short events, Clock::time_point deadline)
{
    pollfd p{fd, events, 0};
    for (;;) {
        const int n = ::poll(&p, 1, left(deadline));
        if (n > 0)
            return true;
        if (n == 0 || errno != EINTR)
            return false;
    }
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

SwayFocus focusedInReply(const QByteArray &payload)
{
    const QJsonDocument document = QJsonDocument::fromJson(payload);
    if (!document.isArray())
        return {{}, u"sway's list of outputs is no JSON array"_qs};
    for (const QJsonValue &value : document.array()) {
        const QJsonObject output = value.toObject();
        if (output.value(u"focused").toBool() && output.value(u"name").isString())
            return {output.value(u"name").toString(), {}};
    }
    return {{}, u"sway reports no output as focused"_qs};
}

SwayFocus swayFocusedOutput(const QByteArray &socketPath, int seconds)
{
    const QString where = u"sway's socket "_qs + QString::fromLocal8Bit(socketPath);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.isEmpty() || size_t(socketPath.size()) >= sizeof address.sun_path)
        return {{}, where + " is no socket path"};
    std::memcpy(address.sun_path, socketPath.constData(), size_t(socketPath.size()));
    const Socket socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (socket.fd() < 0)
        return {{}, u"cannot make a socket: "_qs + errnoText(errno)};
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
    const QString late = where + " did not answer within " + QString::number(seconds) + " s";
    if (::connect(socket.fd(), reinterpret_cast<const sockaddr *>(&address), sizeof address) < 0) {
        if (errno != EAGAIN && errno != EINPROGRESS)
            return {{}, u"cannot connect to "_qs + where + ": " + errnoText(errno)};
        if (!await(socket.fd(), POLLOUT, deadline))
            return {{}, late};
    }

    QByteArray request(magic, sizeof magic);
    const uint32_t header[2] = {0, getOutputs};
    request.append(reinterpret_cast<const char *>(header), sizeof header);
    for (qsizetype sent = 0; sent < request.size();) {
        const ssize_t n =
            ::send(socket.fd(), request.constData() + sent, size_t(request.size() - sent), MSG_NOSIGNAL);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return {{}, u"cannot write to "_qs + where + ": " + errnoText(errno)};
        if (!await(socket.fd(), POLLOUT, deadline))
            return {{}, late};
    }

    // Sway sends nothing unasked on this socket: the first message is the reply.
    QByteArray reply;
    size_t wanted = headerSize;
    bool headerRead = false;
    char buffer[4096];
    while (size_t(reply.size()) < wanted) {
        const ssize_t n =
            ::recv(socket.fd(), buffer, std::min(sizeof buffer, wanted - size_t(reply.size())), 0);
        if (n > 0) {
            reply.append(buffer, n);
        } else if (n == 0) {
            return {{}, where + " closed the connection before its reply was whole"};
        } else if (errno != EAGAIN && errno != EINTR) {
            return {{}, u"cannot read from "_qs + where + ": " + errnoText(errno)};
        } else if (!await(socket.fd(), POLLIN, deadline)) {
            return {{}, late};
        }
        if (!headerRead && size_t(reply.size()) == headerSize) {
            uint32_t fields[2];
            std::memcpy(fields, reply.constData() + sizeof magic, sizeof fields);
            if (std::memcmp(reply.constData(), magic, sizeof magic) != 0 || fields[1] != getOutputs ||
                fields[0] > largestReply)
                return {{}, where + " does not answer as sway does"};
            headerRead = true;
            wanted += fields[0];
        }
    }
    return focusedInReply(reply.mid(headerSize));
}

} // namespace Dispor::Wayland
