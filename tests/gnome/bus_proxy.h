#pragma once

// Stands between dispctl and mutter's session bus, and meddles with the
// calls of a run at the points a test names: nothing timed, so the same
// thing happens in every run. Mutter and the bus stay the real ones.

#include <memory>
#include <string>
#include <vector>

namespace gnome_test {

// Acts on each call of `member` once a call of `after` has passed (at
// once, where empty): with `from` empty it is dropped, and the caller waits
// out its bound; else every `from` in its body becomes `to`, as long, and
// mutter gets another request than the one sent.
struct Meddling {
    std::string after;
    std::string member;
    std::string from;
    std::string to;
};

class BusProxy {
public:
    // Listens at `path` for the connections it forwards to the bus at `bus`.
    BusProxy(const std::string &bus, const std::string &path, std::vector<Meddling> meddling);
    ~BusProxy();
    BusProxy(const BusProxy &) = delete;
    BusProxy &operator=(const BusProxy &) = delete;

    std::string address() const { return "unix:path=" + m_path; }

private:
    struct Running;

    std::string m_path;
    std::unique_ptr<Running> m_running;
};

} // namespace gnome_test
