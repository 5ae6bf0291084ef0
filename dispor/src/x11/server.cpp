#include "server.h"

#include <xcb/dpms.h>

#include <X11/Xauth.h>

#include <bit>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
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

QString displayName()
{
    return qEnvironmentVariable("DISPLAY");
}

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

// The one connection to the server the display names, made within the
// bound, or null with a reason. Probing with a connection of its own and
// then connecting again would let a server that resets when its last client
// leaves (Xvfb without -noreset) reset in between.
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

template <typename T> QList<T> listOf(const T *items, int count)
{
    return QList<T>(items, items + std::max(count, 0));
}

} // namespace

std::optional<int32_t> Property::value() const
{
    if (data.isEmpty())
        return std::nullopt;
    switch (format) {
    case 8:
        return int32_t(static_cast<int8_t>(data.at(0)));
    case 16:
        if (data.size() >= 2) {
            int16_t v;
            std::memcpy(&v, data.constData(), 2);
            return v;
        }
        break;
    case 32:
        if (data.size() >= 4) {
            int32_t v;
            std::memcpy(&v, data.constData(), 4);
            return v;
        }
        break;
    default:
        break;
    }
    return std::nullopt;
}

std::unique_ptr<Connection> Connection::open(QString *reason)
{
    const QString display = displayName();
    if (display.isEmpty()) {
        *reason = QStringLiteral("DISPLAY is not set, so there is no X server to talk to");
        return {};
    }
    const auto server = [&display] { return u"the X server "_qs + Dispor::quoted(display); };
    std::unique_ptr<Connection> connection(new Connection);
    connection->m_display = display;
    int screenNumber = 0;
    connection->m_connection = connectWithin(display, &screenNumber, reason);
    if (!connection->m_connection)
        return {};
    xcb_connection_t *c = connection->m_connection;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem) {
        *reason = server() + " has no screen " + QString::number(screenNumber);
        return {};
    }
    connection->m_root = screens.data->root;

    // The extensions and the atoms are asked in one round.
    xcb_prefetch_extension_data(c, &xcb_randr_id);
    xcb_prefetch_extension_data(c, &xcb_dpms_id);
    const std::pair<xcb_atom_t Atoms::*, const char *> names[] = {
        {&Atoms::edid, "EDID"},
        {&Atoms::connectorType, "ConnectorType"},
        {&Atoms::broadcastRgb, "Broadcast RGB"},
        {&Atoms::maxBpc, "max bpc"},
        {&Atoms::underscan, "underscan"},
        {&Atoms::underscanHBorder, "underscan hborder"},
        {&Atoms::underscanVBorder, "underscan vborder"},
        {&Atoms::randrEmulation, "RANDR Emulation"},
        {&Atoms::replicaOf, "_DISPOR_REPLICA_OF"},
        {&Atoms::gamma, "_DISPOR_GAMMA"},
    };
    xcb_intern_atom_cookie_t cookies[std::size(names)];
    for (size_t i = 0; i < std::size(names); ++i) {
        // Ours are made if missing, so that what is marked later in this
        // connection is read back by it too.
        const uint8_t onlyIfExists = names[i].first != &Atoms::replicaOf && names[i].first != &Atoms::gamma;
        cookies[i] =
            xcb_intern_atom(c, onlyIfExists, uint16_t(std::strlen(names[i].second)), names[i].second);
    }

    const xcb_query_extension_reply_t *randr = xcb_get_extension_data(c, &xcb_randr_id);
    Reply<xcb_randr_query_version_reply_t> version = reply(
        randr && randr->present ? xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 6), nullptr)
                                : nullptr);
    for (size_t i = 0; i < std::size(names); ++i) {
        if (auto r = reply(xcb_intern_atom_reply(c, cookies[i], nullptr)))
            connection->m_atoms.*(names[i].first) = r->atom;
    }
    if (!version || version->major_version < 1 ||
        (version->major_version == 1 && version->minor_version < 2)) {
        *reason = server() + " does not offer RandR 1.2 or later";
        return {};
    }
    connection->m_randrError = randr->first_error;
    connection->m_transforms = version->major_version > 1 || version->minor_version >= 3;
    const xcb_query_extension_reply_t *dpms = xcb_get_extension_data(c, &xcb_dpms_id);
    connection->m_dpms = dpms && dpms->present;
    connection->m_emulation = connection->emulatedOutputs();
    return connection;
}

