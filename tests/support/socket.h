#pragma once

// Unix sockets for tests: one that stands for a hung service, and a plain
// connection.

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

// A socket connected to the path, or -1.
int connectPath(const std::string &path);

} // namespace support
