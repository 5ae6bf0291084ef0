#pragma once

// Runs the built dispctl as a user would: a process with its own
// environment, a virtual display document made for the test, and, where a
// test needs one, a private session bus with a stand-in compositor.

#include "support/files.h"
#include "support/process.h"
#include "support/socket.h"

#include <optional>
#include <string>
#include <vector>

namespace e2e {

using support::Env;
using support::fileExists;
using support::MuteSocket;
using support::readFile;
using support::Result;
using support::TempDir;
using support::writeFile;

// A virtual display document in a private runtime directory.
class VirtualSet {
public:
    // An empty document text leaves the file absent: the built-in default set.
    explicit VirtualSet(const std::string &document = {});
    const std::string &path() const { return m_document; }
    const std::string &runtimeDir() const { return m_dir.path(); }
    std::string read() const { return readFile(m_document); }
    void write(const std::string &document) const { writeFile(m_document, document); }
    // The environment a run on this set gets (merged under the run's own).
    Env env() const;

private:
    TempDir m_dir;
    std::string m_document;
};

// A private session bus: a real dbus-daemon, stopped by the destructor.
class SessionBus {
public:
    SessionBus();
    ~SessionBus();
    SessionBus(const SessionBus &) = delete;
    SessionBus &operator=(const SessionBus &) = delete;
    const std::string &address() const { return m_address; }
    // The bus listens at runtimeDir()/bus, where a user's bus is found
    // without DBUS_SESSION_BUS_ADDRESS.
    const std::string &runtimeDir() const { return m_dir.path(); }

private:
    TempDir m_dir;
    int m_pid = -1;
    std::string m_address;
};

// The stand-in compositor on a bus, with the behaviour its arguments ask
// for (see tests/fake-vantor), stopped by the destructor.
class Compositor {
public:
    Compositor(const SessionBus &bus, const std::vector<std::string> &arguments);
    ~Compositor();
    Compositor(const Compositor &) = delete;
    Compositor &operator=(const Compositor &) = delete;

private:
    int m_pid = -1;
};

// Runs a program with a minimal environment (PATH, HOME, LC_ALL=C, no
// display, no session bus) plus env; stdin is /dev/null unless input is set.
Result runProgram(const std::string &program, const std::vector<std::string> &args, const Env &env = {},
                  const std::optional<std::string> &input = std::nullopt, int timeoutSeconds = 30);

// Runs dispctl on a virtual set, optionally on a bus, with extra env on top.
Result run(const VirtualSet &set, const std::vector<std::string> &args, const Env &env = {});
Result run(const VirtualSet &set, const SessionBus &bus, const std::vector<std::string> &args,
           const Env &env = {});

std::string dispctlBinary();

} // namespace e2e
