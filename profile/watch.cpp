#include "watch.h"

#include "apply.h"
#include "match.h"

#include "core/print.h"

#include <dispor/watcher.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <sys/signalfd.h>
#include <unistd.h>

namespace profile {

namespace {

// A dock reports its monitors one by one: the set is read once it has
// kept still this long, and at the latest this long after a burst began.
constexpr int settleMs = 500;
constexpr int burstLimitMs = 3000;

void printAction(std::string_view line)
{
    writeTo(stdout, line);
    std::fflush(stdout);
}

class Watch {
public:
    explicit Watch(int signalFd) : m_signals(signalFd, QSocketNotifier::Read)
    {
        m_settle.setSingleShot(true);
        QObject::connect(&m_settle, &QTimer::timeout, [this] {
            m_burst.invalidate();
            handle();
        });
        QObject::connect(&m_watcher, &Dispor::ConfigWatcher::configChanged, [this] { changed(); });
        QObject::connect(&m_watcher, &Dispor::ConfigWatcher::serviceLost, [](const QString &reason) {
            printLineTo(stderr, "The display service went away: {}", reason);
            QCoreApplication::exit(1);
        });
        QObject::connect(&m_signals, &QSocketNotifier::activated, [signalFd] {
            signalfd_siginfo info{};
            if (::read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
                QCoreApplication::exit(0);
        });
    }

    bool start()
    {
        if (!m_watcher.start()) {
            printLineTo(stderr, "Cannot watch the outputs: {}", m_watcher.errorString());
            return false;
        }
        handle();
        return true;
    }

private:
    void changed()
    {
        if (!m_burst.isValid())
            m_burst.start();
        const qint64 left = burstLimitMs - m_burst.elapsed();
        m_settle.start(static_cast<int>(std::clamp<qint64>(left, 0, settleMs)));
    }

    // Acts only when other outputs are connected than last time: its own
    // applies and other programs' changes keep the set, and are left alone.
    void handle()
    {
        const Dispor::ConfigPtr config = fetchConfig();
        if (!config)
            return;
        const Dispor::OutputList connected = config->connectedOutputs();
        const QStringList key = connectedKey(connected);
        if (m_known && key == m_key)
            return;
        m_known = true;
        m_key = key;
        const std::optional<QList<Candidate>> candidates = loadAll();
        if (!candidates)
            return;
        const Choice choice = choose(*candidates, connected);
        if (!choice.tie.isEmpty()) {
            printLineTo(stderr, "Profiles {} and {} match the connected outputs equally well", choice.tie[0],
                        choice.tie[1]);
            return;
        }
        if (choice.index < 0) {
            QStringList names;
            for (const Dispor::OutputPtr &output : connected)
                names.append(output->name());
            printAction(fmt::format("No profile matches the connected outputs ({})\n", names.join(", ")));
            return;
        }
        const Candidate &chosen = (*candidates)[choice.index];
        if (applyProfile(chosen.name, chosen.profile, false) == 0)
            printAction(fmt::format("Applied profile {}\n", chosen.name));
    }

    Dispor::ConfigWatcher m_watcher;
    QTimer m_settle;
    QElapsedTimer m_burst;
    QSocketNotifier m_signals;
    QStringList m_key;
    bool m_known = false;
};

} // namespace

int runWatch(const Invocation &)
{
    // Blocked before any thread starts, so that every thread leaves them
    // to the descriptor.
    sigset_t stopping;
    sigemptyset(&stopping);
    sigaddset(&stopping, SIGTERM);
    sigaddset(&stopping, SIGINT);
    if (::pthread_sigmask(SIG_BLOCK, &stopping, nullptr) != 0) {
        printLineTo(stderr, "Cannot block SIGTERM and SIGINT");
        return 1;
    }
    const int signalFd = ::signalfd(-1, &stopping, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signalFd < 0) {
        printLineTo(stderr, "Cannot wait for SIGTERM and SIGINT: {}", std::strerror(errno));
        return 1;
    }
    int status = 1;
    {
        Watch watch(signalFd);
        if (watch.start())
            status = QCoreApplication::exec();
    }
    ::close(signalFd);
    return status;
}

} // namespace profile
