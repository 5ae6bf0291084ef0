#include "support.h"

#include <dispor/watcher.h>

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QRegularExpression>
#include <QTimer>

#include <csignal>
#include <functional>

namespace gnome_test {

namespace {

// Runs the event loop until the signal or 10 s; how many came.
template <typename Signal>
int signalsDuring(Dispor::ConfigWatcher &watcher, Signal signal, const std::function<void()> &act)
{
    int count = 0;
    QEventLoop loop;
    QObject::connect(&watcher, signal, &loop, [&] {
        ++count;
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    act();
    loop.exec();
    return count;
}

// What comes in the next 300 ms, once the signal has come.
template <typename Signal> int signalsAfter(Dispor::ConfigWatcher &watcher, Signal signal)
{
    int count = 0;
    QEventLoop idle;
    QObject::connect(&watcher, signal, &idle, [&] { ++count; });
    QTimer::singleShot(300, &idle, &QEventLoop::quit);
    idle.exec();
    return count;
}

} // namespace

void watchesChanges(const Mutter &mutter)
{
    application();
    for (const auto &[key, value] : mutter.env())
        ::setenv(key.c_str(), value->c_str(), 1);
    Dispor::ConfigWatcher watcher;
    ASSERT_TRUE(watcher.start()) << watcher.errorString().toStdString();
    ASSERT_EQ(mutter.logical(), "0,0 1 0 primary Meta-0\n");

    // Another client's apply, as gdbus makes it, on the serial mutter reports.
    const std::vector<std::string> displayConfig = {"call",          "--session",
                                                    "--dest",        "org.gnome.Mutter.DisplayConfig",
                                                    "--object-path", "/org/gnome/Mutter/DisplayConfig",
                                                    "--method"};
    std::vector<std::string> state = displayConfig;
    state.push_back("org.gnome.Mutter.DisplayConfig.GetCurrentState");
    const QRegularExpressionMatch serial =
        QRegularExpression(R"(^\(uint32 (\d+),)").match(QString::fromStdString(gdbus(mutter, state)));
    ASSERT_TRUE(serial.hasMatch());
    std::vector<std::string> apply = displayConfig;
    apply.insert(apply.end(),
                 {"org.gnome.Mutter.DisplayConfig.ApplyMonitorsConfig", serial.captured(1).toStdString(), "1",
                  "[(0, 0, 1.0, 2, true, [('Meta-0', '1920x1080@60.000', {})])]", "{}"});
    EXPECT_EQ(signalsDuring(watcher, &Dispor::ConfigWatcher::configChanged,
                            [&] { EXPECT_EQ(gdbus(mutter, apply), "()\n"); }),
              1);
    EXPECT_EQ(mutter.logical(), "0,0 1 2 primary Meta-0\n");
    signalsAfter(watcher, &Dispor::ConfigWatcher::configChanged);

    // Mutter killed: told once, in one line, and the watcher stops.
    QString reason;
    QObject::connect(&watcher, &Dispor::ConfigWatcher::serviceLost,
                     [&](const QString &why) { reason = why; });
    EXPECT_EQ(signalsDuring(watcher, &Dispor::ConfigWatcher::serviceLost, [&] { mutter.signal(SIGKILL); }),
              1);
    EXPECT_EQ(signalsAfter(watcher, &Dispor::ConfigWatcher::serviceLost), 0);
    EXPECT_EQ(reason, "mutter is no longer on the session bus (org.gnome.Mutter.DisplayConfig has no owner)");
    EXPECT_FALSE(watcher.isWatching());
}

} // namespace gnome_test