bool Connection::emulatedOutputs()
{
    // A server on which nobody named the property has no output carrying it.
    if (m_atoms.randrEmulation == XCB_NONE)
        return false;
    xcb_connection_t *c = m_connection;
    auto resources = reply(xcb_randr_get_screen_resources_current_reply(
        c, xcb_randr_get_screen_resources_current(c, m_root), nullptr));
    if (!resources)
        return false;
    const xcb_randr_output_t *outputs = Wire::resourceOutputs(resources.get());
    QList<xcb_randr_get_output_property_cookie_t> cookies;
    for (int i = 0; i < resources->num_outputs; ++i) {
        cookies.append(xcb_randr_get_output_property(c, outputs[i], m_atoms.randrEmulation,
                                                     XCB_GET_PROPERTY_TYPE_ANY, 0, 1, 0, 0));
    }
    bool emulated = false;
    for (const xcb_randr_get_output_property_cookie_t cookie : cookies) {
        auto value = reply(xcb_randr_get_output_property_reply(c, cookie, nullptr));
        if (!value)
            continue;
        Property property;
        property.format = value->format;
        property.data =
            QByteArray(reinterpret_cast<const char *>(xcb_randr_get_output_property_data(value.get())),
                       xcb_randr_get_output_property_data_length(value.get()));
        emulated = emulated || property.value() == 1;
    }
    return emulated;
}

Connection::~Connection()
{
    if (m_connection)
        xcb_disconnect(m_connection);
}

QString Connection::atomName(xcb_atom_t atom)
{
    if (atom == XCB_NONE)
        return {};
    nameAtoms({atom});
    return m_atomNames.value(atom);
}

void Connection::nameAtoms(const QList<xcb_atom_t> &atoms)
{
    QList<std::pair<xcb_atom_t, xcb_get_atom_name_cookie_t>> asked;
    for (const xcb_atom_t atom : atoms) {
        if (atom == XCB_NONE || m_atomNames.contains(atom))
            continue;
        asked.append({atom, xcb_get_atom_name(m_connection, atom)});
        // Asked once, however often the list holds it.
        m_atomNames.insert(atom, QString());
    }
    for (const auto &[atom, cookie] : std::as_const(asked)) {
        if (auto r = reply(xcb_get_atom_name_reply(m_connection, cookie, nullptr))) {
            m_atomNames[atom] =
                QString::fromLatin1(xcb_get_atom_name_name(r.get()), xcb_get_atom_name_name_length(r.get()));
        }
    }
}

xcb_atom_t Connection::atom(const QByteArray &name, bool create)
{
    auto r = reply(xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, create ? 0 : 1, uint16_t(name.size()), name.constData()),
        nullptr));
    return r ? r->atom : XCB_NONE;
}

QString Connection::errorText(const char *request, const xcb_generic_error_t *error) const
{
    QString what;
    if (!error) {
        what = QStringLiteral("the connection to the X server broke");
    } else {
        static const char *const core[] = {
            nullptr,     "BadRequest", "BadValue",    "BadWindow",   "BadPixmap", "BadAtom",
            "BadCursor", "BadFont",    "BadMatch",    "BadDrawable", "BadAccess", "BadAlloc",
            "BadColor",  "BadGC",      "BadIDChoice", "BadName",     "BadLength", "BadImplementation"};
        const int code = error->error_code;
        if (code > 0 && code < int(std::size(core)))
            what = QLatin1StringView(core[code]);
        else if (code == m_randrError)
            what = QStringLiteral("BadOutput");
        else if (code == m_randrError + 1)
            what = QStringLiteral("BadCrtc");
        else if (code == m_randrError + 2)
            what = QStringLiteral("BadMode");
        else
            what = u"error "_qs + QString::number(code);
    }
    return u"the X server refused "_qs + QLatin1StringView(request) + " (" + what + u')';
}

