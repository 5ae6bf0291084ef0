#include "support.h"

#include <algorithm>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace wayland_test {

namespace {

// Starts program with env and its standard output going to log, and waits
// until the log has a line with want in it; returns that line, or an empty
// one when the program ends or stays silent for 10 s. A file rather than a
// pipe, so that nothing the program writes later can stop it.
std::string spawn(const std::string &program, const std::vector<std::string> &args, const e2e::Env &env,
                  const std::string &log, const std::string &want, int *pid)
{
    support::Spawn spawn{program, args, support::merged(support::pathOnly(), env)};
    spawn.out = support::Stream::File;
    spawn.file = log;
    spawn.err = support::Stream::Null;
    *pid = support::spawn(spawn).pid;
    for (int i = 0; i < 1000; ++i) {
        const std::string text = e2e::readFile(log);
        const size_t at = text.find(want);
        if (at != std::string::npos) {
            const size_t from = text.rfind('\n', at);
            const size_t begin = from == std::string::npos ? 0 : from + 1;
            const size_t end = text.find('\n', at);
            if (end != std::string::npos)
                return text.substr(begin, end - begin);
        }
        if (::waitpid(*pid, nullptr, WNOHANG) == *pid) {
            *pid = -1;
            return {};
        }
        ::usleep(10000);
    }
    return {};
}

using support::stop;

} // namespace

Compositor::Compositor() : m_dir(std::make_unique<e2e::TempDir>()) {}

Compositor::Compositor(Compositor &&other) noexcept
    : m_dir(std::move(other.m_dir)), m_pid(std::exchange(other.m_pid, -1)),
      m_socket(std::move(other.m_socket))
{}

Compositor::~Compositor()
{
    stop(m_pid);
}

Compositor Compositor::ours(const std::vector<std::string> &arguments)
{
    Compositor compositor;
    const std::string line =
        spawn(TEST_COMPOSITOR_BINARY, arguments, {{"XDG_RUNTIME_DIR", compositor.runtimeDir()}},
              compositor.m_dir->file("compositor.log"), "ready ", &compositor.m_pid);
    if (line.rfind("ready ", 0) != 0)
        throw std::runtime_error("the test compositor did not start");
    compositor.m_socket = line.substr(6);
    return compositor;
}

Compositor Compositor::phoc(const std::string &config, int outputs)
{
    Compositor compositor;
    if (::access("/usr/bin/phoc", X_OK) != 0)
        return compositor;
    const std::string ini = compositor.m_dir->file("phoc.ini");
    e2e::writeFile(ini, config);
    const std::string marker = "Running compositor on wayland display '";
    const std::string line = spawn("/usr/bin/phoc", {"-C", ini},
                                   {{"XDG_RUNTIME_DIR", compositor.runtimeDir()},
                                    {"WLR_BACKENDS", "headless"},
                                    {"WLR_RENDERER", "pixman"},
                                    {"WLR_HEADLESS_OUTPUTS", std::to_string(outputs)},
                                    {"WLR_LIBINPUT_NO_DEVICES", "1"},
                                    {"HOME", compositor.runtimeDir()},
                                    {"GSETTINGS_BACKEND", "memory"}},
                                   compositor.m_dir->file("phoc.log"), marker, &compositor.m_pid);
    const size_t at = line.find(marker);
    if (at == std::string::npos)
        return compositor;
    const size_t from = at + marker.size();
    compositor.m_socket = line.substr(from, line.find('\'', from) - from);
    // Its heads come a moment after the socket: wait until all are listed.
    for (int i = 0; i < 100; ++i) {
        const std::string names = run(compositor, {"list-outputs", "--names"}).out;
        if (std::count(names.begin(), names.end(), '\n') == outputs)
            return compositor;
        ::usleep(100000);
    }
    compositor.m_socket.clear();
    return compositor;
}

std::string Compositor::log() const
{
    return e2e::readFile(m_dir->file("compositor.log")) + e2e::readFile(m_dir->file("phoc.log"));
}

bool Compositor::signal(int number, const std::string &line) const
{
    const std::string before = log();
    if (::kill(m_pid, number) != 0)
        return false;
    // Polled: the compositor writes its log as a file.
    for (const double deadline = support::now() + 5; !line.empty(); ::usleep(10000)) {
        const std::string now = log();
        if (now.size() > before.size() && now.find(line + "\n", before.size()) != std::string::npos)
            return true;
        if (support::now() > deadline)
            return false;
    }
    return true;
}

e2e::Env Compositor::env() const
{
    return {
        {"DISPOR_BACKEND", "wayland"},
        {"XDG_RUNTIME_DIR", runtimeDir()},
        {"WAYLAND_DISPLAY", m_socket},
        {"QT_QPA_PLATFORM", "offscreen"},
    };
}

