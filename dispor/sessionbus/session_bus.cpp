#include "session_bus.h"

#include <QDeadlineTimer>
#include <QStringList>
#include <QtEndian>

#include <algorithm>
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
            *length =
                socklen_t(offsetof(sockaddr_un, sun_path) + offset + size_t(value.size()) + (offset ? 0 : 1));
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
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&*socketAddress), length) != 0 &&
        errno != EINPROGRESS) {
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
        if ((u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
            (c && std::strchr("-_/.\\*", c)))
            text += QLatin1Char(c);
        else
            text += QLatin1Char('%') + QString::number(u, 16).rightJustified(2, QLatin1Char('0'));
    }
    return text;
}

} // namespace

QString sessionBusAddress(QString *lookedAt, UsersBus *why)
{
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty())
        return address;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return {};
    const QByteArray path = runtime + "/bus";
    if (lookedAt)
        *lookedAt = QString::fromLocal8Bit(path);
    // A relative one would name another place in every working directory.
    if (!runtime.startsWith('/')) {
        if (why)
            *why = UsersBus::RelativeRuntime;
        return {};
    }
    // As libdbus takes it: followed if a link, a socket, the user's own.
    struct stat status {};
    const bool socket = ::stat(path.constData(), &status) == 0 && S_ISSOCK(status.st_mode);
    if (socket && status.st_uid == ::getuid()) {
        if (lookedAt)
            lookedAt->clear();
        return QStringLiteral("unix:path=") + escapedAddressValue(path);
    }
    if (why)
        *why = socket ? UsersBus::OtherUsers : UsersBus::Missing;
    return {};
}

QString sessionBusMissing(const QString &shownPath, UsersBus why)
{
    QString text = QStringLiteral("DBUS_SESSION_BUS_ADDRESS is not set");
    if (shownPath.isEmpty())
        return text;
    switch (why) {
    case UsersBus::Missing:
        return text + QStringLiteral(" and there is no bus at ") + shownPath;
    case UsersBus::OtherUsers:
        return text + QStringLiteral(" and the bus at ") + shownPath +
               QStringLiteral(" belongs to another user");
    case UsersBus::RelativeRuntime:
        return text + QStringLiteral(" and XDG_RUNTIME_DIR is not an absolute path");
    }
    return text;
}

QString sessionBusUnreachable(const QString &shownAddress, const QString &failure)
{
    return QStringLiteral("cannot connect to the session bus at ") + shownAddress + QStringLiteral(": ") +
           failure;
}

namespace {

// One exchange with the bus on a non-blocking socket, bounded by a deadline.
class Exchange {
public:
    Exchange(int fd, int seconds) : m_fd(fd), m_deadline(seconds * 1000) {}
    ~Exchange() { ::close(m_fd); }
    Exchange(const Exchange &) = delete;
    Exchange &operator=(const Exchange &) = delete;

    bool send(const QByteArray &bytes)
    {
        qsizetype sent = 0;
        while (sent < bytes.size() && wait(POLLOUT)) {
            const ssize_t n =
                ::send(m_fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                failure = QString::fromLocal8Bit(strerror(errno));
                return false;
            }
            sent += n > 0 ? n : 0;
        }
        return sent == bytes.size();
    }

    // Appends what arrives to received; false at the end, a failure, the
    // deadline, or once more came than any answer here can be.
    bool receive()
    {
        if (received.size() >= maximumBusAnswer) {
            failure = u"it sent more than "_qs + QString::number(maximumBusAnswer / 1024) +
                      " KiB where a short answer was due";
            return false;
        }
        if (!wait(POLLIN))
            return false;
        char buffer[512];
        const ssize_t n =
            ::recv(m_fd, buffer, std::min(sizeof buffer, size_t(maximumBusAnswer - received.size())), 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            failure =
                n == 0 ? QStringLiteral("it closed the connection") : QString::fromLocal8Bit(strerror(errno));
            return false;
        }
        received.append(buffer, n > 0 ? n : 0);
        return true;
    }

    // The first line of the authentication: the credentials byte, then
    // AUTH EXTERNAL with the user's id; true once the bus has answered.
    bool authenticate()
    {
        const QByteArray hello =
            QByteArray(1, '\0') + "AUTH EXTERNAL " + QByteArray::number(::getuid()).toHex() + "\r\n";
        if (!send(hello))
            return false;
        while (!received.contains('\n')) {
            if (!receive())
                return false;
        }
        return true;
    }

