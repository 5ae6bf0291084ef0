#include "output/compositor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QMetaType>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QString service = QStringLiteral("org.lumo.Vantor");

// Connecting to the bus has no time-out of its own: a bus that accepts and
// never answers would hold the run without end.
constexpr int busAnswerSeconds = 3;

// The unix socket of a "unix:path=…" or "unix:abstract=…" address (the
// first such entry); other transports are left to the bus library.
std::optional<sockaddr_un> socketOf(const QByteArray &addresses, socklen_t *length)
{
    for (const QByteArray &address : addresses.split(';')) {
        if (!address.startsWith("unix:"))
            continue;
        for (const QByteArray &pair : address.mid(5).split(',')) {
            const bool abstract = pair.startsWith("abstract=");
            if (!abstract && !pair.startsWith("path="))
                continue;
            const QByteArray path = QByteArray::fromPercentEncoding(pair.mid(pair.indexOf('=') + 1));
            sockaddr_un socket{};
            socket.sun_family = AF_UNIX;
            const size_t offset = abstract ? 1 : 0; // an abstract name starts with a NUL
            if (path.isEmpty() || size_t(path.size()) + offset >= sizeof socket.sun_path)
                return std::nullopt;
            std::memcpy(socket.sun_path + offset, path.constData(), size_t(path.size()));
            *length = socklen_t(offsetof(sockaddr_un, sun_path) + offset + size_t(path.size()) + (abstract ? 0 : 1));
            return socket;
        }
    }
    return std::nullopt;
}

// Whether the session bus answers the first step of its handshake in time;
// an error text when it does not. Whatever it answers is an answer.
QString busSilence()
{
    const QByteArray addresses = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    socklen_t length = 0;
    const std::optional<sockaddr_un> address = socketOf(addresses, &length);
    if (!address)
        return {};
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return {};
    QString silence;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(busAnswerSeconds);
    const auto waitFor = [&](short events) {
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            pollfd p{fd, events, 0};
            const int ready = ::poll(&p, 1, int(std::max<long long>(left, 0)));
            if (ready >= 0 || errno != EINTR)
                return ready > 0;
        }
    };
    // The credentials byte, then the first line of the handshake.
    const QByteArray hello =
        QByteArray(1, '\0') + "AUTH EXTERNAL " + QByteArray::number(::getuid()).toHex() + "\r\n";
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr *>(&*address), length) == 0
        || (errno == EINPROGRESS && waitFor(POLLOUT));
    // A bus that cannot be reached at all is left to the bus library, which
    // says so at once.
    if (connected && ::send(fd, hello.constData(), size_t(hello.size()), MSG_NOSIGNAL) == hello.size()) {
        if (!waitFor(POLLIN))
            silence = QStringLiteral("The session bus did not answer within %1 s").arg(busAnswerSeconds);
    }
    ::close(fd);
    return silence;
}

// Blocks until the reply or the bus's default time-out.
QDBusMessage call(const QString &path, const QString &interface, const QString &method)
{
    static const QString silence = busSilence();
    if (!silence.isEmpty())
        return QDBusMessage::createError(QStringLiteral("org.freedesktop.DBus.Error.Timeout"), silence);
    const QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    return QDBusConnection::sessionBus().call(message);
}

BusReply failure(const QDBusMessage &reply)
{
    QString text = reply.errorMessage();
    if (text.isEmpty())
        text = QStringLiteral("No reply");
    return {false, {}, text};
}

} // namespace

BusReply activeOutputName()
{
    const QDBusMessage reply = call(QStringLiteral("/Vantor"), service, QStringLiteral("activeOutputName"));
    if (reply.type() != QDBusMessage::ReplyMessage)
        return failure(reply);
    const QList<QVariant> arguments = reply.arguments();
    if (arguments.size() != 1 || arguments.first().metaType() != QMetaType::fromType<QString>()) {
        return {false, {},
                QStringLiteral("Unexpected reply signature: got \"%1\", expected \"s\"").arg(reply.signature())};
    }
    return {true, arguments.first().toString(), {}};
}

BusReply showOutputLocator()
{
    const QDBusMessage reply = call(QStringLiteral("/org/lumo/Vantor/Effect/OutputLocator1"),
                                    QStringLiteral("org.lumo.Vantor.Effect.OutputLocator1"), QStringLiteral("show"));
    if (reply.type() != QDBusMessage::ReplyMessage)
        return failure(reply);
    return {true, {}, {}};
}