bool Connection::refused(const char *request, xcb_generic_error_t *error, QString *reason) const
{
    *reason = errorText(request, error);
    std::free(error);
    return false;
}

bool Connection::check(xcb_void_cookie_t cookie, const char *request, QString *reason)
{
    xcb_generic_error_t *error = xcb_request_check(m_connection, cookie);
    if (!error && !xcb_connection_has_error(m_connection))
        return true;
    return refused(request, error, reason);
}

void readTransform(xcb_connection_t *c, xcb_randr_get_crtc_transform_cookie_t cookie, CrtcState *crtc)
{
    auto transform = reply(xcb_randr_get_crtc_transform_reply(c, cookie, nullptr));
    crtc->transformRead = true;
    if (!transform)
        return;
    crtc->transforms = transform->has_transforms;
    const xcb_render_transform_t &m = transform->current_transform;
    crtc->transform.matrix = {m.matrix11, m.matrix12, m.matrix13, m.matrix21, m.matrix22,
                              m.matrix23, m.matrix31, m.matrix32, m.matrix33};
    crtc->transform.filter =
        QByteArray(xcb_randr_get_crtc_transform_current_filter_name(transform.get()),
                   xcb_randr_get_crtc_transform_current_filter_name_length(transform.get()));
}

void readRamps(const xcb_randr_get_crtc_gamma_reply_t &gamma, CrtcState *crtc)
{
    crtc->red = listOf(Wire::ramp(&gamma, 0), gamma.size);
    crtc->green = listOf(Wire::ramp(&gamma, 1), gamma.size);
    crtc->blue = listOf(Wire::ramp(&gamma, 2), gamma.size);
}

namespace {

// A CRTC's ramps and transform, as far as asked.
void readDetails(xcb_connection_t *c, xcb_randr_get_crtc_gamma_cookie_t gammaCookie,
                 xcb_randr_get_crtc_transform_cookie_t transformCookie, CrtcState *crtc)
{
    if (auto gamma = reply(xcb_randr_get_crtc_gamma_reply(c, gammaCookie, nullptr)))
        readRamps(*gamma, crtc);
    if (transformCookie.sequence)
        readTransform(c, transformCookie, crtc);
}

} // namespace

bool Connection::readTransforms(ServerState *state, QString *reason)
{
    xcb_connection_t *c = m_connection;
    QMap<xcb_randr_crtc_t, xcb_randr_get_crtc_transform_cookie_t> asked;
    for (const CrtcState &crtc : std::as_const(state->crtcs)) {
        if (!crtc.transformRead)
            asked.insert(crtc.id, xcb_randr_get_crtc_transform(c, crtc.id));
    }
    for (auto at = asked.cbegin(); at != asked.cend(); ++at)
        readTransform(c, *at, &state->crtcs[at.key()]);
    if (xcb_connection_has_error(c)) {
        *reason = errorText("the CRTCs' transforms", nullptr);
        return false;
    }
    return true;
}