    QString failure;
    QByteArray received;

private:
    // A peer that keeps sending must not keep the exchange going past its
    // deadline.
    bool wait(short events)
    {
        pollfd p{m_fd, events, 0};
        int ready = 0;
        while (!m_deadline.hasExpired()) {
            ready = ::poll(&p, 1, int(m_deadline.remainingTime()));
            if (ready >= 0 || errno != EINTR)
                break;
        }
        return ready > 0 && !m_deadline.hasExpired();
    }

    int m_fd;
    QDeadlineTimer m_deadline;
};

// The D-Bus wire format, in this machine's byte order, for the two calls
// to the bus itself that the name probe makes.
constexpr char byteOrder = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 'l' : 'B';

void pad(QByteArray &bytes, int alignment)
{
    while (bytes.size() % alignment)
        bytes.append('\0');
}

void putUint32(QByteArray &bytes, uint32_t value)
{
    pad(bytes, 4);
    bytes.append(reinterpret_cast<const char *>(&value), 4);
}

void putString(QByteArray &bytes, const char *text)
{
    putUint32(bytes, uint32_t(std::strlen(text)));
    bytes.append(text);
    bytes.append('\0');
}

// A header field: its code and a variant of one string-like type. The
// fields start 8-aligned in the message, so aligning here aligns there.
void putField(QByteArray &fields, char code, char type, const char *value)
{
    pad(fields, 8);
    fields.append(code);
    fields.append(char(1));
    fields.append(type);
    fields.append('\0');
    if (type == 'g') {
        fields.append(char(std::strlen(value)));
        fields.append(value);
        fields.append('\0');
    } else {
        putString(fields, value);
    }
}

QByteArray busCall(uint32_t serial, const char *member, const char *argument)
{
    QByteArray body;
    if (argument)
        putString(body, argument);
    QByteArray fields;
    putField(fields, 1, 'o', "/org/freedesktop/DBus");
    putField(fields, 2, 's', "org.freedesktop.DBus");
    putField(fields, 3, 's', member);
    putField(fields, 6, 's', "org.freedesktop.DBus");
    if (argument)
        putField(fields, 8, 'g', "s");
    QByteArray message;
    message.append(byteOrder);
    message.append(char(1)); // a method call
    message.append('\0');
    message.append(char(1)); // the protocol's version
    putUint32(message, uint32_t(body.size()));
    putUint32(message, serial);
    putUint32(message, uint32_t(fields.size()));
    message.append(fields);
    pad(message, 8);
    return message + body;
}

uint32_t wordAt(const QByteArray &bytes, qsizetype at, bool swap)
{
    uint32_t value;
    std::memcpy(&value, bytes.constData() + at, 4);
    return swap ? qbswap(value) : value;
}

} // namespace

bool takeBusMessage(QByteArray &bytes, std::optional<BusMessage> *message)
{
    message->reset();
    if (bytes.size() < 16)
        return true;
    if (bytes[0] != 'l' && bytes[0] != 'B')
        return false;
    const bool swap = bytes[0] != byteOrder;
    const uint64_t bodyLength = wordAt(bytes, 4, swap);
    const uint64_t fieldsLength = wordAt(bytes, 12, swap);
    const uint64_t headerEnd = (16 + fieldsLength + 7) / 8 * 8;
    if (headerEnd + bodyLength > uint64_t(maximumBusAnswer))
        return false;
    if (uint64_t(bytes.size()) < headerEnd + bodyLength)
        return true;
    BusMessage incoming;
    incoming.type = bytes[1];
    // The fields: (code, signature, value) structs at 8-byte boundaries;
    // the bus sends strings, object paths, signatures and integers.
    qsizetype at = 16;
    const qsizetype end = qsizetype(16 + fieldsLength);
    while (at < end) {
        at = (at + 7) / 8 * 8;
        if (at + 4 > end || bytes[at + 1] != 1 || bytes[at + 3] != '\0')
            return false;
        const char code = bytes[at];
        const char type = bytes[at + 2];
        at += 4;
        if (type == 'u' || type == 's' || type == 'o') {
            at = (at + 3) / 4 * 4;
            if (at + 4 > end)
                return false;
            const uint32_t word = wordAt(bytes, at, swap);
            if (type == 'u' && code == 5)
                incoming.replySerial = word;
            at += 4 + (type == 'u' ? 0 : qsizetype(word) + 1);
        } else if (type == 'g') {
            if (at >= end)
                return false;
            at += 1 + qsizetype(uint8_t(bytes[at])) + 1;
        } else {
            return false;
        }
    }
    if (at > end)
        return false;
    if (bodyLength >= 4)
        incoming.firstWord = wordAt(bytes, qsizetype(headerEnd), swap);
    bytes.remove(0, qsizetype(headerEnd + bodyLength));
    *message = incoming;
    return true;
}

