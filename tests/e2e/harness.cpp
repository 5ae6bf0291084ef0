#include "harness.h"

#include <csignal>
#include <stdexcept>
#include <unistd.h>

namespace e2e {

VirtualSet::VirtualSet(const std::string &document) : m_document(m_dir.file("virtual-display.json"))
{
    if (!document.empty())
        write(document);
}

Env VirtualSet::env() const
{
    return {
        {"DISPOR_BACKEND", "virtual"},
        {"DISPOR_VIRTUAL_STATE", m_document},
        {"XDG_RUNTIME_DIR", m_dir.path()},
    };
}

Result runProgram(const std::string &program, const std::vector<std::string> &args, const Env &env,
                  const std::optional<std::string> &input, int timeoutSeconds)
{
    support::Spawn spawn{program, args, support::merged(support::testEnvironment(), env)};
    if (input)
        spawn.in = support::Stream::Pipe;
    const support::Child child = support::spawn(spawn);
    if (input) {
        size_t done = 0;
        while (done < input->size()) {
            const ssize_t n = ::write(child.in, input->data() + done, input->size() - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        ::close(child.in);
    }

    Result result;
    const bool inTime =
        support::drain(child.out, child.err, support::now() + timeoutSeconds, result.out, result.err);
    if (!inTime)
        ::kill(-child.pid, SIGKILL);
    result.status = support::waitStatus(child.pid);
    if (!inTime)
        result.err += "\n[harness: timed out]";
    return result;
}

std::string dispctlBinary()
{
    return DISPCTL_BINARY;
}

Result run(const VirtualSet &set, const std::vector<std::string> &args, const Env &env)
{
    return runProgram(dispctlBinary(), args, support::merged(set.env(), env));
}

Result run(const VirtualSet &set, const SessionBus &bus, const std::vector<std::string> &args, const Env &env)
{
    return run(set, args, support::merged({{"DBUS_SESSION_BUS_ADDRESS", bus.address()}}, env));
}

namespace {

// Starts a service whose first line of output says it is ready, its
// standard error left to the test's; the line, empty when none came in 10 s.
std::string startService(const std::string &program, const std::vector<std::string> &args, const Env &env,
                         int *pid)
{
    support::Spawn spawn{program, args, support::merged(support::testEnvironment(), env)};
    spawn.err = support::Stream::Inherit;
    const support::Child child = support::spawn(spawn);
    *pid = child.pid;
    const std::string line = support::readLine(child.out, 10);
    ::close(child.out);
    return line;
}

} // namespace

SessionBus::SessionBus()
{
    const std::string config = m_dir.file("bus.conf");
    writeFile(config, "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                      " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                      "<busconfig>\n"
                      "  <type>session</type>\n"
                      "  <listen>unix:path=" +
                          m_dir.file("bus") +
                          "</listen>\n"
                          "  <policy context=\"default\">\n"
                          "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                          "    <allow eavesdrop=\"true\"/>\n"
                          "    <allow own=\"*\"/>\n"
                          "  </policy>\n"
                          "</busconfig>\n");
    m_address = startService("/usr/bin/dbus-daemon",
                             {"--config-file=" + config, "--nofork", "--print-address=1"}, {}, &m_pid);
    if (m_address.empty())
        throw std::runtime_error("dbus-daemon did not start");
}

SessionBus::~SessionBus()
{
    support::stop(m_pid);
}

Compositor::Compositor(const SessionBus &bus, const std::vector<std::string> &arguments)
{
    const std::string line =
        startService(FAKE_VANTOR_BINARY, arguments, {{"DBUS_SESSION_BUS_ADDRESS", bus.address()}}, &m_pid);
    if (line != "ready")
        throw std::runtime_error("fake-vantor did not start: " + line);
}

Compositor::~Compositor()
{
    support::stop(m_pid);
}

} // namespace e2e
