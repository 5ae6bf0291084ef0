#include "support.h"

#include "support/tree.h"

#include <dispor/dispor.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QRegularExpression>
#include <QString>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
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

// A session bus listening at dir/name, its policy as e2e::SessionBus's.
std::string startBus(const std::string &dir, int *pid, const std::string &name = "bus")
{
    const std::string config = dir + "/" + name + ".conf";
    e2e::writeFile(config,
                   "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                   " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                   "<busconfig><type>session</type><listen>unix:path=" +
                       dir + "/" + name +
                       "</listen><policy context=\"default\"><allow send_destination=\"*\" "
                       "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy>"
                       "</busconfig>\n");
    support::Spawn spawn{"/usr/bin/dbus-daemon",
                         {"--config-file=" + config, "--nofork", "--print-address=1"},
                         support::pathOnly()};
    spawn.err = support::Stream::Inherit;
    const support::Child child = support::spawn(spawn);
    *pid = child.pid;
    // It prints its address once it listens: 10 s at most.
    const std::string address = support::readLine(child.out, 10);
    ::close(child.out);
    if (address.empty())
        throw std::runtime_error("dbus-daemon did not start within 10 s");
    return address;
}

QDBusMessage busCall(const QString &member, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        u"org.freedesktop.DBus"_qs, u"/org/freedesktop/DBus"_qs, u"org.freedesktop.DBus"_qs, member);
    message.setArguments(arguments);
    return message;
}

const QString turnName = u"org.dispctl.Dispor.GnomeApply"_qs;

const std::vector<std::string> displayConfig = {"--dest", "org.gnome.Mutter.DisplayConfig", "--object-path",
                                                "/org/gnome/Mutter/DisplayConfig"};

} // namespace

void application()
{
    static int argc = 1;
    static char name[] = "gnome_tests";
    static char *argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
}

Mutter::Mutter(const std::string &tree) : m_tree(tree), m_dir(tree.empty() ? std::string() : tree + "/tmp")
{
    m_address = startBus(m_dir.path(), &m_bus);
}

Mutter::~Mutter()
{
    // A test may have left it stopped.
    signal(SIGCONT);
    stop(m_pid);
    stop(m_xvfb);
    stop(m_bus);
    stop(m_systemBus);
}

bool Mutter::start(const std::vector<std::string> &args, const e2e::Env &extra, const std::string &program)
{
    // Paths as mutter sees them: inside the tree, the part below it.
    const std::string dir = m_dir.path().substr(m_tree.size());
    e2e::Env env = {
        {"XDG_RUNTIME_DIR", dir},
        {"HOME", dir},
        {"XDG_CONFIG_HOME", dir + "/config"},
        {"XDG_CACHE_HOME", dir + "/cache"},
        {"GSETTINGS_BACKEND", "memory"},
        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir + "/bus"},
    };
    for (const auto &[key, value] : extra)
        env[key] = value;
    std::vector<std::string> all = args;
    all.push_back("--wayland-display=mutter-test");
    if (m_systemBus > 0)
        env["DBUS_SYSTEM_BUS_ADDRESS"] = "unix:path=" + dir + "/system-bus";
    if (m_tree.empty()) {
        m_pid = spawn("/usr/bin/" + program, all, env, m_dir.file("mutter.log"));
    } else {
        all.insert(all.begin(), program);
        support::Spawn how = support::inTree(m_tree, all, env);
        how.out = how.err = support::Stream::File;
        how.file = m_dir.file("mutter.log");
        m_pid = support::spawn(how).pid; // mutter's own: the steps before it exec
    }
    // Ready when its socket is there and it owns its name: usually well
    // under a second (about 1 s for mutter 48); 15 s at most.
    for (int i = 0; i < 300; ++i) {
        if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            return false;
        }
        if (e2e::fileExists(m_dir.file("mutter-test")) && owned("org.gnome.Mutter.DisplayConfig"))
            return true;
        ::usleep(50000);
    }
    return false;
}