QString sessionBusSilent(const QString &shownAddress, int seconds, const QString &call)
{
    return QStringLiteral("the session bus at ") + shownAddress + QStringLiteral(" did not answer ") +
           (call.isEmpty() ? QString() : call + u' ') + QStringLiteral("within ") + QString::number(seconds) +
           QStringLiteral(" s");
}

namespace {

// The bus's answer to each call sent, up to the one with the serial last;
// the last's, or none with the outcome and why when it does not come.
struct Conversation {
    BusProbe::Outcome outcome = BusProbe::Answered;
    QString failure;
    std::optional<BusMessage> last;
};

Conversation converse(Exchange &exchange, const QByteArray &calls, uint32_t last, const QStringList &members)
{
    const auto silent = [&](uint32_t serial) {
        if (!exchange.failure.isEmpty())
            return Conversation{BusProbe::Failed, exchange.failure, {}};
        return Conversation{BusProbe::Silent, members.value(qsizetype(serial) - 1), {}};
    };
    if (!exchange.send("BEGIN\r\n" + calls))
        return silent(1);
    uint32_t answered = 0;
    for (;;) {
        std::optional<BusMessage> message;
        if (!takeBusMessage(exchange.received, &message)) {
            // Too large for any answer here, or not a message the bus
            // sends: the D-Bus library would read it all too.
            return {BusProbe::Failed,
                    u"its answer to "_qs + members.value(qsizetype(answered)) +
                        " is not a message a bus sends, or longer than " +
                        QString::number(maximumBusAnswer / 1024) + " KiB",
                    {}};
        }
        if (message && message->replySerial > answered && message->replySerial <= last) {
            answered = message->replySerial;
            if (answered == last)
                return {BusProbe::Answered, {}, message};
        }
        if (message)
            continue;
        if (!exchange.receive())
            return silent(answered + 1);
    }
}

} // namespace

BusProbe probeSessionBus(const QString &address, int seconds)
{
    QString failure;
    const int fd = connectUnix(address, &failure);
    if (fd < 0)
        return {failure.isEmpty() ? BusProbe::NotProbed : BusProbe::Failed, failure};
    Exchange exchange(fd, seconds);
    if (!exchange.authenticate())
        return {exchange.failure.isEmpty() ? BusProbe::Silent : BusProbe::Failed, exchange.failure, true};
    // A bus that takes no such client is left to the D-Bus library, which
    // says why.
    if (!exchange.received.startsWith("OK "))
        return {BusProbe::Answered, {}};
    exchange.received.clear();
    // A bus that takes the client and never registers it would keep the
    // D-Bus library waiting for its Hello.
    const Conversation hello = converse(exchange, busCall(1, "Hello", nullptr), 1, {u"Hello"_qs});
    return {hello.outcome, hello.failure, true};
}

NameProbe probeNameOwner(const QString &address, const char *name, int seconds)
{
    QString failure;
    const int fd = connectUnix(address, &failure);
    if (fd < 0)
        return {failure.isEmpty() ? NameProbe::NotProbed : NameProbe::Failed, failure};
    Exchange exchange(fd, seconds);
    if (!exchange.authenticate())
        return {exchange.failure.isEmpty() ? NameProbe::Silent : NameProbe::Failed, exchange.failure};
    if (!exchange.received.startsWith("OK "))
        return {NameProbe::NotProbed, {}};
    exchange.received.clear();
    // The bus answers in order: Hello first, then the question.
    const Conversation asked =
        converse(exchange, busCall(1, "Hello", nullptr) + busCall(2, "NameHasOwner", name), 2,
                 {u"Hello"_qs, u"NameHasOwner"_qs});
    switch (asked.outcome) {
    case BusProbe::Silent:
        return {NameProbe::Silent, asked.failure};
    case BusProbe::Failed:
        return {NameProbe::Failed, asked.failure};
    case BusProbe::NotProbed:
    case BusProbe::Answered:
        break;
    }
    if (asked.last->type != 2 || !asked.last->firstWord) // an error, or no answer in it
        return {NameProbe::NotProbed, {}};
    return {*asked.last->firstWord ? NameProbe::Owned : NameProbe::NotOwned, {}};
}

} // namespace Dispor
