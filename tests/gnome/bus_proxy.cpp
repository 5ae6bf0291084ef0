#include "bus_proxy.h"

#include "support/socket.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace gnome_test {

namespace {

// A caller's connection and the one made for it to the bus.
struct Link {
    int caller = -1;
    int bus = -1;
    bool begun = false; // past the caller's BEGIN: whole messages from here on
    std::string pending;
};

void closeLink(Link &link)
{
    ::close(link.caller);
    ::close(link.bus);
    link.caller = link.bus = -1;
}

// A peer that stops reading holds the proxy up 10 s at most.
void boundWrites(int fd)
{
    const timeval bound{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
}

bool writeAll(int fd, const std::string &bytes)
{
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

size_t aligned(size_t at, size_t to)
{
    return (at + to - 1) / to * to;
}

uint32_t number(const std::string &bytes, size_t at)
{
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return bytes[0] == 'l' ? value : __builtin_bswap32(value);
}

// The length of the message that begins the bytes; 0 until it is whole.
size_t messageLength(const std::string &bytes)
{
    if (bytes.size() < 16)
        return 0;
    const size_t length = aligned(16 + number(bytes, 12), 8) + number(bytes, 4);
    return bytes.size() >= length ? length : 0;
}

// The member a method call names, and where its body begins; empty for
// any other message. Header fields hold strings, signatures and numbers.
std::string memberOf(const std::string &message, size_t *body)
{
    const size_t end = 16 + number(message, 12);
    *body = aligned(end, 8);
    if (message[1] != 1)
        return {};
    for (size_t at = 16; at < end;) {
        at = aligned(at, 8);
        const int code = message[at];
        const char type = message[at + 2];
        at += 4; // code, signature length 1, type, its nul
        if (type == 'g') {
            at += 1 + size_t(uint8_t(message[at])) + 1;
        } else if (type == 's' || type == 'o') {
            at = aligned(at, 4);
            const uint32_t length = number(message, at);
            if (code == 3)
                return message.substr(at + 4, length);
            at += 4 + length + 1;
        } else {
            at = aligned(at, 4) + 4;
        }
    }
    return {};
}

} // namespace

struct BusProxy::Running {
    std::string bus;
    std::vector<Meddling> meddling;
    std::vector<bool> armed;
    int listening = -1;
    int stop[2] = {-1, -1};
    std::vector<Link> links;
    std::thread thread;

    void run();
    bool fromCaller(Link &link);
    bool meddle(std::string &message);
};

BusProxy::BusProxy(const std::string &bus, const std::string &path, std::vector<Meddling> meddling)
    : m_path(path), m_running(std::make_unique<Running>())
{
    Running &r = *m_running;
    r.bus = bus;
    for (const Meddling &m : meddling) {
        if (m.from.size() != m.to.size())
            throw std::invalid_argument("a replacement must be as long as what it replaces: " + m.to);
        r.armed.push_back(m.after.empty());
    }
    r.meddling = std::move(meddling);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        throw std::runtime_error("socket path too long: " + path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    r.listening = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (r.listening < 0 ||
        ::bind(r.listening, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(r.listening, 16) != 0 || ::pipe2(r.stop, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot listen on " + path + ": " + std::strerror(errno));
    r.thread = std::thread([&r] { r.run(); });
}

BusProxy::~BusProxy()
{
    Running &r = *m_running;
    if (::write(r.stop[1], "", 1) == 1)
        r.thread.join();
    else
        r.thread.detach();
    for (Link &link : r.links)
        closeLink(link);
    ::close(r.listening);
    ::close(r.stop[0]);
    ::close(r.stop[1]);
    ::unlink(m_path.c_str());
}

void BusProxy::Running::run()
{
    char buffer[65536];
    for (;;) {
        std::vector<pollfd> fds = {{stop[0], POLLIN, 0}, {listening, POLLIN, 0}};
        for (const Link &link : links) {
            fds.push_back({link.caller, POLLIN, 0});
            fds.push_back({link.bus, POLLIN, 0});
        }
        // Until the proxy is stopped.
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents)
            return;
        for (size_t i = 0; i < links.size(); ++i) {
            Link &link = links[i];
            for (const bool fromBus : {false, true}) {
                if (link.caller < 0 || !fds[2 + 2 * i + fromBus].revents)
                    continue;
                const ssize_t n = ::read(fromBus ? link.bus : link.caller, buffer, sizeof buffer);
                if (n < 0 && errno == EINTR)
                    continue;
                bool ok = n > 0;
                if (ok && fromBus)
                    ok = writeAll(link.caller, std::string(buffer, size_t(n)));
                else if (ok) {
                    link.pending.append(buffer, size_t(n));
                    ok = fromCaller(link);
                }
                if (!ok)
                    closeLink(link);
            }
        }
        std::erase_if(links, [](const Link &link) { return link.caller < 0; });
        if (fds[1].revents & POLLIN) {
            Link link;
            link.caller = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
            link.bus = support::connectPath(bus);
            boundWrites(link.caller);
            boundWrites(link.bus);
            if (link.caller >= 0 && link.bus >= 0)
                links.push_back(link);
            else
                closeLink(link);
        }
    }
}

bool BusProxy::Running::fromCaller(Link &link)
{
    // The authentication goes through line by line, as it is.
    while (!link.begun) {
        const size_t end = link.pending.find('\n');
        if (end == std::string::npos)
            return true;
        const std::string line = link.pending.substr(0, end + 1);
        link.pending.erase(0, end + 1);
        if (!writeAll(link.bus, line))
            return false;
        link.begun = line == "BEGIN\r\n";
    }
    while (const size_t length = messageLength(link.pending)) {
        std::string message = link.pending.substr(0, length);
        link.pending.erase(0, length);
        if (meddle(message) && !writeAll(link.bus, message))
            return false;
    }
    return true;
}

bool BusProxy::Running::meddle(std::string &message)
{
    size_t body = 0;
    const std::string member = memberOf(message, &body);
    bool forwarded = true;
    for (size_t i = 0; i < meddling.size(); ++i) {
        const Meddling &m = meddling[i];
        if (!armed[i] || member != m.member)
            continue;
        if (m.from.empty())
            forwarded = false;
        for (size_t at = m.from.empty() ? std::string::npos : message.find(m.from, body);
             at != std::string::npos; at = message.find(m.from, at + m.to.size()))
            message.replace(at, m.from.size(), m.to);
    }
    for (size_t i = 0; i < meddling.size(); ++i)
        armed[i] = armed[i] || (!member.empty() && member == meddling[i].after);
    return forwarded;
}

} // namespace gnome_test
