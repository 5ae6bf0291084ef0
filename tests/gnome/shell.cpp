#include "support.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QString>

#include <csignal>
#include <unistd.h>

namespace gnome_test {

namespace {

// The ShowMonitorLabels calls a bus monitor saw, "CONNECTOR=NUMBER …" one a
// line, from dbus-monitor's text.
std::string labelCalls(const std::string &seen)
{
    static const QRegularExpression entry(R"re(string "([^"]*)"\s+variant\s+int32 (-?\d+))re");
    std::string calls;
    const QStringList messages = QString::fromStdString(seen).split(u"\nmethod call "_qs);
    for (const QString &message : messages) {
        if (!message.contains(u"member=ShowMonitorLabels"))
            continue;
        QStringList labels;
        for (auto m = entry.globalMatch(message); m.hasNext();) {
            const QRegularExpressionMatch one = m.next();
            labels.append(one.captured(1) + u'=' + one.captured(2));
        }
        calls += labels.join(u' ').toStdString() + "\n";
    }
    return calls;
}

} // namespace

const std::string locatorAbsent = "The name org.lumo.Vantor was not provided by any .service files; ";
const std::string noLocator = "org.lumo.Vantor.Effect.OutputLocator1.show failed: " + locatorAbsent;
const std::string shellRefused =
    "gnome-shell keeps its monitor labels for its own settings (\"ShowMonitorLabels is not allowed\")";
const std::string noShell = "no gnome-shell runs on the session bus";

void identifyWithLabels(const Mutter &mutter, const std::string &shell)
{
    // The monitor watches the bus from before the runs to after them.
    const std::string log = mutter.runtimeDir() + "/monitor.log";
    support::Spawn how{"dbus-monitor",
                       {"--address", mutter.busAddress(), "type='method_call',interface='org.gnome.Shell'"},
                       support::pathOnly()};
    how.out = how.err = support::Stream::File;
    how.file = log;
    const support::Child monitor = support::spawn(how);
    // It says NameLost once it is a monitor: 10 s at most.
    for (int i = 0; i < 200 && e2e::readFile(log).find("NameLost") == std::string::npos; ++i)
        ::usleep(50000);
    ASSERT_NE(e2e::readFile(log).find("NameLost"), std::string::npos) << e2e::readFile(log);
    const std::string before = mutter.logical();
    // No compositor where the windows would go.
    EXPECT_EQ(
        run(mutter, {"identify"}, {{"WAYLAND_DISPLAY", "absent"}}),
        (e2e::Result{1, "",
                     noLocator +
                         "cannot show labels: cannot connect to the Wayland compositor \"absent\": No such "
                         "file or directory; " +
                         shell + "\n"}));
    // The windows, for identify's 5 s.
    const double start = support::now();
    EXPECT_EQ(run(mutter, {"identify"}), (e2e::Result{0, "", ""}));
    EXPECT_GE(support::now() - start, 5);
    EXPECT_EQ(mutter.logical(), before);
    // A call after dispctl's, in the bus's order: once the monitor shows
    // it, it has shown dispctl's too.
    gdbus(mutter, {"call", "--session", "--dest", "org.gnome.Shell", "--object-path", "/org/gnome/Shell",
                   "--method", "org.gnome.Shell.ShowMonitorLabels", "{'end': <-1>}"});
    for (int i = 0; i < 200 && e2e::readFile(log).find("\"end\"") == std::string::npos; ++i)
        ::usleep(50000);
    ::kill(monitor.pid, SIGTERM);
    support::waitStatus(monitor.pid);
    EXPECT_EQ(labelCalls(e2e::readFile(log)), "Meta-0=1 Meta-1=2\nMeta-0=1 Meta-1=2\nend=-1\n");
}

} // namespace gnome_test