bool Connection::read(ServerState *state, bool probe, QString *reason, const ServerState *expected)
{
    xcb_connection_t *c = m_connection;
    ServerState s;
    xcb_generic_error_t *error = nullptr;

    // Three rounds, each sent whole before its first reply is awaited: the
    // screen, then its CRTCs and outputs, then their properties. A round
    // trip awaited per request would cost more than all the reading.
    const xcb_randr_get_screen_size_range_cookie_t rangeCookie = xcb_randr_get_screen_size_range(c, m_root);
    const xcb_get_geometry_cookie_t geometryCookie = xcb_get_geometry(c, m_root);
    const xcb_randr_get_output_primary_cookie_t primaryCookie = xcb_randr_get_output_primary(c, m_root);
    xcb_randr_get_screen_resources_cookie_t allCookie{};
    xcb_randr_get_screen_resources_current_cookie_t currentCookie{};
    if (probe)
        allCookie = xcb_randr_get_screen_resources(c, m_root);
    else
        currentCookie = xcb_randr_get_screen_resources_current(c, m_root);
    xcb_dpms_info_cookie_t dpmsCookie{};
    if (m_dpms)
        dpmsCookie = xcb_dpms_info(c);
    // The CRTCs and outputs expected go along: the second round is then
    // only for those that turn out to be new. The ramps and transform of a
    // CRTC go with it when it was in use; for one that turns out to be in
    // use they are asked with the properties, in the third round.
    struct CrtcCookies {
        xcb_randr_get_crtc_info_cookie_t info;
        xcb_randr_get_crtc_gamma_cookie_t gamma{};         // sequence 0: not asked
        xcb_randr_get_crtc_transform_cookie_t transform{}; // sequence 0: not asked
    };
    struct OutputCookies {
        xcb_randr_get_output_info_cookie_t info;
        xcb_randr_list_output_properties_cookie_t properties;
    };
    const auto askCrtc = [c](xcb_randr_crtc_t crtc, xcb_timestamp_t time) {
        return CrtcCookies{xcb_randr_get_crtc_info(c, crtc, time)};
    };
    // Ramps and transform, as far as not asked yet.
    const auto askDetails = [c, this](xcb_randr_crtc_t crtc, CrtcCookies *cookies) {
        if (!cookies->gamma.sequence)
            cookies->gamma = xcb_randr_get_crtc_gamma(c, crtc);
        if (m_transforms && !cookies->transform.sequence)
            cookies->transform = xcb_randr_get_crtc_transform(c, crtc);
    };
    const auto askOutput = [c](xcb_randr_output_t output, xcb_timestamp_t time) {
        return OutputCookies{xcb_randr_get_output_info(c, output, time),
                             xcb_randr_list_output_properties(c, output)};
    };
    QHash<xcb_randr_crtc_t, CrtcCookies> crtcsAsked;
    QHash<xcb_randr_output_t, OutputCookies> outputsAsked;
    if (expected) {
        for (const CrtcState &crtc : expected->crtcs) {
            CrtcCookies &cookies = crtcsAsked[crtc.id] = askCrtc(crtc.id, expected->configTimestamp);
            if (crtc.mode != XCB_NONE)
                askDetails(crtc.id, &cookies);
        }
        for (auto at = expected->outputs.keyBegin(); at != expected->outputs.keyEnd(); ++at)
            outputsAsked.insert(*at, askOutput(*at, expected->configTimestamp));
    }
    // Replies asked for and not to be used.
    const auto discard = [c, &crtcsAsked, &outputsAsked] {
        for (const CrtcCookies &cookies : std::as_const(crtcsAsked)) {
            xcb_discard_reply(c, cookies.info.sequence);
            if (cookies.gamma.sequence)
                xcb_discard_reply(c, cookies.gamma.sequence);
            if (cookies.transform.sequence)
                xcb_discard_reply(c, cookies.transform.sequence);
        }
        for (const OutputCookies &cookies : std::as_const(outputsAsked)) {
            xcb_discard_reply(c, cookies.info.sequence);
            xcb_discard_reply(c, cookies.properties.sequence);
        }
        crtcsAsked.clear();
        outputsAsked.clear();
    };

    auto range = reply(xcb_randr_get_screen_size_range_reply(c, rangeCookie, nullptr));
    auto geometry = reply(xcb_get_geometry_reply(c, geometryCookie, nullptr));
    auto primary = reply(xcb_randr_get_output_primary_reply(c, primaryCookie, nullptr));
    if (!range || !geometry || !primary) {
        *reason = errorText("the screen's size", nullptr);
        return false;
    }
    s.minWidth = range->min_width;
    s.minHeight = range->min_height;
    s.maxWidth = range->max_width;
    s.maxHeight = range->max_height;
    s.width = geometry->width;
    s.height = geometry->height;
    s.primary = primary->output;
    // The setup block is current as of this connection, and so is its DPI.
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it)) {
        if (it.data->root == m_root && it.data->width_in_pixels && it.data->height_in_pixels) {
            s.mmWidth = it.data->width_in_millimeters;
            s.mmHeight = it.data->height_in_millimeters;
            if (it.data->width_in_pixels != s.width)
                s.mmWidth = uint32_t(double(s.mmWidth) * s.width / it.data->width_in_pixels + 0.5);
            if (it.data->height_in_pixels != s.height)
                s.mmHeight = uint32_t(double(s.mmHeight) * s.height / it.data->height_in_pixels + 0.5);
        }
    }

    const xcb_randr_crtc_t *crtcs = nullptr;
    const xcb_randr_output_t *outputs = nullptr;
    const xcb_randr_mode_info_t *modes = nullptr;
    const uint8_t *names = nullptr;
    int crtcCount = 0, outputCount = 0, modeCount = 0, namesLength = 0;
    Reply<xcb_randr_get_screen_resources_reply_t> all =
        reply<xcb_randr_get_screen_resources_reply_t>(nullptr);
    Reply<xcb_randr_get_screen_resources_current_reply_t> current =
        reply<xcb_randr_get_screen_resources_current_reply_t>(nullptr);
    if (probe) {
        all = reply(xcb_randr_get_screen_resources_reply(c, allCookie, &error));
        if (all) {
            s.configTimestamp = all->config_timestamp;
            s.timestamp = all->timestamp;
            crtcs = Wire::resourceCrtcs(all.get());
            crtcCount = all->num_crtcs;
            outputs = Wire::resourceOutputs(all.get());
            outputCount = all->num_outputs;
            modes = Wire::resourceModes(all.get());
            modeCount = all->num_modes;
            names = Wire::resourceNames(all.get());
            namesLength = all->names_len;
        }
    } else {
        current = reply(xcb_randr_get_screen_resources_current_reply(c, currentCookie, &error));
        if (current) {
            s.configTimestamp = current->config_timestamp;
            s.timestamp = current->timestamp;
            crtcs = Wire::resourceCrtcs(current.get());
            crtcCount = current->num_crtcs;
            outputs = Wire::resourceOutputs(current.get());
            outputCount = current->num_outputs;
            modes = Wire::resourceModes(current.get());
            modeCount = current->num_modes;
            names = Wire::resourceNames(current.get());
            namesLength = current->names_len;
        }
    }
    if (!crtcs && !outputs && !modes && error)
        return refused("the screen resources", error, reason);

    // Asked at another configuration's time, what was expected is asked again.
    if (expected && s.configTimestamp != expected->configTimestamp)
        discard();
    // Each one's requests: the ones asked along with the screen, or now.
    const auto cookiesOf = [&s](const auto *ids, int count, auto &asked, auto ask) {
        QList<typename std::decay_t<decltype(asked)>::mapped_type> cookies;
        cookies.reserve(count);
        for (int i = 0; i < count; ++i) {
            const auto found = asked.constFind(ids[i]);
            if (found == asked.constEnd()) {
                cookies.append(ask(ids[i], s.configTimestamp));
            } else {
                cookies.append(*found);
                asked.erase(found);
            }
        }
        return cookies;
    };
    QList<CrtcCookies> crtcCookies = cookiesOf(crtcs, crtcCount, crtcsAsked, askCrtc);
    const QList<OutputCookies> outputCookies = cookiesOf(outputs, outputCount, outputsAsked, askOutput);
    // Expected and gone.
    discard();
    xcb_flush(c);

    // While the server answers those. The modes and their names follow one
    // another in the reply: the same bytes as expected are the same modes.
    const QByteArrayView modeBytes(reinterpret_cast<const char *>(modes),
                                   modes ? qsizetype(modeCount) * qsizetype(sizeof *modes) + namesLength : 0);
    if (expected && expected->modeBytes == modeBytes) {
        s.modes = expected->modes;
        s.modeBytes = expected->modeBytes;
    } else {
        readModes(modes, modeCount, names, &s.modes);
        s.modeBytes = modeBytes.toByteArray();
    }

    // The CRTCs in use whose ramps and transform were not asked along.
    QList<int> lateDetails;
    for (int i = 0; i < crtcCount; ++i) {
        CrtcState crtc;
        crtc.id = crtcs[i];
        crtc.transformRead = !m_transforms;
        CrtcCookies &cookies = crtcCookies[i];
        auto info = reply(xcb_randr_get_crtc_info_reply(c, cookies.info, &error));
        const bool inUse = info && info->mode != XCB_NONE;
        bool late = false;
        if (!inUse) {
            if (cookies.gamma.sequence)
                xcb_discard_reply(c, cookies.gamma.sequence);
            if (cookies.transform.sequence)
                xcb_discard_reply(c, cookies.transform.sequence);
            cookies.gamma.sequence = cookies.transform.sequence = 0;
        } else if (!cookies.gamma.sequence) {
            askDetails(crtc.id, &cookies);
            lateDetails.append(i);
            late = true;
        }
        if (!info)
            return refused("a CRTC's state", error, reason);
        crtc.x = info->x;
        crtc.y = info->y;
        crtc.width = info->width;
        crtc.height = info->height;
        crtc.mode = info->mode;
        crtc.rotation = info->rotation;
        crtc.rotations = info->rotations;
        crtc.outputs = listOf(Wire::crtcOutputs(info.get()), info->num_outputs);
        crtc.possible = listOf(Wire::crtcPossible(info.get()), info->num_possible_outputs);
        if (inUse && !late)
            readDetails(c, cookies.gamma, cookies.transform, &crtc);
        s.crtcs.insert(crtc.id, crtc);
    }

    const xcb_atom_t wanted[] = {
        m_atoms.edid,      m_atoms.connectorType,    m_atoms.broadcastRgb,     m_atoms.maxBpc,
        m_atoms.underscan, m_atoms.underscanHBorder, m_atoms.underscanVBorder, m_atoms.replicaOf,
        m_atoms.gamma};
    struct PropertyCookies {
        xcb_randr_output_t output;
        xcb_atom_t atom;
        xcb_randr_get_output_property_cookie_t value;
        xcb_randr_query_output_property_cookie_t query;
    };
    QList<PropertyCookies> propertyRequests;
    for (int i = 0; i < outputCount; ++i) {
        OutputState output;
        output.id = outputs[i];
        auto info = reply(xcb_randr_get_output_info_reply(c, outputCookies[i].info, &error));
        auto list = reply(xcb_randr_list_output_properties_reply(c, outputCookies[i].properties, nullptr));
        if (!info)
            return refused("an output's state", error, reason);
        output.name = QString::fromUtf8(Wire::outputName(info.get()), info->name_len);
        output.crtc = info->crtc;
        output.connected = info->connection == XCB_RANDR_CONNECTION_CONNECTED;
        output.crtcs = listOf(Wire::outputCrtcs(info.get()), info->num_crtcs);
        output.modes = listOf(Wire::outputModes(info.get()), info->num_modes);
        output.preferred = info->num_preferred;
        if (list) {
            const xcb_atom_t *atoms = Wire::propertyAtoms(list.get());
            for (int k = 0; k < list->num_atoms; ++k) {
                const xcb_atom_t atom = atoms[k];
                if (atom == XCB_NONE ||
                    std::find(std::begin(wanted), std::end(wanted), atom) == std::end(wanted))
                    continue;
                // Our gamma record holds three ramps of up to 4096 steps.
                const uint32_t units = atom == m_atoms.gamma ? 6 * 4096 : 1024;
                propertyRequests.append({output.id, atom,
                                         xcb_randr_get_output_property(
                                             c, output.id, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, units, 0, 0),
                                         xcb_randr_query_output_property(c, output.id, atom)});
            }
        }
        s.outputs.insert(output.id, output);
    }
    for (const int i : std::as_const(lateDetails))
        readDetails(c, crtcCookies[i].gamma, crtcCookies[i].transform, &s.crtcs[crtcs[i]]);
    for (const PropertyCookies &request : std::as_const(propertyRequests)) {
        auto value = reply(xcb_randr_get_output_property_reply(c, request.value, nullptr));
        auto query = reply(xcb_randr_query_output_property_reply(c, request.query, nullptr));
        if (!value || !query)
            continue;
        Property property;
        property.type = value->type;
        property.format = value->format;
        property.data =
            QByteArray(reinterpret_cast<const char *>(xcb_randr_get_output_property_data(value.get())),
                       xcb_randr_get_output_property_data_length(value.get()));
        property.range = query->range;
        property.immutable = query->immutable;
        property.validValues = listOf(xcb_randr_query_output_property_valid_values(query.get()),
                                      xcb_randr_query_output_property_valid_values_length(query.get()));
        s.outputs[request.output].properties.insert(request.atom, property);
    }

    // Named here, so that what was read is understood without the server.
    s.atoms = m_atoms;
    QList<xcb_atom_t> enumeratedValues;
    for (const OutputState &output : std::as_const(s.outputs)) {
        for (const xcb_atom_t enumerated : {m_atoms.connectorType, m_atoms.broadcastRgb, m_atoms.underscan}) {
            const auto property = output.properties.constFind(enumerated);
            if (enumerated == XCB_NONE || property == output.properties.constEnd() || property->format != 32)
                continue;
            for (const int32_t atom : property->validValues)
                enumeratedValues.append(xcb_atom_t(atom));
            enumeratedValues.append(xcb_atom_t(property->value().value_or(0)));
        }
    }
    nameAtoms(enumeratedValues);
    for (const xcb_atom_t atom : std::as_const(enumeratedValues))
        s.atomNames.insert(atom, m_atomNames.value(atom));

    if (m_dpms) {
        if (auto info = reply(xcb_dpms_info_reply(c, dpmsCookie, nullptr))) {
            if (info->state && info->power_level <= XCB_DPMS_DPMS_MODE_OFF)
                s.dpms = Output::DpmsMode(info->power_level);
        }
    }
    if (xcb_connection_has_error(c)) {
        *reason = errorText("the screen's state", nullptr);
        return false;
    }
    *state = std::move(s);
    return true;
}

void readModes(const xcb_randr_mode_info_t *modes, int count, const uint8_t *names,
               QHash<xcb_randr_mode_t, ModeLine> *into)
{
    into->reserve(into->size() + count);
    for (int i = 0; i < count; ++i) {
        const xcb_randr_mode_info_t &info = modes[i];
        ModeLine &mode = (*into)[info.id];
        mode.id = info.id;
        mode.name = QByteArray(reinterpret_cast<const char *>(names), info.name_len);
        names += info.name_len;
        mode.timings = {info.width,     info.height, info.dot_clock, info.hsync_start,
                        info.hsync_end, info.htotal, info.hskew,     info.vsync_start,
                        info.vsync_end, info.vtotal, info.mode_flags};
    }
}

} // namespace Dispor::X11
