#include "session_bus.h"

#include <QDeadlineTimer>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <optional>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace Dispor {

namespace {

// The first unix socket among the address's transports, else empty.
std::optional<sockaddr_un> unixSocket(const QString &address, socklen_t *length)
{
    for (const QString &transport : address.split(u';', Qt::SkipEmptyParts)) {
        if (!transport.startsWith(u"unix:"))
            continue;
        for (const QString &pair : transport.mid(5).split(u',')) {
            const qsizetype equals = pair.indexOf(u'=');
            const QString key = pair.left(equals);
            if (equals < 0 || (key != u"path" && key != u"abstract"))
                continue;
            const QByteArray value = QByteArray::fromPercentEncoding(pair.mid(equals + 1).toUtf8());
            sockaddr_un socket{};
            socket.sun_family = AF_UNIX;
            const size_t offset = key == u"abstract" ? 1 : 0;
            if (value.size() + offset >= sizeof(socket.sun_path))
                return std::nullopt;
            std::copy(value.begin(), value.end(), socket.sun_path + offset);
            *length = socklen_t(offsetof(sockaddr_un, sun_path) + offset + size_t(value.size())
                                + (offset ? 0 : 1));
            return socket;
        }
    }
    return std::nullopt;
}

// A non-blocking socket whose connection to the address's first unix socket
// has begun: its descriptor; else -1, with the system's reason when the
// connection failed at once, without one when the address names no unix socket.
int connectUnix(const QString &address, QString *failure)
{
    socklen_t length = 0;
    const std::optional<sockaddr_un> socketAddress = unixSocket(address, &length);
    if (!socketAddress)
        return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *failure = QString::fromLocal8Bit(strerror(errno));
        return -1;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&*socketAddress), length) != 0 && errno != EINPROGRESS) {
        *failure = QString::fromLocal8Bit(strerror(errno));
        ::close(fd);
        return -1;
    }
    return fd;
}

// A D-Bus address value: bytes other than these are %-escaped.
QString escapedAddressValue(const QByteArray &value)
{
    QString text;
    for (const char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z')
            || (c && std::strchr("-_/.\\*", c)))
            text += QLatin1Char(c);
        else
            text += QLatin1Char('%') + QString::number(u, 16).rightJustified(2, QLatin1Char('0'));
    }
    return text;
}

} // namespace

QString sessionBusAddress(QString *lookedAt)
{
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty())
        return address;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return {};
    const QByteArray path = runtime + "/bus";
    // As libdbus takes it: followed if a link, a socket, the user's own.
    struct stat status{};
    if (::stat(path.constData(), &status) == 0 && S_ISSOCK(status.st_mode) && status.st_uid == ::getuid())
        return QStringLiteral("unix:path=") + escapedAddressValue(path);
    if (lookedAt)
        *lookedAt = QString::fromLocal8Bit(path);
    return {};
}

QString sessionBusMissing(const QString &shownPath)
{
    QString text = QStringLiteral("DBUS_SESSION_BUS_ADDRESS is not set");
    if (!shownPath.isEmpty())
        text += QStringLiteral(" and there is no bus at ") + shownPath;
    return text;
}

BusProbe sessionBusRefusal(const QString &address)
{
    QString failure;
    const int fd = connectUnix(address, &failure);
    if (fd >= 0)
        ::close(fd);
    return {failure.isEmpty() ? BusProbe::NotProbed : BusProbe::Failed, failure};
}

QString sessionBusUnreachable(const QString &shownAddress, const QString &failure)
{
    return QStringLiteral("cannot connect to the session bus at ") + shownAddress + QStringLiteral(": ") + failure;
}

BusProbe probeSessionBus(const QString &address, int seconds)
{
    QString failure;
    const int fd = connectUnix(address, &failure);
    if (fd < 0)
        return {failure.isEmpty() ? BusProbe::NotProbed : BusProbe::Failed, failure};
    const QDeadlineTimer deadline(seconds * 1000);
    const auto wait = [&](short events) {
        pollfd p{fd, events, 0};
        int ready;
        do
            ready = ::poll(&p, 1, int(deadline.remainingTime()));
        while (ready < 0 && errno == EINTR && !deadline.hasExpired());
        return ready > 0;
    };
    // The credentials byte, then the first line of the handshake.
    const QByteArray hello = QByteArray(1, '\0') + "AUTH EXTERNAL " + QByteArray::number(::getuid()).toHex()
        + "\r\n";
    qsizetype sent = 0;
    while (sent < hello.size() && wait(POLLOUT)) {
        const ssize_t n = ::send(fd, hello.constData() + sent, size_t(hello.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            failure = QString::fromLocal8Bit(strerror(errno));
            break;
        }
        sent += n > 0 ? n : 0;
    }
    QByteArray answer;
    while (failure.isEmpty() && sent == hello.size() && !answer.contains('\n') && wait(POLLIN)) {
        char buffer[256];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            failure = n == 0 ? QStringLiteral("it closed the connection") : QString::fromLocal8Bit(strerror(errno));
            break;
        }
        answer.append(buffer, n > 0 ? n : 0);
    }
    ::close(fd);
    if (answer.contains('\n'))
        return {BusProbe::Answered, {}};
    return {failure.isEmpty() ? BusProbe::Silent : BusProbe::Failed, failure};
}

} // namespace Dispor
