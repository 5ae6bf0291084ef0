#pragma once

// A compositor per test: ours (headless wlroots) or phoc, each with its own
// runtime directory and socket, stopped by its pid at the end of the test.

#include "e2e/harness.h"

#include <memory>
#include <string>
#include <vector>

namespace wayland_test {

class Compositor {
public:
    ~Compositor();
    Compositor(const Compositor &) = delete;
    Compositor &operator=(const Compositor &) = delete;

    // Ours, with the arguments of tests/wayland/compositor.c.
    static Compositor ours(const std::vector<std::string> &arguments);
    // phoc with headless outputs (two unless said) and the given
    // configuration file text; an empty socket() when phoc cannot be run here.
    static Compositor phoc(const std::string &config, int outputs = 2);

    Compositor(Compositor &&other) noexcept;

    const std::string &socket() const { return m_socket; }
    const std::string &runtimeDir() const { return m_dir->path(); }
    // What it wrote on standard output (phoc: and on standard error).
    std::string log() const;
    // Sends it a signal (ours: SIGUSR1 plugs its spare output in, SIGUSR2
    // unplugs the last one, SIGTERM ends it), and waits at most 5 s for the
    // line it then writes, where one is given: false when it did not come.
    bool signal(int number, const std::string &line = {}) const;
    // What a dispctl run on this compositor gets: the Wayland backend chosen
    // explicitly, and Qt kept off the compositor.
    e2e::Env env() const;

private:
    Compositor();

    std::unique_ptr<e2e::TempDir> m_dir;
    int m_pid = -1;
    std::string m_socket;
};

// A compositor that answers each connection with nothing but a protocol
// error on the registry, the client's first object, carrying the message;
// served by a process of its own until the object goes.
class ErringCompositor {
public:
    ErringCompositor(const std::string &path, const std::string &message);
    ~ErringCompositor();
    ErringCompositor(const ErringCompositor &) = delete;
    ErringCompositor &operator=(const ErringCompositor &) = delete;

private:
    std::string m_path;
    int m_pid = -1;
};

e2e::Result run(const Compositor &compositor, const std::vector<std::string> &args, const e2e::Env &env = {});

// Points the library in this process at the compositor.
void useInProcess(const Compositor &compositor);

// The power mode of each output as our compositor last switched it,
// "NAME:on NAME:off"; on where it never switched.
std::string power(const Compositor &compositor, const std::vector<std::string> &names);

// What the compositor says through wlr-randr: for each head in name order,
// "NAME on|off X,Y WxH TRANSFORM SCALE" (all but the name and state only
// when on).
std::string wlrRandr(const Compositor &compositor);

// Where the compositor's own layout puts each output (xdg-output, through
// wayland-info), by name in name order: "NAME X,Y WxH".
std::string logicalLayout(const Compositor &compositor);

} // namespace wayland_test