ErringCompositor::ErringCompositor(const std::string &path, const std::string &message) : m_path(path)
{
    // The display (id 1) sends error, its event 0, about the registry (id
    // 2), in this machine's byte order: object, code, then the message with
    // its NUL, padded to whole words.
    std::vector<uint32_t> event = {1, 0, 2, 0, uint32_t(message.size() + 1)};
    const size_t start = event.size();
    event.resize(start + (message.size() + 4) / 4);
    std::memcpy(&event[start], message.data(), message.size());
    event[1] = uint32_t(event.size() * 4) << 16;

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        throw std::runtime_error("socket path too long: " + path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0 || ::bind(listener, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listener, 16) != 0)
        throw std::runtime_error("cannot listen on " + path + ": " + std::strerror(errno));
    m_pid = ::fork();
    if (m_pid == 0) {
        // Gone with the test, whatever becomes of it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        for (;;) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            ::send(fd, event.data(), event.size() * 4, MSG_NOSIGNAL);
            // Until the client hangs up.
            char buffer[4096];
            while (::read(fd, buffer, sizeof buffer) > 0) {
            }
            ::close(fd);
        }
    }
    ::close(listener);
    if (m_pid < 0)
        throw std::runtime_error("cannot fork the erring compositor");
}

ErringCompositor::~ErringCompositor()
{
    stop(m_pid);
    ::unlink(m_path.c_str());
}

e2e::Result run(const Compositor &compositor, const std::vector<std::string> &args, const e2e::Env &env)
{
    e2e::Env merged = compositor.env();
    for (const auto &[key, value] : env)
        merged[key] = value;
    return e2e::runProgram(e2e::dispctlBinary(), args, merged);
}

void useInProcess(const Compositor &compositor)
{
    for (const auto &[key, value] : compositor.env()) {
        if (value)
            ::setenv(key.c_str(), value->c_str(), 1);
    }
}

std::string power(const Compositor &compositor, const std::vector<std::string> &names)
{
    std::map<std::string, std::string> modes;
    std::istringstream lines(compositor.log());
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string word, name, mode;
        if (words >> word >> name >> mode && word == "power" && (mode == "on" || mode == "off"))
            modes[name] = mode;
    }
    std::string text;
    for (const std::string &name : names)
        text += (text.empty() ? "" : " ") + name + ":" + (modes.contains(name) ? modes[name] : "on");
    return text;
}

namespace {

// An oracle run on the compositor, each line of its output given to parse,
// which files what it makes of it by key; the result in key order, or why
// the oracle failed.
template <typename Parse>
std::string ask(const Compositor &compositor, const std::string &program, Parse parse)
{
    const e2e::Result result = e2e::runProgram(program, {}, compositor.env());
    if (result.status != 0)
        return program + " failed: " + result.err;
    std::map<std::string, std::string> found;
    std::istringstream lines(result.out + "\n");
    for (std::string line; std::getline(lines, line);)
        parse(line, found);
    std::string text;
    for (const auto &[key, value] : found)
        text += value;
    return text;
}

} // namespace

std::string wlrRandr(const Compositor &compositor)
{
    std::string name, enabled, mode, position, transform, scale;
    return ask(compositor, "/usr/bin/wlr-randr", [&](const std::string &line, auto &heads) {
        std::istringstream words(line);
        std::string first;
        words >> first;
        // A head ends where the next begins, or at the final empty line.
        if (line.empty() || line[0] != ' ') {
            if (!name.empty())
                heads[name] =
                    name + " " + enabled +
                    (enabled == "on" ? " " + position + " " + mode + " " + transform + " " + scale : "") +
                    "\n";
            name = first;
            enabled = mode = position = transform = scale = "";
        } else if (first == "Enabled:") {
            std::string value;
            words >> value;
            enabled = value == "yes" ? "on" : "off";
        } else if (first == "Position:" || first == "Transform:" || first == "Scale:") {
            words >> (first == "Position:" ? position : first == "Scale:" ? scale : transform);
        } else if (line.ends_with("(current)")) {
            mode = first;
        }
    });
}

std::string logicalLayout(const Compositor &compositor)
{
    std::string name;
    int x = 0, y = 0;
    return ask(compositor, "/usr/bin/wayland-info", [&](std::string line, auto &outputs) {
        const size_t at = line.find_first_not_of(" \t");
        line = at == std::string::npos ? "" : line.substr(at);
        int w = 0, h = 0;
        char quoted[128] = {};
        if (std::sscanf(line.c_str(), "name: '%127[^']'", quoted) == 1)
            name = quoted;
        else if (std::sscanf(line.c_str(), "logical_x: %d, logical_y: %d", &x, &y) == 2)
            return;
        else if (std::sscanf(line.c_str(), "logical_width: %d, logical_height: %d", &w, &h) == 2 &&
                 !name.empty())
            outputs[name] = name + " " + std::to_string(x) + "," + std::to_string(y) + " " +
                            std::to_string(w) + "x" + std::to_string(h) + "\n";
    });
}

} // namespace wayland_test
