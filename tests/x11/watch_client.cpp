// What a program sees of Dispor::ConfigWatcher, through the public API only:
// "watching" once it watches, "changed" at the first change, and the reason
// on standard error, with status 1, when the server goes away.

#include <dispor/watcher.h>

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Dispor::ConfigWatcher watcher;
    if (!watcher.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(watcher.errorString()));
        return 2;
    }
    std::puts("watching");
    std::fflush(stdout);
    bool told = false;
    QObject::connect(&watcher, &Dispor::ConfigWatcher::configChanged, [&told] {
        if (!std::exchange(told, true)) {
            std::puts("changed");
            std::fflush(stdout);
        }
    });
    QObject::connect(&watcher, &Dispor::ConfigWatcher::serviceLost, [](const QString &reason) {
        std::fprintf(stderr, "%s\n", qPrintable(reason));
        QCoreApplication::exit(1);
    });
    return QCoreApplication::exec();
}