bool Mutter::startHeadless(const std::vector<std::string> &monitors, bool fractional,
                           const std::string &program)
{
    e2e::Env env;
    if (fractional) {
        const std::string settings = m_dir.file("config/glib-2.0/settings");
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
    return start(args, env, program);
}

std::unique_ptr<Mutter> Mutter::headless(const std::vector<std::string> &monitors, bool fractional)
{
    std::unique_ptr<Mutter> mutter(new Mutter);
    if (!mutter->startHeadless(monitors, fractional))
        throw std::runtime_error("mutter did not start: " + e2e::readFile(mutter->m_dir.file("mutter.log")));
    return mutter;
}

int Mutter::startXvfb()
{
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    const std::vector<std::string> args = {"-displayfd", "3", "-nolisten",   "tcp",
                                           "-screen",    "0", "1920x1080x24"};
    if (m_tree.empty()) {
        m_xvfb = spawn("/usr/bin/Xvfb", args, {}, m_dir.file("xvfb.log"), ready[1]);
    } else {
        std::vector<std::string> all = args;
        all.insert(all.begin(), "Xvfb");
        support::Spawn how = support::inTree(m_tree, all, {});
        how.out = how.err = support::Stream::File;
        how.file = m_dir.file("xvfb.log");
        how.fd3 = ready[1];
        m_xvfb = support::spawn(how).pid;
    }
    ::close(ready[1]);
    // Xvfb writes its display number once it listens: 10 s at most.
    const std::string number = support::readLine(ready[0], 10);
    ::close(ready[0]);
    if (number.empty())
        throw std::runtime_error("Xvfb did not name its display within 10 s");
    return std::stoi(number);
}

std::unique_ptr<Mutter> Mutter::nested()
{
    if (::access("/usr/bin/Xvfb", X_OK) != 0)
        return {};
    std::unique_ptr<Mutter> mutter(new Mutter);
    const std::string display = ":" + std::to_string(mutter->startXvfb());
    if (!mutter->start({"--nested"}, {{"DISPLAY", display},
                                      {"MUTTER_DEBUG_NUM_DUMMY_MONITORS", "2"},
                                      {"MUTTER_DEBUG_DUMMY_MODE_SPECS", "1920x1080:1280x720@50:1024x768"}}))
        throw std::runtime_error("nested mutter did not start: " +
                                 e2e::readFile(mutter->m_dir.file("mutter.log")));
    return mutter;
}

std::unique_ptr<Mutter> Mutter::modern(const std::vector<std::string> &monitors, bool fractional)
{
    const std::string tree = support::modernTree();
    if (tree.empty())
        return {};
    std::unique_ptr<Mutter> mutter(new Mutter(tree));
    if (!mutter->startHeadless(monitors, fractional))
        throw std::runtime_error("mutter 48 did not start: " +
                                 e2e::readFile(mutter->m_dir.file("mutter.log")));
    return mutter;
}

std::unique_ptr<Mutter> Mutter::shell(const std::vector<std::string> &monitors, bool modern)
{
    const std::string tree = modern ? support::modernTree() : std::string();
    if ((modern && tree.empty()) || ::access((tree + "/usr/bin/gnome-shell").c_str(), X_OK) != 0)
        return {};
    std::unique_ptr<Mutter> shell(new Mutter(tree));
    // Without a system bus it ends at once, looking for logind.
    startBus(shell->m_dir.path(), &shell->m_systemBus, "system-bus");
    // Ready once it owns its own name too: 15 s at most.
    bool ready = shell->startHeadless(monitors, false, "gnome-shell");
    for (int i = 0; ready && i < 300 && !shell->owned("org.gnome.Shell"); ++i)
        ::usleep(50000);
    if (!ready || !shell->owned("org.gnome.Shell"))
        throw std::runtime_error("gnome-shell did not start: " +
                                 e2e::readFile(shell->m_dir.file("mutter.log")));
    return shell;
}

std::unique_ptr<Mutter> Mutter::modernNested()
{
    const std::string tree = support::modernTree();
    if (tree.empty())
        return {};
    std::unique_ptr<Mutter> mutter(new Mutter(tree));
    const std::string display = ":" + std::to_string(mutter->startXvfb());
    // No Xwayland of its own: nothing here needs one.
    if (!mutter->start({"--nested", "--no-x11"},
                       {{"DISPLAY", display},
                        {"MUTTER_DEBUG_NUM_DUMMY_MONITORS", "2"},
                        {"MUTTER_DEBUG_DUMMY_MODE_SPECS", "1920x1080:1280x720@50:1024x768"}}))
        throw std::runtime_error("nested mutter 48 did not start: " +
                                 e2e::readFile(mutter->m_dir.file("mutter.log")));
    return mutter;
}

e2e::Env Mutter::env() const
{
    return {
        {"DISPOR_BACKEND", "gnome"},       {"DBUS_SESSION_BUS_ADDRESS", m_address},
        {"XDG_RUNTIME_DIR", m_dir.path()}, {"WAYLAND_DISPLAY", "mutter-test"},
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
        QString line = m.captured(1) + u',' + m.captured(2) + u' ' +
                       QString::number(m.captured(3).toDouble(), 'g', 16) + u' ' + m.captured(4) +
                       (m.captured(5) == u"true" ? u" primary"_qs : QString());
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
    static const QRegularExpression current(
        R"(\('([^']*)', \d+, \d+, [\d.]+, [\d.]+, \[[^\]]*\], \{'is-current': <true>)");
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

std::string Mutter::property(const std::string &name) const
{
    std::vector<std::string> args = {"call", "--session"};
    args.insert(args.end(), displayConfig.begin(), displayConfig.end());
    args.insert(args.end(),
                {"--method", "org.freedesktop.DBus.Properties.Get", "org.gnome.Mutter.DisplayConfig", name});
    return gdbus(*this, args);
}

int Mutter::power() const
{
    const std::string answer = property("PowerSaveMode"); // "(<3>,)"
    if (answer.rfind("(<", 0) != 0)
        return -1;
    return std::atoi(answer.c_str() + 2);
}

std::string Mutter::colorModes() const
{
    static const QRegularExpression monitor(R"(\(\('([^']*)', '[^']*', '[^']*', '[^']*'\), \[)");
    static const QRegularExpression modes(
        R"('color-mode': <uint32 (\d+)>, 'supported-color-modes': <\[(?:uint32 )?([^\]]*)\]>)");
    const QString all = QString::fromStdString(state());
    QList<QRegularExpressionMatch> starts;
    for (auto monitors = monitor.globalMatch(all); monitors.hasNext();)
        starts.append(monitors.next());
    std::string text;
    for (qsizetype i = 0; i < starts.size(); ++i) {
        const qsizetype end = i + 1 < starts.size() ? starts[i + 1].capturedStart() : all.indexOf(u"], [(");
        const QRegularExpressionMatch m =
            modes.match(all.mid(starts[i].capturedStart(), end - starts[i].capturedStart()));
        if (m.hasMatch())
            text += (starts[i].captured(1) + u' ' + m.captured(1) + u' ' + m.captured(2).remove(u','))
                        .toStdString() +
                    "\n";
    }
    return text;
}

std::string Mutter::luminance() const
{
    static const QRegularExpression entry(
        R"(\{'connector': <'([^']*)'>, 'color-mode': <uint32 (\d+)>, 'luminance': )"
        R"(<([-\d.e+]+)>, 'default': <[^>]*>, 'is-unset': <(true|false)>\})");
    const std::string answer = property("Luminance");
    if (answer.rfind("failed", 0) == 0)
        return answer;
    std::string text;
    for (auto entries = entry.globalMatch(QString::fromStdString(answer)); entries.hasNext();) {
        const QRegularExpressionMatch m = entries.next();
        text += (m.captured(1) + u' ' + m.captured(2) + u' ' + QString::number(m.captured(3).toDouble()) +
                 (m.captured(4) == u"true" ? u" unset"_qs : QString()))
                    .toStdString() +
                "\n";
    }
    return text;
}

std::string Mutter::backlight() const
{
    static const QRegularExpression entry(R"(\{'connector': <'([^']*)'>([^}]*)\})");
    static const QRegularExpression value(R"('value': <(-?\d+)>)");
    const std::string answer = property("Backlight");
    if (answer.rfind("failed", 0) == 0)
        return answer;
    std::string text;
    for (auto entries = entry.globalMatch(QString::fromStdString(answer)); entries.hasNext();) {
        const QRegularExpressionMatch m = entries.next();
        const QRegularExpressionMatch level = value.match(m.captured(2));
        text +=
            (m.captured(1) + (level.hasMatch() ? u' ' + level.captured(1) : QString())).toStdString() + "\n";
    }
    return text;
}

bool Mutter::owned(const std::string &name) const
{
    return gdbus(*this, {"call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
                         "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.NameHasOwner", name}) ==
           "(true,)\n";
}

void Mutter::signal(int number) const
{
    if (m_pid > 0)
        ::kill(m_pid, number);
}

support::Child start(const Mutter &mutter, const std::vector<std::string> &args, const e2e::Env &env)
{
    return support::spawn({e2e::dispctlBinary(), args,
                           support::merged(support::merged(support::testEnvironment(), mutter.env()), env)});
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

TurnHolder::TurnHolder(const Mutter &mutter)
{
    application();
    static int holders = 0;
    m_connection = "turn-holder-" + std::to_string(++holders);
    const QDBusConnection connection = QDBusConnection::connectToBus(
        QString::fromStdString(mutter.busAddress()), QString::fromStdString(m_connection));
    const QDBusMessage reply =
        connection.call(busCall(u"RequestName"_qs, {turnName, 0u}), QDBus::Block, 10000);
    if (reply.arguments().value(0).toUInt() != 1)
        throw std::runtime_error("cannot own the turn's name: " + reply.errorMessage().toStdString());
}

TurnHolder::~TurnHolder()
{
    QDBusConnection::disconnectFromBus(QString::fromStdString(m_connection));
}

int TurnHolder::waiting() const
{
    const QDBusMessage reply = QDBusConnection(QString::fromStdString(m_connection))
                                   .call(busCall(u"ListQueuedOwners"_qs, {turnName}), QDBus::Block, 10000);
    return int(reply.arguments().value(0).toStringList().size()) - 1;
}

std::string gdbus(const Mutter &mutter, const std::vector<std::string> &args)
{
    const e2e::Result result = e2e::runProgram(
        "/usr/bin/gdbus", args, {{"DBUS_SESSION_BUS_ADDRESS", mutter.busAddress()}}, std::nullopt, 10);
    return result.status == 0 ? result.out : "failed: " + result.err;
}

void runSteps(const Mutter &mutter, const std::vector<Step> &steps)
{
    for (const Step &step : steps) {
        std::string line;
        for (const std::string &arg : step.args)
            line += arg + " ";
        SCOPED_TRACE(line);
        const std::string before = mutter.logical();
        std::optional<BusProxy> proxy;
        e2e::Env env;
        if (!step.meddling.empty()) {
            proxy.emplace(mutter.busDir() + "/bus", mutter.runtimeDir() + "/proxy", step.meddling);
            env["DBUS_SESSION_BUS_ADDRESS"] = proxy->address();
        }
        const e2e::Result result = run(mutter, step.args, env);
        EXPECT_EQ(result, (e2e::Result{step.err.empty() ? 0 : 1, "", step.err}));
        EXPECT_EQ(mutter.logical(), step.logical.empty() ? before : step.logical);
        if (!step.modes.empty()) {
            EXPECT_EQ(mutter.modes(), step.modes);
        }
    }
}

void layoutOnHeadless(const Mutter &mutter, const std::string &hdrRefused)
{
    ASSERT_EQ(mutter.logical(), "0,0 1 0 primary Meta-0\n1920,0 1 0 Meta-1\n");
    // Bare mutter: label windows, with no gnome-shell to ask.
    identifyWithLabels(mutter, noShell);
    const std::string disabled =
        "Failed to apply output configuration: Meta-0 is disabled: enable it first (set-enabled true)\n";
    runSteps(
        mutter,
        {
            // The active output only while one is enabled.
            {{"active-output", "set-rotation", "normal"},
             "Failed to determine active output: " + locatorAbsent +
                 "on this desktop the active output is known only when exactly one output is enabled, and 2 "
                 "are\nUnknown output: active-output\n",
             ""},
            // Mutter confirmed the change and its read-back went unanswered: unknown.
            {{"Meta-1", "set-rotation", "90"},
             "Failed to apply output configuration: the change was sent and confirmed, but mutter did not "
             "answer the read-back within 3 s; it may be in effect\n",
             "0,0 1 0 primary Meta-0\n1920,0 1 1 Meta-1\n",
             "",
             {{"ApplyMonitorsConfig", "GetCurrentState", "", ""}}},
            {{"Meta-1", "set-rotation", "90"}, "", "0,0 1 0 primary Meta-0\n1920,0 1 1 Meta-1\n"},
            // The default layout mode sizes outputs by their modes, whatever the scale.
            {{"Meta-0", "set-scale", "200%"}, "", "0,0 2 0 primary Meta-0\n1920,0 1 1 Meta-1\n"},
            {{"Meta-0", "set-scale", "150%"},
             "Failed to apply output configuration: Meta-0: mutter offers the scales 1, 2 for "
             "1920x1080@60.000, not 1.5; "
             "fractional scales need mutter's experimental feature \"scale-monitor-framebuffer\", which "
             "is off\n",
             ""},
            // Near a listed scale is not one.
            {{"Meta-0", "set-scale", "199%"},
             "Failed to apply output configuration: Meta-0: mutter offers the scales 1, 2 for "
             "1920x1080@60.000, not 1.99; "
             "fractional scales need mutter's experimental feature \"scale-monitor-framebuffer\", which "
             "is off\n",
             ""},
            {{"Meta-0", "below", "Meta-1"}, "", "0,0 1 1 Meta-1\n0,1920 2 0 primary Meta-0\n"},
            {{"Meta-1", "set-primary"}, "", "0,0 1 1 primary Meta-1\n0,1920 2 0 Meta-0\n"},
            {{"Meta-1", "set-rotation", "normal"}, "", "0,0 1 0 primary Meta-1\n0,1080 2 0 Meta-0\n"},
            {{"Meta-0", "set-rotation", "180"}, "", "0,0 1 0 primary Meta-1\n0,1080 2 2 Meta-0\n"},
            {{"Meta-0", "set-enabled", "false"}, "", "0,0 1 0 primary Meta-1\n"},
            {{"active-output", "set-rotation", "normal"}, "", ""},
            // Mutter would keep none of these for a disabled monitor.
            {{"Meta-0", "set-rotation", "90"}, disabled, ""},
            {{"Meta-0", "set-position", "100", "100"}, disabled, ""},
            {{"Meta-0", "set-scale", "200%"}, disabled, ""},
            {{"Meta-0", "below", "Meta-1"}, disabled, ""},
            {{"Meta-0", "right-of", "Meta-1"}, disabled, ""},
            {{"Meta-0", "above", "Meta-1"}, disabled, ""},
            {{"Meta-0", "left-of", "Meta-1"}, disabled, ""},
            {{"Meta-0", "set-replica-of", "Meta-1"}, disabled, ""},
            {{"Meta-0", "set-primary"}, disabled, ""},
            // Back with the scale, rotation and place it had.
            {{"Meta-0", "set-enabled", "true"}, "", "0,0 1 0 primary Meta-1\n0,1080 2 2 Meta-0\n"},
            {{"Meta-0", "set-replica-of", "Meta-1"}, "", "0,0 1 0 primary Meta-1 Meta-0\n"},
            {{"Meta-0", "set-replica-of", "none"}, "", "0,0 1 0 primary Meta-1\n1920,0 1 0 Meta-0\n"},
            // A mirror placed against its own source mirrors no more.
            {{"Meta-0", "set-replica-of", "Meta-1"}, "", "0,0 1 0 primary Meta-1 Meta-0\n"},
            {{"Meta-0", "above", "Meta-1"}, "", "0,0 1 0 Meta-0\n0,1080 1 0 primary Meta-1\n"},
            {{"Meta-0", "set-replica-of", "Meta-1"}, "", "0,0 1 0 primary Meta-1 Meta-0\n"},
            {{"Meta-0", "left-of", "Meta-1"}, "", "0,0 1 0 Meta-0\n1920,0 1 0 primary Meta-1\n"},
            {{"Meta-0", "set-hdr", "true"},
             "Failed to apply output configuration: Meta-0: " + hdrRefused + "\n",
             ""},
            {{"Meta-0", "set-rgb-range", "full"},
             "Failed to apply output configuration: Meta-0: cannot change the RGB range: the output has "
             "no RGB range setting\n",
             ""},
        });
    // Power goes through PowerSaveMode.
    EXPECT_EQ(run(mutter, {"off"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(mutter.power(), 3);
    EXPECT_EQ(run(mutter, {"on"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(mutter.power(), 0);
    // Applied for the session only: nothing saved for the next start.
    EXPECT_FALSE(e2e::fileExists(mutter.configDir() + "/monitors.xml"));
}

void modesOnNested(const Mutter &mutter)
{
    ASSERT_EQ(mutter.modes(), "LVDS1:1920x1080@60.000\nLVDS2:1920x1080@60.000\n");
    const std::string mirrored =
        "Failed to apply output configuration: LVDS2 mirrors LVDS1: change LVDS1, or end the mirror first\n";
    const std::string lvds1 = "0,0 1 0 primary LVDS1\n";
    runSteps(
        mutter,
        {
            // Mutter is sent another mode than dispctl sent, and holds it: set back.
            {{"LVDS2", "set-mode", "1024x768"},
             "Failed to apply output configuration: LVDS2: mutter accepted the mode \"1024x768@60.000\" but "
             "keeps \"1280x720@50.000\"; the outputs were set back as they were\n",
             "",
             "LVDS1:1920x1080@60.000\nLVDS2:1920x1080@60.000\n",
             {{"", "ApplyMonitorsConfig", "1024x768@60.000", "1280x720@50.000"}}},
            {{"LVDS2", "set-mode", "1280x720@50"},
             "",
             lvds1 + "1920,0 1 0 LVDS2\n",
             "LVDS1:1920x1080@60.000\nLVDS2:1280x720@50.000\n"},
            // Back in the mode and rotation it had.
            {{"LVDS2", "set-rotation", "90"}, "", lvds1 + "1920,0 1 1 LVDS2\n"},
            {{"LVDS2", "set-enabled", "false"}, "", lvds1, "LVDS1:1920x1080@60.000\n"},
            {{"LVDS2", "set-enabled", "true"},
             "",
             lvds1 + "1920,0 1 1 LVDS2\n",
             "LVDS1:1920x1080@60.000\nLVDS2:1280x720@50.000\n"},
            {{"LVDS2", "set-rotation", "normal"}, "", lvds1 + "1920,0 1 0 LVDS2\n"},
            {{"LVDS2", "set-scale", "200%"},
             "Failed to apply output configuration: LVDS2: mutter offers the scales 1 for "
             "1280x720@50.000, not 2\n",
             ""},
            {{"LVDS2", "set-replica-of", "LVDS1"}, "", "0,0 1 0 primary LVDS1 LVDS2\n"},
            // What only the mirror as a whole can take is refused on its replica.
            {{"LVDS2", "set-mode", "1024x768"}, mirrored, ""},
            {{"LVDS2", "set-scale", "200%"}, mirrored, ""},
            {{"LVDS2", "set-rotation", "90"}, mirrored, ""},
            {{"LVDS2", "set-primary"}, mirrored, ""},
        });
    EXPECT_EQ(mutter.modes(), "LVDS1:1920x1080@60.000\nLVDS2:1920x1080@60.000\n");
    EXPECT_EQ(run(mutter, {"LVDS1", "set-mode", "1024x768"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(mutter.modes(), "LVDS1:1024x768@60.000\nLVDS2:1024x768@60.000\n");
}

void libraryRefusals(const Mutter &bed)
{
    application();
    const Mutter *mutter = &bed;
    for (const auto &[key, value] : mutter->env())
        ::setenv(key.c_str(), value->c_str(), 1);
    const std::string start = mutter->logical();

    const auto fetch = [] {
        Dispor::GetConfigOperation operation;
        EXPECT_TRUE(operation.exec()) << operation.errorString().toStdString();
        return operation.config();
    };
    const auto named = [](const Dispor::ConfigPtr &config, const QString &name) {
        for (const Dispor::OutputPtr &output : config->outputs()) {
            if (output->name() == name)
                return output;
        }
        ADD_FAILURE() << "no output " << name.toStdString();
        return Dispor::OutputPtr::create();
    };

    // Mutter's own refusal, verified before anything is applied.
    const Dispor::ConfigPtr gap = fetch();
    ASSERT_TRUE(gap);
    named(gap, "Meta-1")->setPos({5000, 0});
    Dispor::SetConfigOperation refused(gap);
    EXPECT_FALSE(refused.exec());
    EXPECT_FALSE(refused.isConflict());
    EXPECT_EQ(refused.errorString(),
              "mutter refused the output configuration: \"Logical monitors not adjacent\"");
    EXPECT_EQ(mutter->logical(), start);

    // Mutter's serial stays as it was; the state itself shows the change.
    const Dispor::ConfigPtr first = fetch();
    const Dispor::ConfigPtr second = fetch();
    ASSERT_TRUE(first && second);
    named(first, "Meta-0")->setScale(2);
    named(second, "Meta-1")->setRotation(Dispor::Output::Rotation::Inverted);
    Dispor::SetConfigOperation applyFirst(first);
    EXPECT_TRUE(applyFirst.exec()) << applyFirst.errorString().toStdString();
    const std::string afterFirst = mutter->logical();
    EXPECT_NE(afterFirst, start);
    Dispor::SetConfigOperation applySecond(second);
    EXPECT_FALSE(applySecond.exec());
    EXPECT_TRUE(applySecond.isConflict());
    EXPECT_EQ(applySecond.errorString(), "the outputs changed since they were read");
    EXPECT_EQ(mutter->logical(), afterFirst);

    // Power values mutter 43 would take without complaint.
    Dispor::Dpms dpms;
    dpms.switchMode(Dispor::Dpms::Mode(7));
    EXPECT_EQ(dpms.errorString(), "the power mode 7 is not one of on, standby, suspend and off");
    EXPECT_EQ(mutter->power(), 0);

    // A luminance mutter refuses once it holds the new layout: the layout is
    // set back. Mutter 43 has no luminance.
    const std::string luminance = mutter->luminance();
    if (luminance.rfind("failed", 0) == 0)
        return;
    const std::string before = mutter->logical();
    const Meddling unknown = {"", "SetLuminance", "Meta-0", "Meta-9"};
    const std::string luminanceRefused =
        "SetLuminance failed: \"The connector doesn't have a connected monitor\"";
    const struct {
        std::vector<Meddling> meddling;
        std::string error;
        std::string logical; // empty: as before
    } failures[] = {
        {{unknown}, luminanceRefused + "; the outputs were set back as they were", ""},
        // Setting back is refused too: what mutter holds is said.
        {{unknown, {"SetLuminance", "ApplyMonitorsConfig", "Meta-0", "Meta-9"}},
         luminanceRefused +
             "; setting the outputs back failed too (mutter refused the output configuration: \"Invalid "
             "connector 'Meta-9' specified\"): they now hold Meta-0 in 1920x1080@60.000 at 0,0, scale 2, "
             "rotation 180, primary; Meta-1 in 1280x720@60.000 at 1920,0, scale 1, rotation normal",
         "0,0 2 2 primary Meta-0\n1920,0 1 0 Meta-1\n"},
    };
    for (const auto &c : failures) {
        SCOPED_TRACE(c.error);
        const BusProxy proxy(mutter->busDir() + "/bus", mutter->runtimeDir() + "/proxy", c.meddling);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", proxy.address().c_str(), 1);
        const Dispor::ConfigPtr config = fetch();
        ASSERT_TRUE(config);
        named(config, "Meta-0")->setRotation(Dispor::Output::Rotation::Inverted);
        named(config, "Meta-0")->setDimming(0.5);
        Dispor::SetConfigOperation apply(config);
        EXPECT_FALSE(apply.exec());
        EXPECT_EQ(apply.errorString().toStdString(), c.error);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", mutter->busAddress().c_str(), 1);
        EXPECT_EQ(mutter->logical(), c.logical.empty() ? before : c.logical);
        EXPECT_EQ(mutter->luminance(), luminance);
    }
}

void fractionalScales(const Mutter &mutter)
{
    ASSERT_EQ(mutter.logical(), "0,0 1 0 primary Meta-0\n2560,0 1 0 Meta-1\n");
    runSteps(mutter, {
                         // 150 % is mutter's 1.4953…, 1712 wide: Meta-1 follows that edge.
                         {{"Meta-0", "set-scale", "150%"},
                          "",
                          "0,0 1.495327115058899 0 primary Meta-0\n1712,0 1 0 Meta-1\n"},
                         {{"Meta-1", "set-scale", "225%"},
                          "",
                          "0,0 1.495327115058899 0 primary Meta-0\n1712,0 2.307692289352417 0 Meta-1\n"},
                         {{"Meta-1", "set-scale", "110%"},
                          "Failed to apply output configuration: Meta-1: mutter offers the scales 1, 1.25, "
                          "1.5, 1.73913, 2, 2.30769 for "
                          "1920x1080@60.000, not 1.1\n",
                          ""},
                         {{"Meta-1", "set-scale", "201%"},
                          "Failed to apply output configuration: Meta-1: mutter offers the scales 1, 1.25, "
                          "1.5, 1.73913, 2, 2.30769 for "
                          "1920x1080@60.000, not 2.01\n",
                          ""},
                         {{"Meta-0", "set-scale", "100%"},
                          "",
                          "0,0 1 0 primary Meta-0\n2560,0 2.307692289352417 0 Meta-1\n"},
                     });
}

} // namespace gnome_test
