#include "support.h"

#include <QRegularExpression>
#include <QString>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace gnome_test {

namespace {

// Starts program with PATH and env, its output going to log; descriptor 3
// is ready when ready is given.
int spawn(const std::string &program, const std::vector<std::string> &args, const e2e::Env &env,
          const std::string &log, int ready = -1)
{
    support::Spawn spawn{program, args, support::merged(support::pathOnly(), env)};
    spawn.out = spawn.err = support::Stream::File;
    spawn.file = log;
    spawn.fd3 = ready;
    return support::spawn(spawn).pid;
}

using support::stop;

const std::vector<std::string> displayConfig = {"--dest", "org.gnome.Mutter.DisplayConfig", "--object-path",
                                                "/org/gnome/Mutter/DisplayConfig"};

} // namespace

Mutter::~Mutter()
{
    // A test may have left it stopped.
    signal(SIGCONT);
    stop(m_pid);
    stop(m_xvfb);
}

bool Mutter::start(const std::vector<std::string> &args, const e2e::Env &extra)
{
    m_bus = std::make_unique<e2e::SessionBus>();
    e2e::Env env = {
        {"XDG_RUNTIME_DIR", m_dir.path()},         {"HOME", m_dir.path()},
        {"XDG_CONFIG_HOME", m_dir.file("config")}, {"XDG_CACHE_HOME", m_dir.file("cache")},
        {"GSETTINGS_BACKEND", "memory"},           {"DBUS_SESSION_BUS_ADDRESS", m_bus->address()},
    };
    for (const auto &[key, value] : extra)
        env[key] = value;
    std::vector<std::string> all = args;
    all.push_back("--wayland-display=mutter-test");
    m_pid = spawn("/usr/bin/mutter", all, env, m_dir.file("mutter.log"));
    // Ready when its socket is there and it owns its name: usually well
    // under a second; 15 s at most.
    for (int i = 0; i < 300; ++i) {
        if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            return false;
        }
        if (e2e::fileExists(m_dir.file("mutter-test"))
            && gdbus(*this, {"call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
                             "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.NameHasOwner",
                             "org.gnome.Mutter.DisplayConfig"})
                   == "(true,)\n")
            return true;
        ::usleep(50000);
    }
    return false;
}

std::unique_ptr<Mutter> Mutter::headless(const std::vector<std::string> &monitors, bool fractional)
{
    std::unique_ptr<Mutter> mutter(new Mutter);
    e2e::Env env;
    if (fractional) {
        const std::string settings = mutter->m_dir.file("config/glib-2.0/settings");
        std::filesystem::create_directories(settings);
        e2e::writeFile(settings + "/keyfile",
                       "[org/gnome/mutter]\nexperimental-features=['scale-monitor-framebuffer']\n");
        env["GSETTINGS_BACKEND"] = "keyfile";
    }
    std::vector<std::string> args = {"--headless", "--wayland", "--no-x11"};
    for (const std::string &monitor : monitors) {
        args.push_back("--virtual-monitor");
        args.push_back(monitor);
    }
    if (!mutter->start(args, env))
        throw std::runtime_error("mutter did not start: " + e2e::readFile(mutter->m_dir.file("mutter.log")));
    return mutter;
}

