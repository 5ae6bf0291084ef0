#pragma once

// Unix sockets for tests: one that stands for a hung service, a session
// bus that misbehaves, and a plain connection.

#include <string>

namespace support {

// A unix socket that takes connections into its backlog and never accepts
// or answers them, as a hung service would; removed with the object.
class MuteSocket {
public:
    explicit MuteSocket(const std::string &path);
    ~MuteSocket();
    MuteSocket(const MuteSocket &) = delete;
    MuteSocket &operator=(const MuteSocket &) = delete;

private:
    std::string m_path;
    int m_fd = -1;
};

// A session bus that misbehaves after it takes a connection, served by a
// process of its own (one per connection) until the object goes.
class FakeBus {
public:
    enum class Fault {
        QuietAfterAuthentication, // answers AUTH, then nothing (a stuck bus)
        FloodsTheHandshake,       // sends bytes without end, no line break
        HugeHelloReply,           // answers Hello with a header announcing 128 MiB
    };
    FakeBus(const std::string &path, Fault fault);
    ~FakeBus();
    FakeBus(const FakeBus &) = delete;
    FakeBus &operator=(const FakeBus &) = delete;

    std::string address() const { return "unix:path=" + m_path; }

private:
    std::string m_path;
    int m_pid = -1;
};

// A socket connected to the path, or -1.
int connectPath(const std::string &path);

} // namespace support
