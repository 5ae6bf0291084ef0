// A program that watches the display service through the public
// Dispor::ConfigWatcher alone, as a program using the library would:
// "watching" once it began, "changed" for each change, each on its own
// line on standard output; when the service goes, its reason on standard
// error and status 1. It ends by itself after the seconds given (status 2),
// so that no test waits on it without end.

#include <dispor/watcher.h>

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc == 2 ? std::atoi(argv[1]) : 0;
    if (seconds <= 0) {
        std::fputs("usage: test-watcher SECONDS\n", stderr);
        return 2;
    }
    Dispor::ConfigWatcher watcher;
    if (!watcher.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(watcher.errorString()));
        return 1;
    }
    QObject::connect(&watcher, &Dispor::ConfigWatcher::configChanged, [] {
        std::puts("changed");
        std::fflush(stdout);
    });
    QObject::connect(&watcher, &Dispor::ConfigWatcher::serviceLost, [](const QString &reason) {
        std::fprintf(stderr, "%s\n", qPrintable(reason));
        QCoreApplication::exit(1);
    });
    QTimer::singleShot(seconds * 1000, [] { QCoreApplication::exit(2); });
    std::puts("watching");
    std::fflush(stdout);
    return app.exec();
}