std::unique_ptr<Mutter> Mutter::nested()
{
    if (::access("/usr/bin/Xvfb", X_OK) != 0)
        return {};
    std::unique_ptr<Mutter> mutter(new Mutter);
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    mutter->m_xvfb = spawn("/usr/bin/Xvfb", {"-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "1920x1080x24"},
                           {}, mutter->m_dir.file("xvfb.log"), ready[1]);
    ::close(ready[1]);
    // Xvfb writes its display number once it listens: 10 s at most.
    const std::string number = support::readLine(ready[0], 10);
    ::close(ready[0]);
    if (number.empty())
        throw std::runtime_error("Xvfb did not name its display within 10 s");
    const std::string display = ":" + number;
    if (!mutter->start({"--nested"}, {{"DISPLAY", display},
                                      {"MUTTER_DEBUG_NUM_DUMMY_MONITORS", "2"},
                                      {"MUTTER_DEBUG_DUMMY_MODE_SPECS", "1920x1080:1280x720@50:1024x768"}}))
        throw std::runtime_error("nested mutter did not start: " + e2e::readFile(mutter->m_dir.file("mutter.log")));
    return mutter;
}

e2e::Env Mutter::env() const
{
    return {
        {"DISPOR_BACKEND", "gnome"},
        {"DBUS_SESSION_BUS_ADDRESS", m_bus->address()},
        {"XDG_RUNTIME_DIR", m_dir.path()},
        {"QT_QPA_PLATFORM", "offscreen"},
    };
}

std::string Mutter::state() const
{
    std::vector<std::string> args = {"call", "--session"};
    args.insert(args.end(), displayConfig.begin(), displayConfig.end());
    args.insert(args.end(), {"--method", "org.gnome.Mutter.DisplayConfig.GetCurrentState"});
    return gdbus(*this, args);
}

std::string Mutter::logical() const
{
    // GVariant text: (x, y, scale, [uint32] transform, primary, [monitors], props)
    static const QRegularExpression logicalMonitor(
        R"(\((-?\d+), (-?\d+), ([\d.]+), (?:uint32 )?(\d+), (true|false), \[([^\]]*)\])");
    static const QRegularExpression connector(R"(\('([^']*)', '[^']*', '[^']*', '[^']*'\))");
    QStringList lines;
    auto logicals = logicalMonitor.globalMatch(QString::fromStdString(state()));
    while (logicals.hasNext()) {
        const QRegularExpressionMatch m = logicals.next();
        QString line = m.captured(1) + u',' + m.captured(2) + u' ' + QString::number(m.captured(3).toDouble(), 'g', 16)
            + u' ' + m.captured(4) + (m.captured(5) == u"true" ? u" primary"_qs : QString());
        auto connectors = connector.globalMatch(m.captured(6));
        while (connectors.hasNext())
            line += u' ' + connectors.next().captured(1);
        lines.append(line + u'\n');
    }
    // In text order: mutter's own order changes with the layout.
    lines.sort();
    return lines.join(QString()).toStdString();
}

std::string Mutter::modes() const
{
    static const QRegularExpression monitor(R"(\(\('([^']*)', '[^']*', '[^']*', '[^']*'\), \[)");
    static const QRegularExpression current(R"(\('([^']*)', \d+, \d+, [\d.]+, [\d.]+, \[[^\]]*\], \{'is-current': <true>)");
    const QString all = QString::fromStdString(state());
    std::string text;
    auto monitors = monitor.globalMatch(all);
    QList<QRegularExpressionMatch> starts;
    while (monitors.hasNext())
        starts.append(monitors.next());
    for (qsizetype i = 0; i < starts.size(); ++i) {
        const qsizetype end = i + 1 < starts.size() ? starts[i + 1].capturedStart() : all.indexOf(u"], [(");
        const QString chunk = all.mid(starts[i].capturedStart(), end - starts[i].capturedStart());
        const QRegularExpressionMatch mode = current.match(chunk);
        if (mode.hasMatch())
            text += (starts[i].captured(1) + u':' + mode.captured(1)).toStdString() + "\n";
    }
    return text;
}

int Mutter::power() const
{
    std::vector<std::string> args = {"call", "--session"};
    args.insert(args.end(), displayConfig.begin(), displayConfig.end());
    args.insert(args.end(), {"--method", "org.freedesktop.DBus.Properties.Get", "org.gnome.Mutter.DisplayConfig",
                             "PowerSaveMode"});
    const std::string answer = gdbus(*this, args); // "(<3>,)"
    if (answer.rfind("(<", 0) != 0)
        return -1;
    return std::atoi(answer.c_str() + 2);
}

void Mutter::signal(int number) const
{
    if (m_pid > 0)
        ::kill(m_pid, number);
}

support::Child start(const Mutter &mutter, const std::vector<std::string> &args)
{
    return support::spawn(
        {e2e::dispctlBinary(), args, support::merged(support::testEnvironment(), mutter.env())});
}

e2e::Result finish(const support::Child &child, double timeoutSeconds)
{
    e2e::Result result;
    if (!support::drain(child.out, child.err, support::now() + timeoutSeconds, result.out, result.err))
        ::kill(child.pid, SIGKILL);
    result.status = support::waitStatus(child.pid);
    return result;
}

e2e::Result run(const Mutter &mutter, const std::vector<std::string> &args, const e2e::Env &env)
{
    e2e::Env merged = mutter.env();
    for (const auto &[key, value] : env)
        merged[key] = value;
    return e2e::runProgram(e2e::dispctlBinary(), args, merged);
}

std::string gdbus(const Mutter &mutter, const std::vector<std::string> &args)
{
    const e2e::Result result =
        e2e::runProgram("/usr/bin/gdbus", args, {{"DBUS_SESSION_BUS_ADDRESS", mutter.busAddress()}}, std::nullopt, 10);
    return result.status == 0 ? result.out : "failed: " + result.err;
}

} // namespace gnome_test
