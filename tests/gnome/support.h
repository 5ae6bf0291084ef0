#pragma once

// A mutter per test group on a private session bus, in a fresh directory
// (a persistent layout would survive into the next start), stopped by pid.
// Its state is read back with gdbus, never with dispctl.

#include "e2e/harness.h"

#include <memory>
#include <string>
#include <vector>

namespace gnome_test {

class Mutter {
public:
    ~Mutter();
    Mutter(const Mutter &) = delete;
    Mutter &operator=(const Mutter &) = delete;

    // Headless, with virtual monitors such as "1920x1080"; fractional turns
    // on fractional scales, and with them the logical layout mode.
    static std::unique_ptr<Mutter> headless(const std::vector<std::string> &monitors, bool fractional = false);
    // Nested on Xvfb, with two dummy monitors LVDS1 and LVDS2 that offer
    // 1920x1080, 1280x720@50 and 1024x768; null where Xvfb is missing.
    static std::unique_ptr<Mutter> nested();

    // What a dispctl run on this mutter gets.
    e2e::Env env() const;
    const std::string &busAddress() const { return m_bus->address(); }
    // Where the bus listens as "bus": a user's runtime directory.
    const std::string &busDir() const { return m_bus->runtimeDir(); }
    std::string configDir() const { return m_dir.file("config"); }
    // The runtime directory dispctl runs get.
    const std::string &runtimeDir() const { return m_dir.path(); }
    // Stops, resumes or ends mutter.
    void signal(int number) const;

    // One line per logical monitor, "X,Y SCALE TRANSFORM [primary] CONNECTOR…",
    // in text order.
    std::string logical() const;
    // "CONNECTOR:MODE" of each monitor with a current mode, one a line.
    std::string modes() const;
    // PowerSaveMode, or -1 when it cannot be read.
    int power() const;

private:
    Mutter() = default;
    bool start(const std::vector<std::string> &args, const e2e::Env &env);
    std::string state() const;

    e2e::TempDir m_dir;
    std::unique_ptr<e2e::SessionBus> m_bus;
    int m_pid = -1;
    int m_xvfb = -1;
};

e2e::Result run(const Mutter &mutter, const std::vector<std::string> &args, const e2e::Env &env = {});
// The same run started, to be finished while the test goes on.
support::Child start(const Mutter &mutter, const std::vector<std::string> &args);
e2e::Result finish(const support::Child &child, double timeoutSeconds = 30);

// Calls gdbus on mutter's bus; its standard output, or "failed: …".
std::string gdbus(const Mutter &mutter, const std::vector<std::string> &args);

} // namespace gnome_test
