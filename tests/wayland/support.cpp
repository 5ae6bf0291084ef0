#include "support.h"

#include <dispor/dispor.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace wayland_test {

namespace {

// Starts program with the runtime directory and reads lines of its output
// (standard output, or standard error with fromErr) until one has want in
// it; returns that line, or an empty one when the program ends or stays
// silent for 10 s.
std::string spawn(const std::string &program, const std::vector<std::string> &args, const e2e::Env &env,
                  bool fromErr, const std::string &want, int *pid)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    std::vector<std::string> environment;
    for (const char *keep : {"PATH"}) {
        if (const char *value = std::getenv(keep))
            environment.push_back(std::string(keep) + "=" + value);
    }
    for (const auto &[key, value] : env) {
        if (value)
            environment.push_back(key + "=" + *value);
    }
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (std::string &entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    *pid = ::fork();
    if (*pid < 0)
        throw std::runtime_error("fork failed");
    if (*pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(fromErr ? null : pipeFds[1], STDOUT_FILENO);
        ::dup2(fromErr ? pipeFds[1] : null, STDERR_FILENO);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    std::string line;
    while (true) {
        pollfd pfd{pipeFds[0], POLLIN, 0};
        const int ready = ::poll(&pfd, 1, 10000);
        if (ready < 0 && errno == EINTR)
            continue;
        char c;
        if (ready <= 0 || ::read(pipeFds[0], &c, 1) != 1) {
            line.clear();
            break;
        }
        if (c != '\n') {
            line += c;
            continue;
        }
        if (line.find(want) != std::string::npos)
            break;
        line.clear();
    }
    // Whatever it writes later goes nowhere: a full pipe must not stop it.
    ::close(pipeFds[0]);
    return line;
}

void stop(int pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

Compositor::Compositor() : m_dir(std::make_unique<e2e::TempDir>()) {}

Compositor::Compositor(Compositor &&other) noexcept
    : m_dir(std::move(other.m_dir)), m_pid(std::exchange(other.m_pid, -1)), m_socket(std::move(other.m_socket))
{
}

Compositor::~Compositor()
{
    stop(m_pid);
}

Compositor Compositor::ours(const std::vector<std::string> &arguments)
{
    Compositor compositor;
    const std::string line = spawn(TEST_COMPOSITOR_BINARY, arguments, {{"XDG_RUNTIME_DIR", compositor.runtimeDir()}},
                                   false, "ready ", &compositor.m_pid);
    if (line.rfind("ready ", 0) != 0)
        throw std::runtime_error("the test compositor did not start");
    compositor.m_socket = line.substr(6);
    return compositor;
}

Compositor Compositor::phoc(const std::string &config)
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
                                    {"WLR_HEADLESS_OUTPUTS", "2"},
                                    {"WLR_LIBINPUT_NO_DEVICES", "1"},
                                    {"HOME", compositor.runtimeDir()},
                                    {"GSETTINGS_BACKEND", "memory"}},
                                   false, marker, &compositor.m_pid);
    const size_t at = line.find(marker);
    if (at == std::string::npos)
        return compositor;
    const size_t from = at + marker.size();
    compositor.m_socket = line.substr(from, line.find('\'', from) - from);
    // Its heads come a moment after the socket: wait until both are listed.
    for (int i = 0; i < 100; ++i) {
        if (run(compositor, {"list-outputs", "--names"}).out == "HEADLESS-1\nHEADLESS-2\n"
            || run(compositor, {"list-outputs", "--names"}).out == "HEADLESS-2\nHEADLESS-1\n")
            return compositor;
        ::usleep(100000);
    }
    compositor.m_socket.clear();
    return compositor;
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

e2e::Result run(const Compositor &compositor, const std::vector<std::string> &args, const e2e::Env &env)
{
    e2e::Env merged = compositor.env();
    for (const auto &[key, value] : env)
        merged[key] = value;
    return e2e::runProgram(e2e::dispctlBinary(), args, merged);
}

std::string layout(const Compositor &compositor)
{
    const e2e::Result listed = run(compositor, {"list-outputs", "--json"});
    if (listed.status != 0)
        return "list-outputs failed: " + listed.err;
    std::string text;
    for (const QJsonValue &value : QJsonDocument::fromJson(QByteArray::fromStdString(listed.out)).array()) {
        const QJsonObject output = value.toObject();
        const QJsonObject position = output["position"].toObject();
        QString mode = "-";
        if (output["mode"].isObject()) {
            const QJsonObject current = output["mode"].toObject();
            const QJsonObject size = current["resolution"].toObject();
            mode = QString("%1x%2@%3")
                       .arg(size["width"].toInt())
                       .arg(size["height"].toInt())
                       .arg(current["refreshRate"].toDouble(), 0, 'f', 2);
        }
        text += QString("%1 %2 %3,%4 %5 %6 %7\n")
                    .arg(output["name"].toString(), output["enabled"].toBool() ? "on" : "off")
                    .arg(position["x"].toInt())
                    .arg(position["y"].toInt())
                    .arg(mode, output["rotation"].toString())
                    .arg(output["scale"].toDouble())
                    .toStdString();
    }
    return text;
}

void useInProcess(const Compositor &compositor)
{
    for (const auto &[key, value] : compositor.env()) {
        if (value)
            ::setenv(key.c_str(), value->c_str(), 1);
    }
}

std::string power(const Compositor &compositor)
{
    useInProcess(compositor);
    Dispor::GetConfigOperation fetch;
    if (!fetch.exec())
        return "fetch failed";
    std::string text;
    for (const Dispor::OutputPtr &output : fetch.config()->outputs()) {
        static const char *const words[] = {"on", "standby", "suspend", "off"};
        text += (text.empty() ? "" : " ") + output->name().toStdString() + ":"
            + words[static_cast<int>(output->dpmsMode())];
    }
    return text;
}

} // namespace wayland_test
